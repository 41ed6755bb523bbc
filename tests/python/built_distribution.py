"""The project as a user gets it from a package index: the source distribution,
the wheel built from it, and a fresh virtual environment holding that wheel alone.
Built once per test run, by whichever test asks first."""
import atexit
import functools
import importlib.metadata
import shutil
import subprocess
import sys
import tarfile
import tempfile
import venv
from dataclasses import dataclass
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


@dataclass(frozen=True)
class Distribution:
    sdist: Path
    wheel: Path
    python: Path  # the fresh environment's interpreter
    site_packages: Path

    def sdist_members(self):
        """Paths inside the source distribution, without its top directory."""
        with tarfile.open(self.sdist) as tar:
            names = [m.name for m in tar.getmembers() if not m.isdir()]
        top = self.sdist.name[: -len(".tar.gz")] + "/"
        assert all(name.startswith(top) for name in names), names
        return {name[len(top):] for name in names}


def run(command, **kwargs):
    proc = subprocess.run([str(part) for part in command], capture_output=True, text=True, **kwargs)
    assert proc.returncode == 0, f"{command} failed:\n{proc.stdout}\n{proc.stderr}"
    return proc.stdout


def require(*distributions):
    """Skip unless these packages are installed. (An import would not tell: from
    the project's root, `import build` finds the build directory.)"""
    for name in distributions:
        try:
            importlib.metadata.version(name)
        except importlib.metadata.PackageNotFoundError:
            pytest.skip(f"{name} is not installed: these tests need the test extra, pip install .[test]",
                        allow_module_level=True)


@functools.lru_cache(maxsize=None)
def built_distribution():
    require("build")
    work = Path(tempfile.mkdtemp(prefix="tariffsieve-dist-"))
    atexit.register(shutil.rmtree, work, True)

    # With neither --sdist nor --wheel, build makes the sdist, unpacks it and
    # builds the wheel from that, in an isolated environment.
    dist = work / "dist"
    run([sys.executable, "-m", "build", "--outdir", dist, ROOT], timeout=1200)
    (sdist,) = dist.glob("*.tar.gz")
    (wheel,) = dist.glob("*.whl")

    env = work / "env"
    venv.create(env, with_pip=False)
    python = env / ("Scripts/python.exe" if sys.platform == "win32" else "bin/python")
    run([sys.executable, "-m", "pip", "--python", python, "install", "--quiet", "--no-deps", "--no-index", wheel])
    site_packages = Path(run([python, "-I", "-c", "import sysconfig; print(sysconfig.get_paths()['platlib'])"]).strip())
    return Distribution(sdist, wheel, python, site_packages)
