# Which fields of a record hold its start and its price: the names price
# sources document, and the rule for a record that holds several prices.
import re
from decimal import Decimal

from tariffsieve_prices.prices import JsonNumber

# Start-time fields, in order of preference (the UTC ones before local ones
# of the same source: TimeUTC over TimeDK).
START_FIELDS = (
    "start", "startsAt", "start_time", "startTime", "deliveryStart", "valid_from", "validFrom",
    "start_timestamp", "time_start", "timestamp", "time", "readingDate", "from", "TimeUTC", "HourUTC", "TimeDK",
    "HourDK", "hour", "datetime", "date", "start_date", "startDate", "period_start", "periodStart", "begin",
)
# Fields that hold a period's end: a timestamp, never a price.
END_FIELDS = frozenset({"end", "endsAt", "end_time", "endTime", "deliveryEnd", "valid_to", "validTo",
                        "end_timestamp", "time_end", "till", "to", "until", "end_date", "endDate", "period_end",
                        "periodEnd"})
_START_FOLDED = {name.lower(): name for name in reversed(START_FIELDS)}
# Naive timestamps in these fields are UTC, as their names say.
UTC_FIELDS = frozenset({"TimeUTC", "HourUTC"})
# Field names that hold a price (or a part of one) besides those containing "price".
_PRICE_NAMES = frozenset({"value", "total", "energy", "tax", "amount", "per_kwh", "perkwh", "value_inc_vat",
                          "value_exc_vat", "rate", "cost"})
# NOK_per_kWh, EUR_per_kWh, spotPerKwh, price_per_mwh: a price per unit of energy.
_PER_ENERGY = re.compile(r".*per_?[km]wh", re.IGNORECASE)
# "Price" in the languages of Europe's spreadsheet exports: Preis, prijs, pris, prix, precio, prezzo, hinta, cena.
_PRICE_WORDS = ("price", "preis", "prijs", "pris", "prix", "precio", "prezzo", "hinta", "cena")
# Objects whose numbers are prices by the object's name: one price per area.
_PRICE_OBJECTS = frozenset({"entryperarea"})
# The price a customer pays, where a record also holds its parts or the price without VAT.
_PAID = (("total", frozenset({"energy", "tax"})), ("value_inc_vat", frozenset({"value_exc_vat"})),
         ("perKwh", frozenset({"spotPerKwh"})))


def start_field(record: dict) -> "str | None":
    """The record's start-time field, by the names sources use."""
    for name in START_FIELDS:
        if name in record:
            return name
    for key in record:
        if isinstance(key, str) and key.lower() in _START_FOLDED:
            return key
    return None


def day_field(record: dict, hour: str) -> "str | None":
    """The field that gives an hour field's day ({date: 2026-04-11, hour: 13}),
    where the start field is an hour of the day rather than a time."""
    value = record.get(hour)
    text = value.text if isinstance(value, JsonNumber) else value
    if hour.lower() != "hour" or isinstance(value, bool) or not str(text).strip().isdigit() or int(str(text)) > 24:
        return None
    return next((key for key in record if isinstance(key, str) and key.lower() in ("date", "day", "datum")), None)


# Text that is meant as a number, a decimal comma or a stray character
# included, so that its record is found and the price then named as wrong.
_NUMERIC_TEXT = re.compile(r"\s*[+-]?[\d.,_]*\d[\d.,_]*(?:[eE][+-]?\d+)?\s*")


def is_number(value: object) -> bool:
    if isinstance(value, (JsonNumber, int, float, Decimal)) and not isinstance(value, bool):
        return True
    return isinstance(value, str) and _NUMERIC_TEXT.fullmatch(value) is not None


def price_like(name: str) -> bool:
    folded = name.lower()
    named = any(word in folded for word in _PRICE_WORDS) or folded in _PRICE_NAMES
    return (named or _PER_ENERGY.fullmatch(name) is not None) and name not in END_FIELDS


def price_candidates(record: dict, skip: str) -> "list[str]":
    """Dotted paths of the fields that may hold the price, by their names
    alone: numbers under price-like names, else the numbers of an object
    named as holding prices (entryPerArea.SE3), or price-named numbers of
    nested objects (price_tax_included.amount). A number is never a
    price only because it is the one number left."""
    top = [key for key, value in record.items()
           if isinstance(key, str) and key != skip and price_like(key) and is_number(value)]
    if top:
        return top
    nested = []
    for key, value in record.items():
        if not (isinstance(key, str) and key != skip and isinstance(value, dict)):
            continue
        whole = key.lower() in _PRICE_OBJECTS
        nested += [f"{key}.{inner}" for inner, number in value.items()
                   if isinstance(inner, str) and is_number(number) and (whole or price_like(inner))]
    return nested


def paid_price(candidates: "list[str]") -> "str | None":
    """The one candidate a customer pays, when that is unambiguous."""
    if len(candidates) == 1:
        return candidates[0]
    for paid, parts in _PAID:
        if paid in candidates and set(candidates) - {paid} <= parts:
            return paid
    return None


def field_value(record: dict, path: str) -> object:
    """The value at a dotted path inside a record; KeyError when absent."""
    if path in record:
        return record[path]
    value: object = record
    for key in path.split("."):
        if not isinstance(value, dict) or key not in value:
            raise KeyError(path)
        value = value[key]
    return value
