"""The module object: its attributes, re-import and sub-interpreters (first
imports from many threads: test_threads)."""
import ast
import importlib
import inspect
import sys
import sysconfig
from pathlib import Path

import pytest
import tariffsieve

from function_doc import DOC, SIGNATURE

STUB = Path(__file__).resolve().parents[2] / "src/stubs/tariffsieve-stubs/__init__.pyi"
# The file names of the version-specific build and of the limited API build
# (abi3; on Windows its name carries no tag).
MODULE_SUFFIXES = (importlib.machinery.EXTENSION_SUFFIXES[0], ".pyd" if sys.platform == "win32" else ".abi3.so")


def test_module_attributes():
    f = tariffsieve.get_cheapest_periods
    assert tariffsieve.__file__.endswith(MODULE_SUFFIXES)
    # The two first functions, then their siblings (test_plan_totals), once each.
    assert tariffsieve.__all__[:2] == ["get_cheapest_periods", "plan"]
    assert set(tariffsieve.__all__) == {"get_cheapest_periods", "plan", "plan_many", "plan_totals"}
    assert len(set(tariffsieve.__all__)) == len(tariffsieve.__all__)
    assert tariffsieve.__doc__ and "\n" not in tariffsieve.__doc__
    own = set(dir(tariffsieve)) - set(dir(sys))  # sys: a module with only the standard attributes
    assert own == set(tariffsieve.__all__) | {"__all__", "__file__", "__version__"}
    assert (f.__name__, f.__module__, f.__self__) == ("get_cheapest_periods", "tariffsieve", tariffsieve)
    assert f.__text_signature__ == SIGNATURE
    assert f.__doc__ == DOC


def test_signature_in_a_fresh_interpreter(run_fresh):
    out = run_fresh("import tariffsieve, inspect; print(inspect.signature(tariffsieve.get_cheapest_periods))")
    assert out.strip() == SIGNATURE
    params = inspect.signature(tariffsieve.get_cheapest_periods).parameters.values()
    assert [p.default for p in params][4:] == [0, 0, True]
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in params)


def test_reimport_gives_the_identical_module():
    function, names = tariffsieve.get_cheapest_periods, list(tariffsieve.__all__)
    del sys.modules["tariffsieve"]
    again = importlib.import_module("tariffsieve")
    assert again is tariffsieve and again.get_cheapest_periods is function
    assert again.__all__ == names


SUBINTERPRETER = """
    import sys, tempfile
    try:
        from _testcapi import run_in_subinterp
    except ImportError:
        print("skip"); sys.exit()
    result = tempfile.mktemp()
    def import_in_subinterpreter():
        run_in_subinterp(f'''
    try:
        import tariffsieve; text = "ok"
    except ImportError as e:
        text = "ImportError: " + str(e)
    open({result!r}, "w").write(text)''')
        return open(result).read()
    def import_here():
        try:
            import tariffsieve
            return str(tariffsieve.get_cheapest_periods(["2", "1"], "1", 1, 1, 1, 1))
        except ImportError as e:
            return "ImportError: " + str(e)
"""
MESSAGE = "ImportError: tariffsieve does not support sub-interpreters: another interpreter of this process has imported it"
if sysconfig.get_config_var("Py_GIL_DISABLED"):
    # A free-threaded CPython turns single-phase modules away from every
    # sub-interpreter itself, before their initialiser runs.
    MESSAGE = "ImportError: module tariffsieve does not support loading in subinterpreters"


# From 3.13 on, CPython itself runs a single-phase initialiser in the main
# interpreter before a sub-interpreter's first import, so the main one wins.
SUB_FIRST = ["ok", MESSAGE] if sys.version_info < (3, 13) else [MESSAGE, "[1]"]


@pytest.mark.parametrize(
    "steps, expected",
    [
        ("print(import_here()); print(import_in_subinterpreter()); print(import_here())", ["[1]", MESSAGE, "[1]"]),
        ("print(import_in_subinterpreter()); print(import_here())", SUB_FIRST),
    ],
    ids=["main-first", "sub-first"],
)
def test_one_interpreter_per_process(run_fresh, steps, expected):
    out = run_fresh(SUBINTERPRETER + "    " + steps).split("\n")
    if out[0] == "skip":
        pytest.skip("this interpreter has no way to run a sub-interpreter")
    assert out[: len(expected)] == expected


def test_stub_carries_the_module_docstrings():
    # Editors show the stub's docstrings.
    tree = ast.parse(STUB.read_text())
    functions = {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}
    assert sorted(functions) == sorted(tariffsieve.__all__)
    assert ast.get_docstring(tree) == tariffsieve.__doc__
    assert ast.get_docstring(functions["get_cheapest_periods"]) == inspect.cleandoc(DOC)
    for name in tariffsieve.__all__[1:]:
        assert ast.get_docstring(functions[name]) == inspect.cleandoc(getattr(tariffsieve, name).__doc__), name
