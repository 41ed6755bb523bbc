# What schedule() takes as prices, turned into one PriceSeries: a series from
# the reader, text or bytes a price source sent, records, (instant, price)
# pairs, a mapping of instants to prices, or a pandas Series on a
# DatetimeIndex. pandas is never imported here: a Series is known by its shape.
from __future__ import annotations

from collections.abc import Mapping
from datetime import datetime, tzinfo
from typing import Any

from tariffsieve_prices import PriceDataError, PriceSeries, load_zone, read_prices
from tariffsieve_schedule.errors import PriceError, ScheduleError


def zone_of(tz: "str | tzinfo | None") -> "tzinfo | None":
    if not isinstance(tz, str):
        return tz
    try:
        return load_zone(tz)
    except PriceDataError as exc:
        raise ScheduleError("{name}: {text}", "tz", "unknown_zone", text=str(exc), zone=tz) from None


def _scalar(value: Any) -> Any:
    """A NumPy scalar as the Python number it holds; anything else as it is."""
    item = getattr(value, "item", None)
    return item() if callable(item) and not isinstance(value, (str, bytes)) else value


def _is_pandas_series(value: Any) -> bool:
    index = getattr(value, "index", None)
    return hasattr(value, "items") and hasattr(index, "to_pydatetime") and hasattr(value, "dtype")


def _pairs(pairs: Any) -> "list[dict[str, Any]]":
    return [{"start": start, "price": _scalar(price)} for start, price in pairs]


def as_series(prices: Any, zone: "tzinfo | None") -> PriceSeries:
    """The price series in `prices`, its times shown in `zone` where one is given."""
    try:
        if isinstance(prices, PriceSeries):
            series = prices
        elif _is_pandas_series(prices):
            starts = prices.index.to_pydatetime()
            series = read_prices(_pairs(zip(starts, prices.tolist())), tz=zone)
        elif isinstance(prices, Mapping) and prices and all(isinstance(key, datetime) for key in prices):
            series = read_prices(_pairs(prices.items()), tz=zone)
        elif isinstance(prices, (list, tuple)) and prices and all(
                isinstance(item, (list, tuple)) and len(item) == 2 and isinstance(item[0], datetime)
                for item in prices):
            series = read_prices(_pairs(prices), tz=zone)
        else:
            series = read_prices(prices, tz=zone)
    except PriceDataError as exc:
        raise PriceError(exc) from None
    if zone is not None and series.aware and series.zone is not zone:
        series = series.in_zone(zone)
    return series
