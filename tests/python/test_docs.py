"""The documentation's Python sessions give the answers shown."""
import doctest
from pathlib import Path

import pytest

DOCS = Path(__file__).resolve().parents[2] / "docs"
PAGES = sorted(page for page in DOCS.glob("*.md") if ">>>" in page.read_text())


@pytest.mark.parametrize("page", PAGES, ids=[page.name for page in PAGES])
def test_sessions_give_the_answers_shown(page):
    failures, tried = doctest.testfile(str(page), module_relative=False, optionflags=doctest.ELLIPSIS)
    assert tried and not failures


def test_the_pandas_example_plans_the_night(run_fresh):
    pytest.importorskip("pandas")
    example = DOCS.parent / "examples" / "schedule_pandas.py"
    lines = run_fresh(f"import runpy; runpy.run_path({str(example)!r}, run_name='__main__')").splitlines()
    assert lines[:2] == ["Sun 01:30-04:30  12 periods, average 0.0783825", "total 0.94059, average 0.0783825"]
