"""The tariffsieve.plan action: a one-off plan from a price entity or a list
of {start, price}, under the helper's rules and window, answered as data."""
from __future__ import annotations

from typing import Any

from homeassistant.core import HomeAssistant, ServiceCall, ServiceResponse, SupportsResponse
from homeassistant.exceptions import ServiceValidationError
from homeassistant.helpers import config_validation as cv
from homeassistant.util import dt as dt_util
from tariffsieve_prices import PriceDataError
from tariffsieve_schedule import BillingError, ScheduleError, TariffError

from . import pricing
from .chart import shown
from .const import CONF_BLOCK, CONF_CHEAP, CONF_FROM, CONF_MAX_OFF, CONF_PRICE_FIELD, CONF_RECORDS, CONF_START_WITHIN, \
    CONF_STRATEGY, CONF_TIME_FIELD, CONF_TOTAL, CONF_UNTIL, DOMAIN, READING_CHOICES, STRATEGIES
from .const import CONF_ADD_ON, CONF_FEES, CONF_FEES_FILE, CONF_HOURLY, CONF_MULTIPLIER, CONF_VAT
from .display import plan_basis
from .planner import NoPlan, check_options, make_window_plan, placeholders, series_of, window_on, worded
from .validation import vol

_TEXT = vol.Coerce(str)
SCHEMA = vol.Schema({
    vol.Required("prices"): vol.Any(cv.entity_id, [dict]),
    vol.Optional(CONF_RECORDS): cv.string,
    vol.Optional(CONF_TIME_FIELD): cv.string,
    vol.Optional(CONF_PRICE_FIELD): cv.string,
    vol.Required(CONF_TOTAL): _TEXT,
    vol.Optional(CONF_BLOCK): _TEXT,
    vol.Optional(CONF_MAX_OFF): _TEXT,
    vol.Optional(CONF_START_WITHIN): _TEXT,
    vol.Optional(CONF_CHEAP): _TEXT,
    vol.Optional(CONF_STRATEGY, default="average"): vol.In(STRATEGIES),
    vol.Optional(CONF_FROM): cv.time,
    vol.Optional(CONF_UNTIL): cv.time,
    # The price paid and hourly billing, as the helper's options take them (VAT in percent).
    vol.Optional(CONF_MULTIPLIER): _TEXT,
    vol.Optional(CONF_ADD_ON): _TEXT,
    vol.Optional(CONF_VAT): _TEXT,
    vol.Optional(CONF_FEES): cv.string,
    vol.Optional(CONF_FEES_FILE): cv.string,
    vol.Optional(CONF_HOURLY): cv.boolean,
})


def async_register_action(hass: HomeAssistant) -> None:
    async def plan(call: ServiceCall) -> ServiceResponse:
        options = pricing.located(hass.config.config_dir,
                                  {key: value for key, value in call.data.items() if key != "prices"})
        if (refused := await hass.async_add_executor_job(pricing.file_refused, hass, options)) is not None:
            raise ServiceValidationError(f"fees_file: {refused} is not in allowlist_external_dirs",
                                         translation_domain=DOMAIN, translation_key="fees_file_not_allowed",
                                         translation_placeholders={"path": refused})
        prices = call.data["prices"]
        if isinstance(prices, str):
            state = hass.states.get(prices)
            if state is None:
                raise ServiceValidationError(f"prices: {prices} is not an entity")
            prices = dict(state.attributes)
        now = dt_util.utcnow()
        try:
            return await hass.async_add_executor_job(_plan, prices, options, now)
        except PriceDataError as exc:
            # The action's own field that takes the choice the reader asks for, where it has one.
            hint = f" (set {exc.choice})" if exc.choice in READING_CHOICES else ""
            raise ServiceValidationError(f"{exc}{hint}") from None
        except NoPlan as exc:
            raise _invalid(str(exc), exc.error) from None
        except ScheduleError as exc:
            raise _invalid(worded(exc), exc) from None

    hass.services.async_register(DOMAIN, "plan", plan, schema=SCHEMA, supports_response=SupportsResponse.ONLY)


def _invalid(message: str, error: ScheduleError) -> ServiceValidationError:
    """The action's error: the message, and its translation by the schedule's reason."""
    # The price options' and billing's refusals, many and worded by the library, share one message.
    key = "price_options" if isinstance(error, (TariffError, BillingError)) else error.reason
    return ServiceValidationError(message, translation_domain=DOMAIN, translation_key=key,
                                  translation_placeholders=placeholders(error))


def _plan(prices: Any, options: dict[str, Any], now: Any) -> dict[str, Any]:
    """The plan of the window given (default: every price from now on)."""
    zone = dt_util.get_default_time_zone()
    series = series_of(prices, zone, "prices", options)
    check_options(options, series)
    if CONF_FROM in options or CONF_UNTIL in options:
        today = dt_util.as_local(now).date()
        window = window_on(today, options, zone)
        if window[1] <= now:
            window = window_on(today.fromordinal(today.toordinal() + 1), options, zone)
    else:
        window = (now, series.instants[-1] + series.resolution)
    plan = make_window_plan(series, window, options, now)
    return shown(plan) | plan_basis(plan)
