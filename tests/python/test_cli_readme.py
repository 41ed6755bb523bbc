"""The README's recipes for tariffsieve-plan print what it shows, run as shown
from the top of the source tree with the installed command on the PATH."""
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

import cli_command

ROOT = Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text()
SECTION = README[README.index("## From the shell: `tariffsieve-plan`"):README.index("## A picture of the plan")]
RECIPES = re.findall(r"```sh\n(.*?)\n```\n\n```\n(.*?)```\n", SECTION, re.S)


def test_there_are_five_recipes():
    assert [command.split()[0] for command, _ in RECIPES] == ["tariffsieve-plan"] * 5


@pytest.mark.skipif(sys.platform == "win32" or shutil.which("sh") is None, reason="the recipes are POSIX shell")
@pytest.mark.skipif(not cli_command.installed, reason="the recipes need the installed command")
@pytest.mark.parametrize("command, shown", RECIPES, ids=["heat pump", "car", "json", "price paid", "hourly"])
def test_recipe_prints_what_the_readme_shows(command, shown):
    # python3 in a recipe is this interpreter, as it would be in an activated environment.
    scripts = sysconfig.get_path("scripts")
    env = dict(os.environ, PATH=os.pathsep.join([scripts, str(Path(sys.executable).parent), os.environ["PATH"]]))
    if not Path(scripts, "python3").exists():
        command = command.replace("| python3 ", f"| {sys.executable} ")
    printed = subprocess.run(["sh", "-c", command], cwd=ROOT, env=env, capture_output=True, text=True, timeout=300)
    assert printed.returncode == 0, printed.stderr
    assert printed.stdout == shown


SOURCES = re.findall(r"^\| .*? \| `(tariffsieve-plan tests/python/price_sources/[^`]*)` \|$", SECTION, re.M)


def test_each_price_source_in_the_table_plans():
    assert len(SOURCES) == 12
    for command in SOURCES:
        proc = cli_command.run_in_process([ROOT / arg if arg.startswith("tests/") else arg
                                           for arg in shlex.split(command)[1:]])
        assert proc.returncode == 0, (command, proc.stderr)
