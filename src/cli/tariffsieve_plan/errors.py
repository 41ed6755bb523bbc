# The one error type of the command: bad input, reported as one line and exit status 2.


class BadInput(Exception):
    """Input the command cannot plan; the message names the file, line or option at fault,
    and `rule` the timing rule at fault (plan's parameter name), when it is one."""

    rule: "str | None" = None
