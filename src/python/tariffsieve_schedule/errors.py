# The errors of a schedule: each names the argument or rule at fault, says
# what is wrong as a short key, and carries the values involved, so that the
# command line can word it with its options and Home Assistant translate it.
from __future__ import annotations

from typing import Any

from tariffsieve_prices import PriceDataError

# The arguments of schedule() that an error can name.
FIELDS = ("prices", "total", "block", "max_off", "start_within", "cheap", "strategy", "start", "end", "tz", "now",
          "ran", "price_model", "billing")


class ScheduleError(ValueError):
    """A request that schedule() cannot answer.

    `field` is the argument at fault (one of FIELDS), `reason` a short key
    for what is wrong ("not_whole", "not_covered", ...), `values` the values
    involved. str(error) names the field as the API spells it; `worded(name)`
    gives the same sentence with the field named as a caller shows it (an
    option, a form label)."""

    def __init__(self, template: str, field: str, reason: str, **values: Any) -> None:
        self.template, self.field, self.reason, self.values = template, field, reason, values
        super().__init__(self.worded(field))

    def worded(self, name: str, names: "dict[str, str] | None" = None) -> str:
        """The message with the field called `name`, and other fields it
        mentions (as {name_start}) as `names` calls them."""
        labels = {f"name_{field}": (names or {}).get(field, field) for field in FIELDS}
        return self.template.format(name=name, **labels, **self.values)


class DurationError(ScheduleError):
    """A duration that is no duration, or not a whole number of the series' periods."""


class WindowError(ScheduleError):
    """A window start or end that cannot be placed, or that the prices do not cover."""


class RuleError(ScheduleError):
    """Rules the engine cannot meet on the window's periods (its own words in
    `values["engine"]`), with the rules in periods in `values["rules"]`."""


class TariffError(ScheduleError):
    """A price model or fee table that cannot say one price for every period
    (field "price_model"); a fee table's errors name its lines in `values["lines"]`."""


class BillingError(ScheduleError):
    """Periods that cannot be billed as asked (field "billing"), such as an
    hour with some of its quarter hours missing."""


class PriceError(ScheduleError, PriceDataError):
    """Prices that cannot be read as one series (field "prices"); `choice`
    and `candidates` say how to settle it where a choice would."""

    def __init__(self, error: PriceDataError) -> None:
        self.choice, self.candidates = error.choice, error.candidates
        ScheduleError.__init__(self, "{text}", "prices", error.choice or "unreadable", text=str(error))
