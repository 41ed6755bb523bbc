"""Packaging: the source distribution holds what building and testing need and
nothing else; the wheel built from it installs and works in a fresh environment."""
import email.parser
import importlib.machinery
import shutil
import subprocess
import zipfile

import pytest

from built_distribution import ROOT, built_distribution, run

# Everything in the source distribution lies under one of these.
SDIST_FILES = {"pyproject.toml", "PKG-INFO", "README.md", "LICENSE", "CHANGELOG.md", "CMakeLists.txt",
               "tests/CMakeLists.txt", "tools/test", "tools/apt-ensure"}
SDIST_DIRS = ("src/", "tests/cpp/", "tests/python/", "examples/")


def packed(path):
    """Whether the source distribution holds path: the manual's pages are
    there because the tests run their examples, its images are not."""
    return path in SDIST_FILES or path.startswith(SDIST_DIRS) or \
        (path.startswith("docs/") and path.count("/") == 1 and path.endswith(".md"))


@pytest.fixture(scope="module")
def dist():
    return built_distribution()


def tracked_files():
    """The files git tracks, or None outside a git work tree."""
    if shutil.which("git") is None or not (ROOT / ".git").exists():
        return None
    proc = subprocess.run(["git", "-C", str(ROOT), "ls-files", "-z"], capture_output=True, text=True)
    return set(proc.stdout.split("\0")) - {""} if proc.returncode == 0 else None


def test_sdist_holds_nothing_but_sources_tests_and_documents(dist):
    members = dist.sdist_members()
    stray = sorted(m for m in members if not packed(m))
    assert stray == [], "files that neither build nor test the module"
    litter = sorted(m for m in members if "__pycache__/" in m or m.endswith(".pyc") or "/." in "/" + m)
    assert litter == []
    assert SDIST_FILES <= members


def test_sdist_holds_every_tracked_source_test_and_example(dist):
    tracked = tracked_files()
    if tracked is None:
        pytest.skip("not a git work tree")
    needed = {f for f in tracked if packed(f)}
    assert sorted(needed - dist.sdist_members()) == []


def test_wheel_holds_the_module_its_types_and_the_licence(dist):
    with zipfile.ZipFile(dist.wheel) as whl:
        names = set(whl.namelist())
        stub = whl.read("tariffsieve-stubs/__init__.pyi")
        metadata = email.parser.Parser().parsestr(whl.read(f"{info_dir(dist)}/METADATA").decode())
    module = "tariffsieve" + importlib.machinery.EXTENSION_SUFFIXES[0]
    info = info_dir(dist)
    command = {f"{p.parent.name}/{p.name}" for folder in ("src/cli/tariffsieve_plan", "src/python/tariffsieve_prices",
                                                           "src/python/tariffsieve_schedule")
               for p in (ROOT / folder).iterdir() if p.suffix in (".py", ".typed")}
    assert names == {module, "tariffsieve-stubs/__init__.pyi", f"{info}/METADATA", f"{info}/WHEEL",
                     f"{info}/RECORD", f"{info}/licenses/LICENSE", f"{info}/entry_points.txt"} | command
    assert stub == (ROOT / "src/stubs/tariffsieve-stubs/__init__.pyi").read_bytes()
    assert metadata["Name"] == "tariffsieve"
    assert metadata["License-Expression"] == "MIT"
    assert metadata["Requires-Python"] == ">=3.9"
    assert "Typing :: Typed" in metadata.get_all("Classifier")
    assert metadata.get_all("Requires-Dist") is None or all("extra ==" in r for r in metadata.get_all("Requires-Dist"))


def info_dir(dist):
    name, version = dist.wheel.name.split("-")[:2]
    return f"{name}-{version}.dist-info"


def test_wheel_from_sdist_works_in_a_fresh_environment(dist, tmp_path):
    # -I: neither the working directory nor PYTHONPATH can lend the module.
    out = run([dist.python, "-I", "-c", """if True:
        import tariffsieve
        print(tariffsieve.__file__)
        print(tariffsieve.get_cheapest_periods(
            ["0.0812", "0.0765", "0.0731", "0.0718", "0.1047", "0.1321",
             "0.0531", "0.0417", "0.0389", "0.1105", "0.1476", "0.0987"],
            "0.06", 4, 2, max_gap_between_periods=4, max_gap_from_start=3))
        """], cwd=tmp_path).splitlines()
    assert out[0].startswith(str(dist.site_packages))
    assert out[1] == "[2, 3, 6, 7, 8]"
