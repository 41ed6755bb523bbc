"""The price paid and the billing from the helper's options, as the planning library takes them, and how a plan
made on them is shown. The library computes every price paid and hour's average exactly; this module only
names the options and says which field a refusal is about."""
from __future__ import annotations

from decimal import Decimal, InvalidOperation
from pathlib import Path
from typing import Any

from homeassistant.core import HomeAssistant
from tariffsieve_prices import PriceSeries
from tariffsieve_schedule import BillingError, FeeTable, PriceModel, Schedule, ScheduleError, TariffError, read_fees

from .const import CONF_ADD_ON, CONF_FEES, CONF_FEES_FILE, CONF_HOURLY, CONF_MULTIPLIER, CONF_VAT, PRICE_OPTIONS
from .rules import cheap_text

# The fee table typed into the form is named so in the library's messages.
TYPED_TABLE = "fee table"


def _set(value: Any) -> bool:
    return value is not None and value != ""


def price_model(options: dict[str, Any]) -> PriceModel | None:
    """The model of the options (None: plan on the prices as the source gives them); a fee file is read here,
    so call it off the event loop. TariffError names what is at fault."""
    if not any(_set(options.get(key)) for key in PRICE_OPTIONS):
        return None
    text, path = options.get(CONF_FEES), options.get(CONF_FEES_FILE)
    if _set(text) and _set(path):
        # Two tables for one price: which one was meant is not for the helper to pick.
        raise TariffError("{name}: give the fee table as text or as a file, not both", "price_model", "fees_both")
    fees = read_fees(str(text), TYPED_TABLE) if _set(text) else FeeTable.load(str(path)) if _set(path) else None
    # Handed on as text: the model reads decimal text exactly and names the part that is no number (its fields
    # are typed as the Decimals it makes of them).
    return PriceModel(multiplier=cheap_text(options.get(CONF_MULTIPLIER)) or "1",  # type: ignore[arg-type]
                      add_on=cheap_text(options.get(CONF_ADD_ON)) or "0",  # type: ignore[arg-type]
                      vat=_percent(options.get(CONF_VAT)), fees=fees)  # type: ignore[arg-type]


def _percent(value: Any) -> str:
    """VAT in percent (25, or "25%") as the library's percentage. A rate between 0 and 1 is no VAT any country
    charges in percent, and reads as a fraction too (0.25 for 25 %): refused naming both, never taken as one."""
    text = (cheap_text(value) or "0").strip().removesuffix("%").strip()
    try:
        unclear = 0 < Decimal(text) < 1
    except InvalidOperation:
        unclear = False  # the library names the VAT that is no number
    if unclear:
        raise TariffError("{name}: VAT {text} reads two ways: VAT is in percent here (25 for 25 %), and as a "
                          "fraction {text} would be {percent} %", "price_model", "vat_unclear", text=text,
                          percent=_plain_percent(text))
    return f"{text}%"


def _plain_percent(text: str) -> str:
    return f"{(Decimal(text) * 100).normalize():f}"


def billing(options: dict[str, Any]) -> str | None:
    return "hourly" if options.get(CONF_HOURLY) else None


def whole_hours(series: PriceSeries) -> tuple[Any, dict[str, Any]]:
    """The prices to plan on where billed by the hour, and schedule()'s arguments that read them on the series'
    clock: from the first period on the hour. A source that lists prices from the quarter hour running now
    (13:15) leaves the hour under way part-listed; no plan from now needs it, and the planning library refuses
    to average an hour on fewer periods than it has."""
    first = next((i for i, start in enumerate(series.starts) if start.minute == 0 and start.second == 0), 0)
    if first == 0:
        return series, {}
    return list(zip(series.instants[first:], series.prices[first:])), {"tz": series.zone}


def arguments(options: dict[str, Any]) -> dict[str, Any]:
    """schedule()'s price_model and billing, each only where set: a plan without them is as before."""
    model, billed = price_model(options), billing(options)
    return {**({"price_model": model} if model else {}), **({"billing": billed} if billed else {})}


def located(config_dir: str, options: dict[str, Any]) -> dict[str, Any]:
    """The options with a fee file's path taken from the configuration folder where it is relative."""
    path = options.get(CONF_FEES_FILE)
    if not _set(path) or Path(str(path)).is_absolute():
        return options
    return {**options, CONF_FEES_FILE: str(Path(config_dir) / str(path))}


def file_refused(hass: HomeAssistant, options: dict[str, Any]) -> str | None:
    """The fee file's path where Home Assistant does not allow reading it (allowlist_external_dirs), as core's
    file-reading integrations refuse it; blocking, so call it off the event loop."""
    path = options.get(CONF_FEES_FILE)
    # Given beside a typed table, the file is refused as one of two tables, and not read.
    if not _set(path) or _set(options.get(CONF_FEES)) or hass.config.is_allowed_path(str(path)):
        return None
    return str(path)


def shown(planned: Schedule) -> dict[str, Any]:
    """What a plan says about its prices: paid (with the formula) and billed by the hour, where so."""
    said: dict[str, Any] = {}
    if planned.price_model is not None:
        # Stored as "priced" beside the plan's own "prices" (the source's, by period); shown as prices: paid.
        said |= {"priced": "paid", "price_model": planned.price_model.describe()}
    if planned.billing is not None:
        said["billing"] = planned.billing
    return said


# The translation key of each refusal of a fee table, by the library's reason; the field is the table's (text
# or file).
_TABLE_KEYS = {"fee_syntax": "fees_syntax", "fee_overlap": "fees_overlap", "fee_gap": "fees_gap",
               "season_overlap": "fees_season_overlap", "season_gap": "fees_season_gap",
               "midnight_days": "fees_midnight_days", "fee_inside_period": "fees_inside_period",
               "unreadable": "fees_unreadable", "utc_clock": "fees_utc_clock", "fees_both": "fees_both"}


def problem_of(error: ScheduleError, options: dict[str, Any]) -> tuple[str, dict[str, str], str | None] | None:
    """A refusal of the price options or the billing as the form shows it: its translation key, the values it
    names and the field at fault; None for the other errors."""
    values = _values(error)
    if isinstance(error, BillingError) or error.field == "billing":
        return f"billing_{error.reason}", values, CONF_HOURLY
    if not isinstance(error, TariffError):
        return None
    if error.reason in _TABLE_KEYS:
        table = CONF_FEES_FILE if _set(options.get(CONF_FEES_FILE)) and error.reason != "fees_both" else CONF_FEES
        return _TABLE_KEYS[error.reason], values, table
    if error.reason == "not_number":
        return "not_number", values, str(error.values.get("part", CONF_MULTIPLIER))
    return ("vat_unclear", values, CONF_VAT) if error.reason == "vat_unclear" else ("price_inexact", values,
                                                                                   CONF_MULTIPLIER)


def _values(error: ScheduleError) -> dict[str, str]:
    """The error's values as text, its lines joined, and its sentence without the table's name (the form names
    the field): "line 3: 25:00 is not a clock time (00:00 to 24:00)"."""
    values = {key: str(value) for key, value in error.values.items() if not isinstance(value, (list, dict))}
    lines = error.values.get("lines")
    detail = error.worded("").removeprefix(": ").removeprefix(f"{error.values.get('file')}, ")
    return values | {"detail": detail, "lines": ", ".join(map(str, lines)) if isinstance(lines, list) else ""}
