# The price a household pays, from the spot price: (spot × multiplier +
# add-on) × (1 + VAT) + the fee in force at the period's clock time. The
# cheapest hours change with it (a grid fee that is high in the evening moves
# a load to the night), so the plan is made on these prices, computed exactly.
from __future__ import annotations

from dataclasses import dataclass
from datetime import datetime, timedelta
from decimal import Context, Decimal, Inexact, InvalidOperation, localcontext
from typing import Optional, Union

from tariffsieve_prices import PriceDataError, PriceSeries, price_text
from tariffsieve_schedule.errors import TariffError
from tariffsieve_schedule.fees import FeeTable

Number = Union[Decimal, int, str]
# Wide enough that no product or sum of prices within the engine's range is
# rounded; an inexact step raises instead.
_EXACT = Context(prec=120, traps=[Inexact, InvalidOperation])
# The engine keeps at most 28 decimals.
_MOST_DECIMALS = 28
_MINUTE = timedelta(minutes=1)


def _decimal(name: str, value: object) -> Decimal:
    try:
        return Decimal(price_text(value, name, "value"))
    except PriceDataError as exc:
        raise TariffError("{name}: {text}", "price_model", "not_number", part=name, text=str(exc)) from None


def _rate(value: object) -> Decimal:
    """VAT as a fraction (0.25) or a percentage ("25%"). A bare number of 1 or more
    reads two ways (25 as 25 % or as 2500 %) and is refused naming both."""
    text = value.strip() if isinstance(value, str) else value
    if isinstance(text, str) and text.endswith("%"):
        return _decimal("vat", text[:-1].strip()) / 100
    rate = _decimal("vat", text)
    if rate >= 1:
        raise TariffError("{name}: VAT {text} reads two ways: write {text}% for {text} percent, or a fraction "
                          "below 1 (0.25 for 25 %)", "price_model", "vat_unclear", text=str(value).strip())
    return rate


@dataclass(frozen=True)
class PriceModel:
    """price = (spot × multiplier + add_on) × (1 + vat) + fee(clock time).

    `multiplier`, `add_on` and `vat` are exact decimals (Decimal, int or
    decimal text; `vat` a fraction, 0.25, or text "25%"); `fees` a FeeTable or
    None. Fees and the add-on are in the prices' unit after the multiplier."""

    multiplier: Decimal = Decimal(1)
    add_on: Decimal = Decimal(0)
    vat: Decimal = Decimal(0)
    fees: Optional[FeeTable] = None

    def __post_init__(self) -> None:
        object.__setattr__(self, "multiplier", _decimal("multiplier", self.multiplier))
        object.__setattr__(self, "add_on", _decimal("add_on", self.add_on))
        object.__setattr__(self, "vat", _rate(self.vat))

    def paid(self, spot: Number, fee: Decimal = Decimal(0)) -> Decimal:
        """The price paid for a spot price and the fee in force, exactly."""
        with localcontext(_EXACT):
            return (Decimal(spot) * self.multiplier + self.add_on) * (1 + self.vat) + fee

    def describe(self) -> str:
        """The formula with its values: (spot × 1.1 + 0.02) × (1 + 0.25) + fees of grid.txt."""
        text = "spot"
        if self.multiplier != 1:
            text = f"{text} × {_plain(self.multiplier)}"
        if self.add_on:
            text = f"({text} + {_plain(self.add_on)})" if self.vat else f"{text} + {_plain(self.add_on)}"
        if self.vat:
            text = f"{text} × (1 + {_plain(self.vat)})"
        if self.fees is not None:
            text = f"{text} + fees of {self.fees.name}"
        return text

    def as_dict(self) -> "dict[str, Optional[str]]":
        """The model as JSON-ready text."""
        return {"formula": self.describe(), "multiplier": _plain(self.multiplier), "add_on": _plain(self.add_on),
                "vat": _plain(self.vat), "fees": self.fees.name if self.fees is not None else None}


def _plain(value: Decimal) -> str:
    text = f"{value.normalize(_EXACT):f}"
    return "0" if text in ("-0", "") else text


def _fee(model: PriceModel, series: PriceSeries, i: int) -> Decimal:
    """The fee of period i: one band's, read on the series' clock. A period that a band
    boundary cuts (hourly prices, a band from 06:30) has two fees and is refused."""
    if model.fees is None:
        return Decimal(0)
    wall = series.starts[i].replace(tzinfo=None)
    band = model.fees.band_at(wall)
    length = -(-series.resolution // _MINUTE)
    first = wall.hour * 60 + wall.minute
    # Where a band may change within the period: a band's start, or midnight (a new weekday or season).
    for boundary in sorted({0, *(other.start for other in model.fees.bands)}):
        for k in range((boundary - first) % 1440, length, 1440):
            other = model.fees.band_at(wall + k * _MINUTE) if k else band
            if other is not band:
                raise TariffError("{name}: the period from {start} is cut by a fee band boundary at {at} (lines "
                                  "{first} and {second} of {file}); give prices as fine as the bands",
                                  "price_model", "fee_inside_period", start=series.starts[i].isoformat(),
                                  at=f"{wall + k * _MINUTE:%H:%M}", first=band.line, second=other.line,
                                  file=model.fees.name, lines=[band.line, other.line])
    return band.fee


def paid_series(series: PriceSeries, model: PriceModel) -> PriceSeries:
    """The series with the prices paid in place of the spot prices."""
    if model.fees is not None and series.utc and series.zone is None:
        # A fee table follows a local clock; UTC timestamps do not say which.
        raise TariffError("{name}: the prices' timestamps are in UTC, and a fee table follows a local clock: give "
                          "{name_tz}, the zone of the table's clock times", "price_model", "utc_clock")
    paid = []
    for i, spot in enumerate(series.prices):
        try:
            price = model.paid(spot, _fee(model, series, i))
        except (Inexact, InvalidOperation):  # pragma: no cover - 120 digits hold any product of two prices
            price = None
        if price is not None:
            price = price.normalize(_EXACT) if price else Decimal(0)
        if price is None or price.as_tuple().exponent < -_MOST_DECIMALS or abs(price) >= 2 ** 96:
            raise TariffError("{name}: the price paid at {start} from the spot price {spot} has more than 28 "
                              "decimals or is beyond 2**96, more than exact decimals hold", "price_model",
                              "inexact", start=series.starts[i].isoformat(), spot=spot)
        paid.append(_plain(price))
    other = PriceSeries()
    for slot in PriceSeries.__slots__:
        setattr(other, slot, getattr(series, slot))
    other.prices = paid
    return other
