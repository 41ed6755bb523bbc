# Price records from CSV text: a header row or none, the delimiter (comma,
# semicolon or tab) from the first line, columns by header name or number.
import csv
import io

from tariffsieve_prices.errors import PriceDataError
from tariffsieve_prices.fields import UTC_FIELDS
from tariffsieve_prices.prices import price_text
from tariffsieve_prices.records import PriceRecord
from tariffsieve_prices.timestamps import parse_iso, to_datetime


def _column(header: "list[str] | None", wanted: "str | None", default: int, line: int) -> int:
    if wanted is None:
        return default
    wanted = wanted.strip()
    names = [cell.strip() for cell in header] if header else []
    if wanted in names:
        return names.index(wanted)
    folded = [name.lower() for name in names]
    if wanted.lower() in folded:
        return folded.index(wanted.lower())
    if wanted.isdigit() and int(wanted) >= 1:
        return int(wanted) - 1
    if header is None:
        raise PriceDataError(f"line {line}: there is no header row, so columns go by number, not '{wanted}'",
                             "column")
    raise PriceDataError(f"line {line}: no column '{wanted}' in the header ({', '.join(names)})")


def _is_data(row: "list[str]", t: int, p: int) -> bool:
    """Whether a first row holds a timestamp and a price: then there is no header."""
    if max(t, p) >= len(row):
        return False
    try:
        price_text(row[p], "", "")
    except PriceDataError:
        return False
    try:
        to_datetime(row[t], "", "")
    except PriceDataError:
        return False
    return parse_iso(row[t]) is not None or row[t].strip().lstrip("-").replace(".", "").isdigit()


def csv_records(text: str, time_column: "str | None" = None, price_column: "str | None" = None
                ) -> "tuple[list[PriceRecord], str, str, list[str] | None]":
    """The records, the time and price columns' names, and the header row (None without one)."""
    first_line = text.lstrip("\r\n").split("\n", 1)[0]
    delimiter = ","
    for other in (";", "\t"):
        if other in first_line and "," not in first_line:
            delimiter = other
    reader = csv.reader(io.StringIO(text, newline=""), delimiter=delimiter)
    header = None
    records = []
    t = p = 0
    started = False
    naive_is_utc = False
    try:
        for row in reader:
            if not any(cell.strip() for cell in row):
                continue
            line = reader.line_num
            if not started:
                started = True
                numbered = all(wanted is None or wanted.strip().isdigit() for wanted in (time_column, price_column))
                t = _column(None, time_column, 0, line) if numbered else 0
                p = _column(None, price_column, 1, line) if numbered else 1
                if not (numbered and _is_data(row, t, p)):
                    header = row
                    t = _column(header, time_column, 0, line)
                    p = _column(header, price_column, 1, line)
                    if t == p or max(t, p) >= len(header):
                        raise PriceDataError(f"line {line}: expected a header with a timestamp column and a "
                                             f"price column (got {', '.join(header)})", "column", tuple(header))
                    naive_is_utc = header[t].strip() in UTC_FIELDS
                    continue
            place = f"line {line}"
            if len(row) <= max(t, p):
                raise PriceDataError(f"{place}: {len(row)} column{'s' * (len(row) != 1)}, but the "
                                     f"{'price' if p > t else 'timestamp'} is in column {max(t, p) + 1}")
            records.append(PriceRecord(to_datetime(row[t], place, "", naive_is_utc),
                                       price_text(row[p], place, "price"), place, row))
    except csv.Error as exc:
        raise PriceDataError(f"line {reader.line_num}: {exc}") from None
    if not records:
        raise PriceDataError("no price rows" + (" after the header line" if header else ""))
    names = [cell.strip() for cell in header] if header else [f"column {i + 1}" for i in range(max(t, p) + 1)]
    return records, names[t], names[p], header
