"""Helpers shared by the tests: running a snippet in a fresh interpreter."""
import subprocess
import sys
import textwrap

import pytest


def _run(code, timeout=300):
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=timeout
    )
    assert proc.returncode == 0, proc.stderr
    return proc.stdout


@pytest.fixture
def run_fresh():
    """run_fresh(code) runs code in a new process and returns its stdout."""
    return _run
