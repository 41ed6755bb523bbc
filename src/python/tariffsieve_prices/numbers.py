# Prices as spreadsheets write them: a decimal point or a decimal comma, with
# thousands grouped by the other mark. A column's cells decide together which
# mark is the decimal one; a cell that one column could read two ways, with
# nothing in the column to tell which, is refused rather than guessed.
import re

from tariffsieve_prices.errors import PriceDataError

# 1,234 or 12.345.678: groups of three after a first group of one to three
# digits that does not start with 0 (0,123 is a fraction, never 123).
_GROUPED = {mark: re.compile(rf"[+-]?[1-9]\d{{0,2}}(?:\{mark}\d{{3}})+") for mark in ",."}
_FRACTION = {mark: re.compile(rf"[+-]?\d*\{mark}\d+") for mark in ",."}
# Both marks: the last one is the decimal mark, the other groups thousands.
_BOTH = {",": re.compile(r"[+-]?[1-9]\d{0,2}(?:\.\d{3})+,\d*"), ".": re.compile(r"[+-]?[1-9]\d{0,2}(?:,\d{3})+\.\d*")}


def _evidence(text: str) -> "str | None":
    """The decimal mark a cell shows: ",", ".", "?" (one mark, readable either way) or None."""
    for mark in ",.":
        if _BOTH[mark].fullmatch(text):
            return mark
    for mark, other in ((",", "."), (".", ",")):
        if mark in text and other not in text:
            if text.count(mark) == 1 and _FRACTION[mark].fullmatch(text) and not _GROUPED[mark].fullmatch(text):
                return mark
            if text.count(mark) > 1 and _GROUPED[mark].fullmatch(text):
                return other  # 1,234,567: the comma groups, so the point is the decimal mark
            if text.count(mark) == 1 and _GROUPED[mark].fullmatch(text):
                return "?"
    return None


def decimal_mark(cells: "list[tuple[str, str]]", delimiter: str) -> str:
    """The decimal mark of a column of (place, text) cells: "." unless the
    cells show a decimal comma. PriceDataError where cells disagree, or where
    1,234 could be either and nothing else in the column tells."""
    shown: dict = {}
    for place, text in cells:
        found = _evidence(text.strip())
        if found is not None and found not in shown:
            shown[found] = (place, text.strip())
    if "," in shown and "." in shown:
        (one, a), (other, b) = shown[","], shown["."]
        raise PriceDataError(f"{other}: the price {b} has a decimal point, but {one} writes {a} with a decimal "
                             f"comma; write every price one way")
    if "," in shown:
        return ","
    if "?" in shown and "." not in shown:
        place, text = shown["?"]
        if "," in text:
            raise PriceDataError(f"{place}: the price {text} may be {text.replace(',', '.')} or "
                                 f"{text.replace(',', '')} (a decimal comma or a thousands separator); "
                                 f"write it with a decimal point")
    return "."


def plain_number(text: str, mark: str) -> str:
    """The cell with its thousands marks dropped and a decimal point, where
    the column's decimal mark is `mark`; other text is left for the price
    reader to refuse."""
    text = text.strip()
    grouping = "." if mark == "," else ","
    whole, _, fraction = text.partition(mark)
    if grouping in whole:
        if not _GROUPED[grouping].fullmatch(whole):
            return text
        whole = whole.replace(grouping, "")
    return f"{whole}.{fraction}" if mark in text else whole
