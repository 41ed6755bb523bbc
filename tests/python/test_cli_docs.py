"""The recipes for tariffsieve-plan in the README and the manual print what
they show, run as shown from the top of the source tree with the installed
command on the PATH."""
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

from doc_pages import ROOT, all_blocks, page_text

RECIPES = [block for block in all_blocks("sh") if block.text.startswith("tariffsieve-plan")]


def test_every_recipe_shows_what_it_prints():
    # The front page's picture, and at least the command line page's five
    # recipes (other pages may show more).
    pages = [block.page.name for block in RECIPES]
    assert pages[0] == "README.md" and pages.count("command-line.md") >= 5
    assert [block.name for block in RECIPES if block.shown is None] == []


@pytest.mark.skipif(sys.platform == "win32" or shutil.which("sh") is None, reason="the recipes are POSIX shell")
@pytest.mark.skipif(not cli_command.installed, reason="the recipes need the installed command")
@pytest.mark.parametrize("recipe", RECIPES, ids=[block.name for block in RECIPES])
def test_recipe_prints_what_the_page_shows(recipe):
    command, shown = recipe.text.strip(), recipe.shown
    # python3 in a recipe is this interpreter, as it would be in an activated environment.
    scripts = sysconfig.get_path("scripts")
    env = dict(os.environ, PATH=os.pathsep.join([scripts, str(Path(sys.executable).parent), os.environ["PATH"]]))
    if not Path(scripts, "python3").exists():
        command = command.replace("| python3 ", f"| {sys.executable} ")
    printed = subprocess.run(["sh", "-c", command], cwd=ROOT, env=env, capture_output=True, text=True, timeout=300)
    assert printed.returncode == 0, printed.stderr
    assert printed.stdout == shown


SOURCES = re.findall(r"^\| .*? \| `(tariffsieve-plan tests/python/price_sources/[^`]*)` \|$",
                     page_text("docs/price-sources.md"), re.M)


def test_each_price_source_in_the_table_plans():
    assert len(SOURCES) == 12
    for command in SOURCES:
        proc = cli_command.run_in_process([ROOT / arg if arg.startswith("tests/") else arg
                                           for arg in shlex.split(command)[1:]])
        assert proc.returncode == 0, (command, proc.stderr)
