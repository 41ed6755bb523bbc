# A price as plain decimal text, from what a source writes: text, a JSON
# number kept as written, an int, a float or a Decimal.
import re
from decimal import Decimal

from tariffsieve_prices.errors import PriceDataError

# Underscores may follow the first digit, as in Python's own number literals.
_NUMBER = re.compile(r"([+-]?)(\d[\d_]*(?:\.[\d_]*)?|\.\d[\d_]*)(?:[eE]([+-]?\d+))?")
# Exponents beyond this make more than 28 decimals or a value past 2**96
# whatever the digits: refused here rather than spelled out digit by digit.
_LONGEST_EXPONENT = 60
_LARGEST = 2 ** 96


class JsonNumber:
    """A JSON number kept as the text it was written as (json.loads with
    parse_float/parse_int/parse_constant), so that no price passes through a float."""

    __slots__ = ("text",)

    def __init__(self, text: str) -> None:
        self.text = text

    def __repr__(self) -> str:
        return self.text

    def __eq__(self, other: object) -> bool:
        return isinstance(other, JsonNumber) and other.text == self.text

    def __hash__(self) -> int:
        return hash(self.text)


def price_text(value: object, place: str, field: str) -> str:
    """The price as plain decimal text ("0.0731", "-12", "0.01" for 1e-2).

    A float is taken as its shortest repr, the digits a person sees. Raises
    PriceDataError naming place and field when the value is not a number
    within the decimal range (below 2**96 in magnitude)."""
    if isinstance(value, JsonNumber):
        text = value.text
    elif isinstance(value, bool) or value is None:
        text = None
    elif isinstance(value, (int, Decimal)):
        text = str(value)
    elif isinstance(value, float):
        text = repr(value)
    elif isinstance(value, str):
        text = value.strip()
    else:
        text = None
    match = _NUMBER.fullmatch(text) if text is not None else None
    if match is None:
        shown = repr(value) if not isinstance(value, JsonNumber) else value.text
        hint = "; write a decimal point, not a comma" if isinstance(value, str) and "," in value else ""
        raise PriceDataError(f"{place}: the {field} {shown[:40]} is not a decimal number{hint}")
    sign, digits, exponent = match.groups()
    if exponent is not None:
        if abs(int(exponent)) > _LONGEST_EXPONENT and Decimal(digits) != 0:
            raise PriceDataError(f"{place}: {field} {text[:40]} is beyond the decimal range")
        plain = format(Decimal(sign + digits.replace("_", "")).scaleb(int(exponent)), "f")
        return "0" if Decimal(plain) == 0 else plain
    whole = digits.split(".")[0].replace("_", "").lstrip("0")
    if whole and int(whole) >= _LARGEST:
        raise PriceDataError(f"{place}: {field} {text[:40]} is beyond the decimal range (below 2**96)")
    return ("-" if sign == "-" else "") + digits
