"""The doc text of get_cheapest_periods as src/lib/function_doc.h writes it:
the one copy, which the tests hold the module and the stub to."""
import ast
import re
from pathlib import Path

HEADER = Path(__file__).resolve().parents[2] / "src/lib/function_doc.h"


def _header_text():
    source = HEADER.read_text()
    start = source.index("function_doc[] =")
    literals = re.findall(r'"((?:[^"\\]|\\.)*)"', source[start : source.index(";", start)])
    return "".join(ast.literal_eval(f'"{literal}"') for literal in literals)


# The first line is the signature, then the "--" line the interpreter strips.
FIRST_LINE, _, DOC = _header_text().partition("\n--\n\n")
SIGNATURE = FIRST_LINE[len("get_cheapest_periods") :]
