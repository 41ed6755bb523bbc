"""tools/mutation finds faults the tests miss: it plants each mutant where
every process the tests start imports it, a test that notices the change
kills it, and one that does not lets it survive."""
import importlib.machinery
import importlib.util
import os
import sys

import pytest

from doc_pages import ROOT

TOOL = ROOT / "tools" / "mutation"
# A test of a developer's tool, not of the module: tools/test asks for it, the
# runs that prove each wheel on its platform (some under qemu, where its two
# pytest runs would take minutes) leave it out.
pytestmark = [pytest.mark.skipif(not os.environ.get("TARIFFSIEVE_TOOL_TESTS"),
                                 reason="the tools' own tests run in tools/test (TARIFFSIEVE_TOOL_TESTS=1)"),
              pytest.mark.skipif(not TOOL.exists(), reason="the tools are only in a source checkout")]
TARGET = "src/python/tariffsieve_schedule/durations.py"
# A test of the target, which starts a fresh interpreter as the command-line
# tests do: it sees the mutant only through the PYTHONPATH the tool sets.
TINY_TEST = '''
import subprocess, sys
def test_ninety_minutes():
    code = "from tariffsieve_schedule.durations import parse_seconds; print(parse_seconds('1h30min'))"
    assert subprocess.run([sys.executable, "-c", code], capture_output=True, text=True).stdout == "5400\\n"
'''


@pytest.fixture(scope="module")
def tool():
    loader = importlib.machinery.SourceFileLoader("mutation_tool", str(TOOL))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def test_a_mutant_the_test_notices_is_killed_and_one_it_misses_survives(tool, tmp_path):
    source = (ROOT / TARGET).read_text()
    test = tmp_path / "test_tiny.py"
    test.write_text(TINY_TEST)
    args = (tool.Path(sys.executable), [str(test)])
    # A minute of 61 seconds changes 1h30min; a day of 86401 does not.
    candidates = [m for m in tool.find_mutants(TARGET, source, {"int"}) if m.line == 9]
    minute = next(m for m in candidates if "`60` -> `61`" in m.description)
    day = next(m for m in candidates if "`86400` -> `86401`" in m.description)
    sources = {TARGET: source}
    assert tool.run_tests(*args, minute, sources, 120)[0] == "killed"
    assert tool.run_tests(*args, day, sources, 120)[0] == "survived"
    # The tool changed a copy: the tree itself is as it was.
    assert (ROOT / TARGET).read_text() == source


# A planted function, and for three operators the change each makes and an
# argument on which the change shows.
PLANTED = "def cheap(price, threshold):\n    return price <= threshold and not price < 0\n"
CHANGES = [
    ("`price <= threshold` -> `price < threshold`", (1, 1)),
    ("`price <= threshold and (not price < 0)` -> `price <= threshold or not price < 0`", (-1, 1)),
    ("`not price < 0` -> `price < 0`", (1, 1)),
]


@pytest.mark.parametrize("description, argument", CHANGES)
def test_the_operators_change_what_they_say(tool, description, argument):
    found = [m for m in tool.find_mutants("planted.py", PLANTED) if m.description == description]
    assert len(found) == 1
    original, changed = {}, {}
    exec(compile(PLANTED, "planted.py", "exec"), original)
    exec(compile(tool.apply(PLANTED, found[0]), "planted.py", "exec"), changed)
    assert changed["cheap"](*argument) != original["cheap"](*argument)
