"""Mutation operators for tools/mutation: finds the mutants of a Python source
file and writes each one out as source, using only the standard library."""
from __future__ import annotations

import ast
import copy
from dataclasses import dataclass
from typing import Callable, Iterator, Optional

# Each operator names a kind of fault a test should notice.
OPERATORS = ("cmp", "boolop", "not", "int", "str", "bool", "arith", "return", "delete", "index")

_CMP_SWAPS: dict[type, type] = {
    ast.Lt: ast.LtE, ast.LtE: ast.Lt, ast.Gt: ast.GtE, ast.GtE: ast.Gt,
    ast.Eq: ast.NotEq, ast.NotEq: ast.Eq, ast.In: ast.NotIn, ast.NotIn: ast.In,
    ast.Is: ast.IsNot, ast.IsNot: ast.Is,
}
_ARITH_SWAPS: dict[type, type] = {
    ast.Add: ast.Sub, ast.Sub: ast.Add, ast.Mult: ast.Div, ast.Div: ast.Mult,
    ast.FloorDiv: ast.Div, ast.Mod: ast.FloorDiv,
}
# Statements whose deletion is a mutant; compound ones and imports are left
# alone (deleting those mostly breaks the import, which says nothing of tests).
_DELETABLE = (ast.Expr, ast.Assign, ast.AugAssign, ast.AnnAssign, ast.Raise, ast.Assert, ast.Delete,
              ast.Continue, ast.Break)


@dataclass(frozen=True)
class Mutant:
    """One change to one file: the node is found again by its index in ast.walk order."""
    path: str
    node_index: int
    variant: int
    operator: str
    line: int
    description: str

    @property
    def key(self) -> str:
        return f"{self.path}:{self.node_index}:{self.variant}"


# A change: (operator, description, edit) where edit(node) -> replacement node
# (or the same node changed in place).
_Change = tuple[str, str, Callable[[ast.AST], ast.AST]]


def _parents(tree: ast.AST) -> dict[int, ast.AST]:
    return {id(child): parent for parent in ast.walk(tree) for child in ast.iter_child_nodes(parent)}


def _in_annotation(node: ast.AST, parents: dict[int, ast.AST]) -> bool:
    child, parent = node, parents.get(id(node))
    while parent is not None:
        if isinstance(parent, ast.arg) and child is parent.annotation:
            return True
        if isinstance(parent, (ast.FunctionDef, ast.AsyncFunctionDef)) and child is parent.returns:
            return True
        if isinstance(parent, ast.AnnAssign) and child is parent.annotation:
            return True
        if isinstance(parent, ast.FormattedValue) and child is parent.format_spec:
            return True  # a broken format spec only raises; not worth a mutant
        child, parent = parent, parents.get(id(parent))
    return False


def _is_docstring(node: ast.AST, parents: dict[int, ast.AST]) -> bool:
    expr = parents.get(id(node))
    if not isinstance(expr, ast.Expr):
        return False
    owner = parents.get(id(expr))
    body = getattr(owner, "body", None)
    return isinstance(body, list) and bool(body) and body[0] is expr


def _is_help_text(node: ast.AST, parents: dict[int, ast.AST]) -> bool:
    """An argparse help= or description= string: --help's prose, not behaviour."""
    keyword = parents.get(id(node))
    return isinstance(keyword, ast.keyword) and keyword.arg in ("help", "description", "epilog")


def _plus_one(expr: ast.expr) -> ast.expr:
    return ast.BinOp(left=expr, op=ast.Add(), right=ast.Constant(1))


def _show(node: ast.AST) -> str:
    text = ast.unparse(node)
    text = text.splitlines()[0] if text else text
    return text if len(text) <= 70 else text[:67] + "..."


def _changes(node: ast.AST, parents: dict[int, ast.AST]) -> Iterator[_Change]:
    """The mutants of one node, each as a description and an edit."""
    if _in_annotation(node, parents):
        return
    if isinstance(node, ast.Compare):
        for i, op in enumerate(node.ops):
            swap = _CMP_SWAPS.get(type(op))
            if swap is not None:
                def edit(n: ast.AST, i: int = i, swap: type = swap) -> ast.AST:
                    assert isinstance(n, ast.Compare)
                    n.ops[i] = swap()
                    return n
                yield "cmp", "", edit
    elif isinstance(node, ast.BoolOp):
        swap_bool = ast.Or if isinstance(node.op, ast.And) else ast.And
        def edit_bool(n: ast.AST) -> ast.AST:
            assert isinstance(n, ast.BoolOp)
            n.op = swap_bool()
            return n
        yield "boolop", "", edit_bool
    elif isinstance(node, ast.UnaryOp) and isinstance(node.op, ast.Not):
        yield "not", "", lambda n: n.operand  # type: ignore[attr-defined]
    elif isinstance(node, ast.BinOp) and type(node.op) in _ARITH_SWAPS:
        swap_arith = _ARITH_SWAPS[type(node.op)]
        def edit_arith(n: ast.AST) -> ast.AST:
            assert isinstance(n, ast.BinOp)
            n.op = swap_arith()
            return n
        yield "arith", "", edit_arith
    elif isinstance(node, ast.Constant):
        value = node.value
        if isinstance(value, bool):
            yield "bool", "", lambda n: ast.Constant(not value)
        elif isinstance(value, int):
            yield "int", "", lambda n: ast.Constant(value + 1)
            yield "int", "", lambda n: ast.Constant(value - 1)
        elif isinstance(value, str) and not _is_docstring(node, parents) and not _is_help_text(node, parents):
            yield "str", "", lambda n: ast.Constant("XX" + value + "XX")
    elif isinstance(node, ast.Return) and node.value is not None and not (
            isinstance(node.value, ast.Constant) and node.value.value is None):
        def edit_return(n: ast.AST) -> ast.AST:
            assert isinstance(n, ast.Return)
            n.value = ast.Constant(None)
            return n
        yield "return", "", edit_return
    elif isinstance(node, ast.Subscript):
        yield from _index_changes(node)
    if isinstance(node, _DELETABLE) and not (isinstance(node, ast.Expr) and _is_docstring(node.value, parents)):
        yield "delete", "delete `" + _show(node) + "`", lambda n: ast.Pass()


def _index_changes(node: ast.Subscript) -> Iterator[_Change]:
    """Off by one in an index or slice bound that is computed (constant ones are
    the int operator's); a plain name or call as index is likely a mapping key."""
    index = node.slice
    if isinstance(index, ast.Slice):
        for field in ("lower", "upper"):
            bound = getattr(index, field)
            if bound is not None and not isinstance(bound, ast.Constant):
                def edit(n: ast.AST, field: str = field) -> ast.AST:
                    assert isinstance(n, ast.Subscript) and isinstance(n.slice, ast.Slice)
                    setattr(n.slice, field, _plus_one(getattr(n.slice, field)))
                    return n
                yield "index", "", edit
    elif isinstance(index, (ast.BinOp, ast.UnaryOp)):
        def edit_index(n: ast.AST) -> ast.AST:
            assert isinstance(n, ast.Subscript)
            n.slice = _plus_one(n.slice)
            return n
        yield "index", "", edit_index


def find_mutants(path: str, source: str, operators: Optional[set[str]] = None) -> list[Mutant]:
    """Every mutant of a file, in a stable order (node, then variant)."""
    tree = ast.parse(source)
    parents = _parents(tree)
    found = []
    for index, node in enumerate(ast.walk(tree)):
        for variant, (operator, description, edit) in enumerate(_changes(node, parents)):
            if operators is not None and operator not in operators:
                continue
            if not description:
                before = _show(node)
                after = _show(edit(copy.deepcopy(node)))
                if before == after:
                    continue
                description = f"`{before}` -> `{after}`"
            found.append(Mutant(path, index, variant, operator, getattr(node, "lineno", 0), description))
    return found


def apply(source: str, mutant: Mutant) -> str:
    """The file's source with the one mutant applied (formatting not kept)."""
    tree = ast.parse(source)
    parents = _parents(tree)
    node = next(n for i, n in enumerate(ast.walk(tree)) if i == mutant.node_index)
    _operator, _description, edit = list(_changes(node, parents))[mutant.variant]
    replacement = edit(node)
    if replacement is not node:
        _replace(parents[id(node)], node, replacement)
    ast.fix_missing_locations(tree)
    return ast.unparse(tree) + "\n"


def _replace(parent: ast.AST, old: ast.AST, new: ast.AST) -> None:
    for field, value in ast.iter_fields(parent):
        if value is old:
            setattr(parent, field, new)
            return
        if isinstance(value, list):
            for i, item in enumerate(value):
                if item is old:
                    value[i] = new
                    return
    raise ValueError("node not found in its parent")
