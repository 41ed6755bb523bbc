"""One version: pyproject.toml's [project] version is the only place it is
written; the module, the command, the built distribution and the Home
Assistant helper's manifest carry that same string, and the changelog claims
no release of it before it is one."""
import importlib.metadata
import json
import re
import subprocess
import sys
from pathlib import Path

import pytest

import tariffsieve
from built_distribution import built_distribution, run
from cli_command import command, environment

try:
    import tomllib
except ModuleNotFoundError:  # CPython before 3.11; pytest brings tomli there
    import tomli as tomllib

ROOT = Path(__file__).resolve().parents[2]
VERSION = tomllib.loads((ROOT / "pyproject.toml").read_text(encoding="utf-8"))["project"]["version"]
# PEP 440's public versions in their normalised spelling (what pip writes into
# a wheel's name and what Home Assistant's version parser takes); a local
# part (+...) cannot be on a package index.
PUBLIC = re.compile(r"(0|[1-9]\d*)(\.(0|[1-9]\d*))*((a|b|rc)(0|[1-9]\d*))?(\.post(0|[1-9]\d*))?(\.dev(0|[1-9]\d*))?")


def test_the_one_version_is_a_normalised_public_version():
    assert PUBLIC.fullmatch(VERSION), VERSION


def test_module_and_installed_metadata_carry_it():
    assert tariffsieve.__version__ == VERSION
    assert "__version__" not in tariffsieve.__all__
    try:
        installed = importlib.metadata.version("tariffsieve")
    except importlib.metadata.PackageNotFoundError:  # the module from a build tree (tools/sanitize)
        return
    assert installed == VERSION


def test_command_prints_it():
    proc = subprocess.run([*command(), "--version"], capture_output=True, text=True, env=environment())
    assert (proc.returncode, proc.stdout, proc.stderr) == (0, f"tariffsieve-plan {VERSION}\n", "")


def test_home_assistant_manifest_pins_it():
    path = ROOT / "custom_components" / "tariffsieve" / "manifest.json"
    if not path.exists():
        pytest.skip("the source distribution does not carry the Home Assistant helper")
    manifest = json.loads(path.read_text(encoding="utf-8"))
    # The helper is the package's own: it requires exactly this build of it,
    # and Home Assistant shows the same version for it.
    ours = [r for r in manifest["requirements"] if re.match(r"tariffsieve\b(?![-_.])", r)]
    assert ours == [f"tariffsieve=={VERSION}"]
    assert manifest["version"] == VERSION


def test_changelog_claims_no_release_before_it_is_one():
    headings = re.findall(r"^## \[([^\]]+)\](.*)$", (ROOT / "CHANGELOG.md").read_text(encoding="utf-8"), re.M)
    released = [name for name, note in headings if name != "Unreleased" and "not published" not in note]
    if ".dev" not in VERSION:
        # A release: its section is the newest, with nothing unreleased above it.
        assert headings[0][0] == VERSION, headings[0]
    else:
        # Between releases: what the next one holds is [Unreleased], on top,
        # and the number this tree builds as names no section.
        assert headings[0][0] == "Unreleased", headings[0]
        base = VERSION.split(".dev")[0]
        assert not any(name.startswith(base) for name, _ in headings), headings
    assert len(released) == len(set(released))


def test_built_distribution_is_named_and_built_as_it():
    dist = built_distribution()
    assert dist.wheel.name.startswith(f"tariffsieve-{VERSION}-")
    assert dist.sdist.name == f"tariffsieve-{VERSION}.tar.gz"
    out = run([dist.python, "-I", "-c", "import tariffsieve; print(tariffsieve.__version__)"])
    assert out == f"{VERSION}\n"
