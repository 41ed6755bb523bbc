"""Every example in the README and the manual is checked: the Python
sessions give the answers shown, other Python compiles, and each shell
command either runs (here, or in test_cli_docs.py and test_docs_pictures.py,
which compare what it prints) or names a tool, script or program that is
there and takes the options it is given."""
import ast
import doctest
import re
import shlex
import subprocess
import sys
from pathlib import Path

import pytest

from cli_command import environment
from doc_pages import CHECKOUT, PAGES, ROOT, all_blocks, blocks, page_text

needs_checkout = pytest.mark.skipif(not CHECKOUT, reason="the tools, benchmarks and helper are only in a source tree")

SESSION_PAGES = [page for page in PAGES if any(">>>" in block.text for block in blocks(page))]


def sessions(page):
    """The page's python blocks that hold sessions, as one doctest whose
    examples keep their lines in the page."""
    parser, examples = doctest.DocTestParser(), []
    for block in blocks(page):
        if block.lang == "python" and ">>>" in block.text:
            for example in parser.get_examples(block.text, block.name):
                example.lineno += block.line
                examples.append(example)
    return doctest.DocTest(examples, {}, page.name, str(page), 0, None)


@pytest.mark.parametrize("page", SESSION_PAGES, ids=[page.name for page in SESSION_PAGES])
def test_sessions_give_the_answers_shown(page, monkeypatch):
    # Each page's sessions run in order in one namespace, from the top of the
    # tree, where their examples' relative paths lead.
    monkeypatch.chdir(ROOT)
    test = sessions(page)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert test.examples and runner.failures == 0


def test_every_session_is_in_a_python_block():
    # A session in a fence of another language, or outside any, would be
    # shown as something else and run by no test.
    for page in PAGES:
        inside = sum(block.text.count(">>> ") for block in blocks(page) if block.lang == "python")
        assert inside == page.read_text(encoding="utf-8").count("\n>>> "), page.name


PYTHON_SNIPPETS = [block for block in all_blocks("python") if ">>>" not in block.text]


@pytest.mark.parametrize("block", PYTHON_SNIPPETS, ids=[block.name for block in PYTHON_SNIPPETS])
def test_python_snippets_compile(block):
    ast.parse(block.text, filename=block.name)


# Shell commands whose output the pages show, run and compared elsewhere.
COMPARED = {"tariffsieve-plan", "examples/plan_chart.py", "examples/schedule_pandas.py"}
# Programs the pages name that come from elsewhere, with what may follow them.
PROGRAMS = {"git": {"clone"}, "cmake": None, "mkdocs": {"serve", "build"}}
PYTHON_MODULES = {"pip": {"install"}, "build": None}


def commands(text):
    """Each command of a shell block as argv: continued lines joined,
    comments dropped, lines split at &&."""
    for line in text.replace("\\\n", " ").splitlines():
        line = re.sub(r"\s+#.*$", "", line).strip()
        for command in line.split("&&"):
            if command.strip():
                yield shlex.split(command.replace("[", " ").replace("]", " "))


def check_script(path, argv):
    """A script of this tree: there, and knowing every option it is given."""
    script = ROOT / path
    assert script.is_file(), f"{path} is not in the tree"
    source = script.read_text(encoding="utf-8")
    for option in (arg.split("=")[0] for arg in argv if arg.startswith("--")):
        assert f'"{option}"' in source or f"{option})" in source or f"{option}|" in source, \
            f"{path} takes no {option}"


def check_command(argv):
    """Whether the command runs elsewhere (True), or what it names is there."""
    name = Path(argv[0]).name
    if name in ("python", "python3"):
        if argv[1] == "-m":
            allowed = PYTHON_MODULES[argv[2]]
            assert allowed is None or argv[3] in allowed, argv
            return False
        argv = argv[1:]
    if argv[0] in COMPARED or name in COMPARED:
        return True
    if name == "cd":
        return False
    if argv[0].startswith(("tools/", "bench/", "examples/")):
        check_script(argv[0], argv[1:])
        return False
    assert name in PROGRAMS, f"an example command the tests neither run nor check: {argv}"
    assert PROGRAMS[name] is None or argv[1] in PROGRAMS[name], argv
    return False


SHELL = all_blocks("sh")


@needs_checkout
@pytest.mark.parametrize("block", SHELL, ids=[block.name for block in SHELL])
def test_shell_examples_run_or_name_what_is_there(block):
    for argv in commands(block.text):
        if check_command(argv):
            break  # run and compared with its output as a whole, pipes included


EXAMPLE_RUNS = sorted({argv[1] for block in SHELL for argv in commands(block.text)
                       if argv[0] == "python3" and argv[1].startswith("examples/") and argv[1] not in COMPARED})


@pytest.mark.parametrize("script", EXAMPLE_RUNS)
def test_example_scripts_the_pages_run_succeed(script):
    proc = subprocess.run([sys.executable, script], cwd=ROOT, env=environment(), capture_output=True, text=True,
                          timeout=300)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout


@needs_checkout
def test_the_checker_refuses_what_is_not_there():
    with pytest.raises(AssertionError, match="not in the tree"):
        check_command(["tools/no-such-tool"])
    with pytest.raises(AssertionError, match="takes no --nonsense"):
        check_command(["python", "bench/plan_many.py", "--nonsense"])
    with pytest.raises(AssertionError, match="neither run nor check"):
        check_command(["rm", "-rf", "build"])


# The README is shown by HACS inside Home Assistant, where relative links
# resolve against Home Assistant's own address: it links into this tree by
# absolute URLs, which must reach files that are here.
BLOB = "https://github.com/tariffsieve/tariffsieve/blob/main/"
RAW = "https://raw.githubusercontent.com/tariffsieve/tariffsieve/main/"


@needs_checkout
def test_the_front_page_links_reach_files_of_this_tree():
    links = re.findall(r"\]\(([^)\s]+)\)", page_text("README.md"))
    relative = [link for link in links if not link.startswith(("https://", "http://"))]
    assert relative == []
    ours = [link for link in links if link.startswith((BLOB, RAW))]
    assert len(ours) >= 10
    for link in ours:
        path = link[len(BLOB):] if link.startswith(BLOB) else link[len(RAW):]
        assert (ROOT / path.split("#")[0]).is_file(), link


def test_the_pandas_example_plans_the_night(run_fresh):
    pytest.importorskip("pandas")
    example = ROOT / "examples" / "schedule_pandas.py"
    lines = run_fresh(f"import runpy; runpy.run_path({str(example)!r}, run_name='__main__')").splitlines()
    assert lines[:2] == ["Sun 01:30-04:30  12 periods, average 0.0783825", "total 0.94059, average 0.0783825"]


def service_fields():
    """The helper's actions and the fields each takes, from services.yaml
    (read by its layout: no YAML parser is among the tests' packages)."""
    services, current = {}, None
    path = ROOT / "custom_components" / "tariffsieve" / "services.yaml"
    for line in path.read_text(encoding="utf-8").splitlines():
        if re.fullmatch(r"\w+:", line):
            current = services.setdefault(line[:-1], set())
        elif current is not None and re.fullmatch(r"    \w+:", line):
            current.add(line.strip()[:-1])
    return services


ACTIONS = [block for block in all_blocks("yaml") if re.search(r"^action: tariffsieve\.", block.text, re.M)]


@needs_checkout
@pytest.mark.parametrize("block", ACTIONS, ids=[block.name for block in ACTIONS])
def test_action_examples_name_the_actions_fields(block):
    service = re.search(r"^action: tariffsieve\.(\w+)", block.text, re.M).group(1)
    data = re.search(r"^data:\n((?:  .*\n)+)", block.text, re.M).group(1)
    given = set(re.findall(r"^  (\w+):", data, re.M))
    fields = service_fields()
    assert service in fields
    assert given and given <= fields[service], sorted(given - fields[service])


@needs_checkout
def test_every_tool_has_its_line_in_the_tools_index():
    index = page_text("tools/README.md")
    tools = sorted(path.name for path in (ROOT / "tools").iterdir()
                   if path.is_file() and path.stat().st_mode & 0o111)
    assert tools and [tool for tool in tools if f"| `{tool}` |" not in index] == []
