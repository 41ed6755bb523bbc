# Price records from CSV text: a header row or none, the delimiter (comma,
# semicolon or tab, or a `sep=` first line), columns by header name or number,
# and prices with a decimal point or a decimal comma.
import csv
import io

from tariffsieve_prices.errors import PriceDataError
from tariffsieve_prices.fields import END_FIELDS, UTC_FIELDS, day_field, price_like, start_field
from tariffsieve_prices.numbers import decimal_mark, plain_number
from tariffsieve_prices.prices import price_text
from tariffsieve_prices.records import PriceRecord
from tariffsieve_prices.timestamps import is_timestamp, to_datetime, with_hour


def _unquoted_count(line: str, mark: str) -> int:
    count, quoted = 0, False
    for char in line:
        if char == '"':
            quoted = not quoted
        elif char == mark and not quoted:
            count += 1
    return count


def _delimiter(lines: "list[str]") -> str:
    """The delimiter of the first lines: a semicolon or a tab where the first
    line has one (a comma there may be a decimal comma, or stand in a header
    name), else a comma. Where both appear, the one every line has as often."""
    counts = {mark: [_unquoted_count(line, mark) for line in lines] for mark in (";", "\t")}
    present = [mark for mark in counts if counts[mark][0]]
    if len(present) == 2:
        present = [mark for mark in present if len(set(counts[mark])) == 1] or present[:1]
    return present[0] if present else ","


def _rows(text: str) -> "tuple[list[tuple[int, list[str]]], str]":
    """The non-blank rows with their line numbers, and the delimiter."""
    body = text.lstrip("\ufeff\r\n")
    first, _, rest = body.partition("\n")
    skipped = text[:len(text) - len(body)].count("\n")
    delimiter = None
    if first.strip().lower().startswith("sep=") and len(first.strip()) == 5:
        # A spreadsheet's hint: "sep=;" on the first line names the delimiter.
        delimiter, body, skipped = first.strip()[4], rest, skipped + 1
    if delimiter is None:
        delimiter = _delimiter([line for line in body.split("\n", 6)[:6] if line.strip()] or [""])
    reader = csv.reader(io.StringIO(body, newline=""), delimiter=delimiter)
    rows = []
    try:
        for row in reader:
            if any(cell.strip() for cell in row):
                rows.append((reader.line_num + skipped, row))
    except csv.Error as exc:
        raise PriceDataError(f"line {reader.line_num + skipped}: {exc}") from None
    return rows, delimiter


def _by_number(wanted: "str | None", names: "list[str] | None") -> "int | None":
    if wanted is None:
        return None
    wanted = wanted.strip()
    if names is not None:
        folded = [name.strip().lower() for name in names]
        if wanted.lower() in folded:
            return folded.index(wanted.lower())
    if wanted.isdigit() and int(wanted) >= 1:
        return int(wanted) - 1
    if names is None:
        raise PriceDataError(f"line 1: there is no header row, so columns go by number, not '{wanted}'", "column")
    raise PriceDataError(f"line 1: no column '{wanted}' in the header ({', '.join(names)})")


class _Columns:
    """Where a row's start and price are: a column each, or the start from a
    day column and an hour column."""

    __slots__ = ("time", "hour", "price", "time_name", "price_name", "naive_is_utc")

    def __init__(self, time: int, price: int, names: "list[str]", hour: "int | None" = None) -> None:
        self.time, self.price, self.hour = time, price, hour
        self.time_name = names[time] + (f"+{names[hour]}" if hour is not None else "")
        self.price_name = names[price]
        self.naive_is_utc = names[time] in UTC_FIELDS

    def last(self) -> int:
        return max(self.time, self.price, self.hour or 0)


def _header_columns(header: "list[str]", data: "list[str]", time_column, price_column) -> _Columns:
    """The columns a header names: the start by a start-time name (or the one
    column holding timestamps), the price by a price name (or the one column
    left in a two-column file); an end time is never the price."""
    names = [cell.strip() for cell in header]
    record = {name: data[i] if i < len(data) else "" for i, name in enumerate(names) if name}
    t = _by_number(time_column, names)
    hour = None
    if t is None:
        found = start_field(record)
        day = day_field(record, found) if found is not None else None
        if day is not None:
            t, hour = names.index(day), names.index(found)
        elif found is not None:
            t = names.index(found)
        else:
            stamps = [i for i, cell in enumerate(data[:len(names)]) if is_timestamp(cell)]
            t = stamps[0] if stamps else None
    p = _by_number(price_column, names)
    if p is None and t is not None:
        taken = {t, hour}
        named = [i for i, name in enumerate(names) if i not in taken and price_like(name)]
        rest = [i for i in range(len(names)) if i not in taken and names[i] not in END_FIELDS
                and not (i < len(data) and is_timestamp(data[i]))]
        if len(named) > 1:
            raise PriceDataError(f"line 1: several price columns: {', '.join(names[i] for i in named)}; pick one",
                                 "price_field", tuple(names[i] for i in named))
        p = named[0] if named else rest[0] if len(rest) == 1 and len(names) == 2 else None
    if t is None or p is None or t == p or max(t, p) >= len(names):
        raise PriceDataError(f"line 1: expected a header with a timestamp column and a price column (got "
                             f"{', '.join(header)})", "column", tuple(header))
    return _Columns(t, p, names, hour)


def _plain_columns(first: "list[str]", time_column, price_column) -> _Columns:
    """Columns of a file without a header: the start first, the price second,
    or third where the second holds timestamps (the periods' ends)."""
    t = _by_number(time_column, None)
    p = _by_number(price_column, None)
    t = 0 if t is None else t
    if p is None:
        p = 2 if t == 0 and len(first) > 2 and is_timestamp(first[1]) else 1
    return _Columns(t, p, [f"column {i + 1}" for i in range(max(t, p, len(first) - 1) + 1)])


def _split_comma(row: "list[str]", columns: _Columns, width: int, delimiter: str, named: bool) -> "str | None":
    """Why a row may hold a price with an unquoted decimal comma, or None."""
    if delimiter != "," or named or len(row) <= columns.price + 1 or len(row) != width:
        return None
    whole, fraction = row[columns.price].strip(), row[columns.price + 1].strip()
    if whole.lstrip("+-").isdigit() and fraction.isdigit():
        return f"{whole},{fraction}"
    return None


def csv_records(text: str, time_column: "str | None" = None, price_column: "str | None" = None
                ) -> "tuple[list[PriceRecord], str, str, list[str] | None]":
    """The records, the time and price columns' names, and the header row (None without one)."""
    rows, delimiter = _rows(text)
    if not rows:
        raise PriceDataError("no price rows")
    line, first = rows[0]
    # A first row is a header only when it holds no timestamp.
    header = None if any(is_timestamp(cell) for cell in first) else first
    data = rows[1:] if header is not None else rows
    if not data:
        raise PriceDataError("no price rows after the header line")
    if header is not None:
        columns = _header_columns(header, data[0][1], time_column, price_column)
    else:
        columns = _plain_columns(first, time_column, price_column)
    width = len(header) if header is not None else len(first)
    mark = decimal_mark([(f"line {n}", row[columns.price]) for n, row in data if len(row) > columns.price],
                        delimiter)
    records = []
    for number, row in data:
        records.append(_record(row, number, columns, width, header is not None, delimiter,
                               price_column is not None, mark))
    return records, columns.time_name, columns.price_name, header


def _record(row: "list[str]", number: int, columns: _Columns, width: int, headed: bool, delimiter: str,
            named: bool, mark: str) -> PriceRecord:
    place = f"line {number}"
    if len(row) > width and any(cell.strip() for cell in row[width:]):
        split = _split_comma(row, columns, len(row), delimiter, False)
        why = f" ({split}: a decimal comma in a comma-separated file? quote such prices, or separate with ;)" \
            if split else ""
        raise PriceDataError(f"{place}: {len(row)} columns, but {'the header' if headed else 'line 1'} has "
                             f"{width}{why}")
    if len(row) <= columns.last():
        raise PriceDataError(f"{place}: {len(row)} column{'s' * (len(row) != 1)}, but the "
                             f"{'price' if columns.price > columns.time else 'timestamp'} is in column "
                             f"{columns.last() + 1}")
    split = None if headed else _split_comma(row, columns, width, delimiter, named)
    if split is not None:
        raise PriceDataError(f"{place}: '{split}' may be one price with a decimal comma or two columns; quote "
                             f"such prices, or name the price column", "price_field", (f"{columns.price + 1}",))
    if columns.hour is not None:
        start = with_hour(row[columns.time], row[columns.hour], place, columns.time_name)
    else:
        start = to_datetime(row[columns.time], place, "", columns.naive_is_utc)
    price = price_text(plain_number(row[columns.price], mark), place, "price")
    return PriceRecord(start, price, place, row)
