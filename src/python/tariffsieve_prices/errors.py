# The reader's one error type: input it cannot read as a price series.


class PriceDataError(ValueError):
    """Price data that cannot be read as one series.

    The message says where the input is wrong (a line, a JSON item, an XML
    position). Where a choice would resolve it, `choice` names what to choose
    ("records": which lists of records, "price_field", "time_field", "zone",
    "resolution") and `candidates` lists what can be chosen, so that a caller
    can say how it takes that choice (a command-line option, a form field)."""

    def __init__(self, message: str, choice: "str | None" = None, candidates: "tuple[str, ...]" = ()) -> None:
        super().__init__(message)
        self.choice = choice
        self.candidates = tuple(candidates)
