# Price series that JSON holds other than as a list of records: [start, price]
# pairs, a map from starts to prices, and a start array beside a price array.
# Each becomes records of two fields, so that the rest of the reader sees one
# form; each is taken only where every entry fits it.
from tariffsieve_prices.fields import START_FIELDS, is_number, price_like
from tariffsieve_prices.timestamps import is_timestamp

# Names of arrays of start times, besides the record fields' own names.
_START_ARRAYS = frozenset({"unix_seconds", "timestamps", "times", "starts", "start_times", "datetimes"}
                          | {name.lower() for name in START_FIELDS})
PAIR_TIME, PAIR_PRICE = "[0]", "[1]"
MAP_TIME, MAP_PRICE = "(key)", "(value)"


def pairs(value: list) -> "list[dict] | None":
    """[[start, price], ...] as records, or None where any entry is not such a pair."""
    if not all(isinstance(item, (list, tuple)) and len(item) == 2 and is_timestamp(item[0]) and is_number(item[1])
               for item in value):
        return None
    return [{PAIR_TIME: start, PAIR_PRICE: price} for start, price in value]


def mapping(value: dict) -> "list[dict] | None":
    """{start: price, ...} as records, or None where a key is no timestamp or a value no number."""
    if len(value) < 2 or not all(isinstance(key, str) and is_timestamp(key) and is_number(price)
                                 for key, price in value.items()):
        return None
    return [{MAP_TIME: start, MAP_PRICE: price} for start, price in value.items()]


def parallel(value: dict) -> "tuple[list[dict], str, list[str]] | None":
    """An array of starts beside arrays of prices of the same length, as
    records; with the start array's name and the price arrays' names."""
    starts = [key for key, inner in value.items() if isinstance(key, str) and key.lower() in _START_ARRAYS
              and isinstance(inner, list) and inner and all(is_timestamp(item) for item in inner)]
    if len(starts) != 1:
        return None
    times = value[starts[0]]
    prices = [key for key, inner in value.items() if isinstance(key, str) and price_like(key)
              and isinstance(inner, list) and len(inner) == len(times)
              and all(is_number(item) or item is None for item in inner)]
    if not prices:
        return None
    records = [{starts[0]: start, **{key: value[key][i] for key in prices}} for i, start in enumerate(times)]
    return records, starts[0], prices
