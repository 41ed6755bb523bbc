# The price paid and hourly billing on the command line: the options that
# make a PriceModel, and the note each answer carries saying that its prices
# are those paid or billed, not the prices as read.
from tariffsieve_plan.errors import BadInput
from tariffsieve_schedule import FeeTable, PriceModel, TariffError

# The option that gives each part of a price model, for its messages.
PARTS = {"multiplier": "--multiplier", "add_on": "--add-on", "vat": "--vat"}


def add_options(parser):
    paid = parser.add_argument_group("price paid and billing")
    paid.add_argument("--multiplier", metavar="NUMBER",
                      help="multiply each price by this first (0.001 for EUR/MWh to EUR/kWh; default 1)")
    paid.add_argument("--add-on", metavar="PRICE", help="add this to each price after the multiplier (default 0)")
    paid.add_argument("--vat", metavar="RATE", help="then add VAT at this rate: 25%% or 0.25 (default 0)")
    paid.add_argument("--fees", metavar="FILE",
                      help="then add the fee in force at each period's clock time, from a fee table file")
    paid.add_argument("--hourly", action="store_true",
                      help="billed by the hour: plan whole clock hours, each at the exact average of its periods")


def price_model_of(args):
    """The PriceModel the options give, or None where none is given."""
    given = {part: getattr(args, part) for part in PARTS if getattr(args, part) is not None}
    if not given and args.fees is None:
        return None
    try:
        fees = FeeTable.load(args.fees) if args.fees is not None else None
    except TariffError as exc:
        raise BadInput(exc.worded("--fees")) from None
    try:
        return PriceModel(**given, fees=fees)
    except TariffError as exc:
        option = PARTS.get(exc.values.get("part") or "vat")
        raise BadInput(exc.worded(option)) from None


def model_options(args):
    """The options that make the price model, as given (--multiplier 1.01 --vat 25%), for
    an error about the prices paid that is no fault of the fee table alone."""
    options = {**PARTS, "fees": "--fees"}
    return " ".join(f"{options[part]} {getattr(args, part)}" for part in options if getattr(args, part) is not None)


def billing_note(plan):
    """What the answer's prices are, where they are not the prices as read."""
    notes = []
    if plan.price_model is not None:
        notes.append(f"prices paid: {plan.price_model.describe()}")
    if plan.billing == "hourly":
        notes.append("billed by the hour: each hour at the exact average of its periods")
    return "; ".join(notes) or None
