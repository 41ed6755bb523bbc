# One price record as read: its start, its price as decimal text, where it
# stands in the input, and the record itself.
from datetime import datetime


class PriceRecord:
    """A period's start (aware, or naive when the input gives no offset), its
    price as plain decimal text ("0.0731", "-1.5", no exponent), its place in
    the input for messages ("line 5", "item 3 of data.ee"), and the record as
    read (a dict, a CSV row as a list of cells, or None), which tells a
    repeated record from a conflicting one."""

    __slots__ = ("start", "price", "place", "source", "origin")

    def __init__(self, start: datetime, price: str, place: str, source: object = None, origin: str = "") -> None:
        self.start = start
        self.price = price
        self.place = place
        self.source = source
        # The list the record came from (a JSON path), when there were several.
        self.origin = origin

    def __repr__(self) -> str:
        return f"PriceRecord({self.start.isoformat()!r}, {self.price!r}, {self.place!r})"
