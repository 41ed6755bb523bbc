"""tariffsieve-plan for the tests: the installed command, or, where the module
comes from a build tree and nothing is installed (tools/sanitize), the
package from the sources run with -m."""
import importlib.util
import os
import sys
import sysconfig
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SOURCES = [ROOT / "src" / "cli", ROOT / "src" / "python"]
INSTALLED = Path(sysconfig.get_path("scripts")) / ("tariffsieve-plan" + (".exe" if sys.platform == "win32" else ""))
installed = INSTALLED.exists() and importlib.util.find_spec("tariffsieve_plan") is not None
if not installed:
    sys.path[:0] = [str(path) for path in SOURCES if str(path) not in sys.path]


def command():
    """The argv that starts the command."""
    return [str(INSTALLED)] if installed else [sys.executable, "-m", "tariffsieve_plan"]


def environment(base=None):
    """An environment in which the command and its package are found."""
    env = dict(os.environ if base is None else base)
    if not installed:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [*map(str, SOURCES), env.get("PYTHONPATH")]))
    return env


def run_in_process(args, stdin=b"", cwd=None, now=None):
    """The command's entry point called in this process, as a finished process:
    returncode, and stdout and stderr as bytes."""
    import io
    import subprocess

    from tariffsieve_plan.command import main

    out, err = io.StringIO(), io.StringIO()
    here = os.getcwd()
    try:
        if cwd is not None:
            os.chdir(cwd)
        code = main([str(arg) for arg in args], io.BytesIO(stdin or b""), out, err, now)
    finally:
        os.chdir(here)
    return subprocess.CompletedProcess(args, code, out.getvalue().encode(), err.getvalue().encode())
