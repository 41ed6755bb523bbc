# A schedule as plain frozen values: its runs, the chosen periods, the
# totals and averages the engine computed, the window and the request as the
# engine got it; with JSON-ready and pandas forms.
from __future__ import annotations

from dataclasses import dataclass
from datetime import datetime, timedelta
from decimal import Context, Decimal
from typing import Any

from tariffsieve_prices import PriceSeries
from tariffsieve_schedule.tariff import PriceModel

# Wide enough for any total or average of up to 2016 prices below 2**96 with 28 decimals.
_EXACT = Context(prec=80)


def decimal_text(value: "Decimal | None") -> "str | None":
    """Plain decimal text without trailing zeros: 0.025, 3, -1.5 (None stays None)."""
    if value is None:
        return None
    text = f"{value.normalize(_EXACT):f}"
    return "0" if text in ("-0", "") else text


def iso_text(moment: datetime) -> str:
    """ISO 8601 text of a datetime, to the minute when it has no seconds."""
    if moment.second == 0 and moment.microsecond == 0:
        return moment.isoformat(timespec="minutes")
    return moment.isoformat()


@dataclass(frozen=True)
class Run:
    """Consecutive chosen periods: from `start` to `end` (in the series' zone),
    `periods` of them, the series' indices `first` to `last`, and their
    exact `total` and `average` price as the engine computed them."""

    start: datetime
    end: datetime
    periods: int
    first: int
    last: int
    total: Decimal
    average: Decimal


@dataclass(frozen=True)
class Window:
    """The periods planned: from `start` to `end`, the series' indices [first_index, first_index + periods)."""

    start: datetime
    end: datetime
    first_index: int
    periods: int


@dataclass(frozen=True)
class Request:
    """The rules in periods as the engine took them, by its parameter names."""

    low_price_threshold: str
    min_selections: int
    min_consecutive_periods: int
    max_gap_between_periods: int
    max_gap_from_start: int
    aggressive: bool

    def as_dict(self) -> "dict[str, Any]":
        return dict(self.__dict__)


@dataclass(frozen=True)
class Schedule:
    """What was planned on a price series.

    `runs` in time order; `chosen` the start of each chosen period and
    `indices` its index in the series; `total` and `average` (None when
    nothing is chosen) exact, from the engine; `cheap` how many chosen
    periods are at or below the threshold (`threshold`, None when none was
    given); the `window`, the `request` and the `series` planned on; `ran`
    the periods counted as already run when the window was planned under
    way (they are among `chosen`; `request` then holds the window's rules);
    `price_model` the PriceModel the prices were paid by (None: the prices as
    given) and `billing` "hourly" where the periods are clock hours at the
    average of the series' own periods (None: the series' own periods). With
    either, `series` and every price, total and average are those billed."""

    runs: "tuple[Run, ...]"
    chosen: "tuple[datetime, ...]"
    indices: "tuple[int, ...]"
    total: Decimal
    average: "Decimal | None"
    cheap: int
    threshold: "Decimal | None"
    window: Window
    request: Request
    series: PriceSeries
    resolution: timedelta
    ran: "tuple[datetime, ...]" = ()
    price_model: "PriceModel | None" = None
    billing: "str | None" = None

    def to_json(self) -> "dict[str, Any]":
        """The schedule as JSON-ready values: ISO 8601 times, prices as decimal text."""
        return {
            "runs": [{"start": iso_text(run.start), "end": iso_text(run.end), "periods": run.periods,
                      "total": decimal_text(run.total), "average": decimal_text(run.average)} for run in self.runs],
            "chosen": [iso_text(moment) for moment in self.chosen],
            "indices": list(self.indices),
            "total": decimal_text(self.total),
            "average": decimal_text(self.average),
            "window": {"start": iso_text(self.window.start), "end": iso_text(self.window.end),
                       "first_index": self.window.first_index, "periods": self.window.periods},
            "request": self.request.as_dict(),
            **({"price_model": self.price_model.as_dict()} if self.price_model is not None else {}),
            **({"billing": self.billing} if self.billing is not None else {}),
        }

    def to_frame(self) -> Any:
        """The window's periods as a pandas DataFrame indexed by start, with
        the price (a Decimal) and whether it was chosen. Needs pandas."""
        import pandas  # only here: pandas is optional

        first, count = self.window.first_index, self.window.periods
        chosen = set(self.indices)
        starts = self.series.starts[first:first + count]
        return pandas.DataFrame({"price": [Decimal(price) for price in self.series.prices[first:first + count]],
                                 "chosen": [i in chosen for i in range(first, first + count)]},
                                index=pandas.DatetimeIndex(starts, name="start"))
