"""Price sources: each action asked as documented (from local midnight, with the entry and area chosen) in each
version of its fields, and read right; a failing source logged once, shown, logged once when back; setup retried
while it does not answer, unless a stored plan still has a run to come, which then switches the load."""
import logging
from datetime import UTC, datetime, timedelta

import pytest
import voluptuous as vol
from homeassistant.config_entries import ConfigEntryState
from homeassistant.core import SupportsResponse
from homeassistant.exceptions import ServiceValidationError
from homeassistant.util import dt as dt_util
from pytest_homeassistant_custom_component.common import MockConfigEntry, async_fire_time_changed

from custom_components.tariffsieve.const import DOMAIN

from .conftest import RULES, SAMPLE, price_entry, setup_helper

PLANNED = "binary_sensor.water_heater_planned"
MIDNIGHT, QUARTER = datetime.fromisoformat("2026-04-10T00:00:00+02:00"), timedelta(minutes=15)
QUARTERS = [(MIDNIGHT + i * QUARTER, record["price"]) for i, record in enumerate(r for r in SAMPLE for _ in range(4))]
# The same day the other way round: what an area, home or country not chosen would plan on.
OTHER = [(start, price) for (start, _), (_, price) in zip(QUARTERS, reversed(QUARTERS))]
NOON = [("2026-04-10T12:00:00+02:00", "2026-04-10T15:00:00+02:00")]


def runs(hass) -> list:
    """The runs of the helper's stored plan."""
    keeper = hass.config_entries.async_entries(DOMAIN)[0].runtime_data
    return [(run["start"], run["end"]) for run in keeper.runs()]


def listed(quarters, start="start", end="end", price="price", text=datetime.isoformat, scale=1):
    return [{start: text(moment), **({end: text(moment + QUARTER)} if end else {}), price: value * scale}
            for moment, value in quarters]


def day_of(data) -> list:  # asked by date or from midnight: tomorrow is not published yet
    if str(data.get("date") or data.get("start"))[:10] != "2026-04-10":
        raise ServiceValidationError("prices not published yet")
    return QUARTERS


def omie(data) -> dict:
    countries = data.get("countries") or (["es", "pt"] if data["country"] == "both" else [data["country"]])
    return {country: listed(day_of(data) if country == "es" else OTHER) for country in countries}


def green_planet(data) -> dict:
    slot = dt_util.now().replace(minute=dt_util.now().minute // 15 * 15, second=0, microsecond=0)
    ahead = [(moment, price) for moment, price in QUARTERS if slot <= moment < slot + timedelta(hours=data["hours"])]
    return {"hours_requested": data["hours"], "prices": listed(ahead)}


def energy(data) -> dict:  # EnergyZero's and easyEnergy's answer: str() of UTC datetimes
    return {"prices": listed(day_of(data), "timestamp", None, text=lambda moment: str(moment.astimezone(UTC)))}


def stand_in(hass, domain: str, service: str, answer, fields=None) -> list:
    """A price action taking the fields named (any where None); the data of each call to it."""
    calls = []

    async def handle(call):
        calls.append(dict(call.data))
        return answer(call.data)

    schema = vol.Schema({vol.Optional(name): object for name in fields}) if fields else None
    hass.services.async_register(domain, service, handle, schema=schema, supports_response=SupportsResponse.ONLY)
    return calls


async def at(hass, freezer, moment: str) -> None:
    freezer.move_to(moment)
    async_fire_time_changed(hass)
    await hass.async_block_till_done(wait_background_tasks=True)


DAY, LAST = {"start": "2026-04-10T00:00:00+02:00"}, {"end": "2026-04-10T23:59:59+02:00"}
ENERGY = {"config_entry": "E", "incl_vat": True, **DAY, **LAST}


@pytest.mark.parametrize(("domain", "service", "area", "fields", "answer", "asked"), [
    ("nordpool", "get_prices_for_date", "se3", None,
     lambda data: {"SE3": listed(day_of(data), scale=1000), "SE4": listed(OTHER)},
     {"config_entry": "E", "date": "2026-04-10", "areas": "se3"}),
    ("tibber", "get_prices", "Home", None,
     lambda data: {"prices": {"Home": listed(day_of(data), "start_time", None), "Cabin": listed(OTHER)}},
     {**DAY, "end": "2026-04-11T00:00:00+02:00"}),
    ("energyzero", "get_energy_prices", None, None, energy, ENERGY),
    ("easyenergy", "get_energy_usage_prices", None, None, energy, {**ENERGY, "granularity": "quarter"}),
    ("easyenergy", "get_energy_usage_prices", None, list(ENERGY), energy, ENERGY),  # before quarter hours
    ("omie", "get_prices_for_date", "es", None, omie, {"date": "2026-04-10", "country": "es"}),
    ("omie", "get_prices_for_date", "es", ["date", "countries"], omie, {"date": "2026-04-10", "countries": ["es"]}),
    ("green_planet_energy", "get_prices", None, None, green_planet, {"config_entry_id": "E", "hours": 24}),
    ("green_planet_energy", "get_prices", None, ["hours"], green_planet, {"hours": 24}),
])
async def test_actions_asked_as_documented(hass, freezer, caplog, domain, service, area, fields, answer, asked):
    # 00:30 here is still yesterday in UTC: a source asked from UTC midnight asks for the wrong day.
    freezer.move_to("2026-04-10T00:30:00+02:00")
    calls = stand_in(hass, domain, service, answer, fields)
    entry_id = price_entry(hass, domain).entry_id
    await setup_helper(hass, source=domain, price_entity=None, source_entry=entry_id, area=area)
    assert calls[0] == {key: entry_id if value == "E" else value for key, value in asked.items()}
    assert runs(hass) == NOON
    # Tomorrow's prices not published yet: a normal wait, neither a failure shown nor a warning.
    assert "source_problem" not in hass.states.get(PLANNED).attributes and not logged(caplog)


async def test_amber_forecasts_flip_on_the_minute(hass, freezer):
    freezer.move_to("2026-04-10T09:58:00+02:00")
    ends = [datetime.fromisoformat("2026-04-10T09:55:00+02:00") + i * timedelta(minutes=5) for i in range(61)]
    # Each period starts one second after the previous one ends; the price paid is cheap 11:20 to 11:35, the spot
    # price at 10:35.
    forecasts = [{"start_time": (start + timedelta(seconds=1)).isoformat(), "end_time": end.isoformat(),
                  "per_kwh": 0.05 if 17 <= i < 20 else 0.3, "spot_per_kwh": 0.01 if i == 8 else 0.2,
                  "advanced_price_predicted": 0.3} for i, (start, end) in enumerate(zip(ends, ends[1:]))]
    calls = stand_in(hass, "amberelectric", "get_forecasts", lambda data: {
        "forecasts": [record for record in forecasts if record["end_time"] > dt_util.now().isoformat()]})
    entry_id = price_entry(hass, "amberelectric").entry_id
    await setup_helper(hass, source="amberelectric", price_entity=None, source_entry=entry_id, total="15min",
                       block="15min", window_from="10:00:00", window_until="13:00:00")
    assert calls[0] == {"config_entry_id": entry_id, "channel_type": "general"}
    assert runs(hass) == [("2026-04-10T11:20:00+02:00", "2026-04-10T11:35:00+02:00")]
    for moment, expected in [("11:19:59", "off"), ("11:20:00", "on"), ("11:34:59", "on"), ("11:35:00", "off")]:
        await at(hass, freezer, f"2026-04-10T{moment}+02:00")
        assert hass.states.get(PLANNED).state == expected, moment


def nordpool(hass, answers: bool = True) -> None:
    def answer(data):
        if not answers:
            raise ServiceValidationError("cannot connect")
        return {"SE3": listed(day_of(data))}

    stand_in(hass, "nordpool", "get_prices_for_date", answer)


def entity(answers: bool):
    return lambda hass: hass.states.async_set("sensor.prices", "0.08" if answers else "unavailable",
                                              {"prices": SAMPLE} if answers else {}, force_update=True)


# How a source breaks and comes back, the key it is shown by, and the words of its warning.
BREAKS = {
    "entity": (entity(False), entity(True), "entity_unavailable", "sensor.prices is unavailable"),
    "garbage": (lambda hass: hass.states.async_set("sensor.prices", "0.08", {"prices": "none"}, force_update=True),
                entity(True), "unreadable", "sensor.prices holds no price list"),
    "action": (lambda hass: hass.services.async_remove("nordpool", "get_prices_for_date"), nordpool,
               "action_missing", "nordpool.get_prices_for_date does not exist"),
}


def logged(caplog) -> list:  # the helper's warnings, and its word that the source is back
    return [(record.levelname, record.getMessage()) for record in caplog.records
            if record.name.startswith("custom_components.tariffsieve")
            and (record.levelno >= logging.WARNING or "answers again" in record.getMessage())]


@pytest.mark.parametrize("kind", BREAKS)
async def test_failure_logged_once_shown_and_survived(hass, freezer, caplog, kind):
    caplog.set_level(logging.INFO)
    freezer.move_to("2026-04-10T00:00:00+02:00")
    breaks, mends, key, words = BREAKS[kind]
    entity(True)(hass)
    nordpool(hass)
    options = {"source": "nordpool", "source_entry": price_entry(hass, "nordpool").entry_id} if kind == "action" else {}
    helper = await setup_helper(hass, **options)
    for minute in (20, 41):  # failing at two refreshes: one warning
        breaks(hass)
        await at(hass, freezer, f"2026-04-10T00:{minute}:00+02:00")
        attributes = hass.states.get(PLANNED).attributes
        assert (attributes["reason"], attributes["source_problem"], runs(hass)) == ("source_unavailable", key, NOON)
    # A restart before the source is back: not retried, as the stored plan has a run to come, which it switches.
    assert await hass.config_entries.async_reload(helper.entry_id)
    assert (hass.states.get(PLANNED).attributes["source_problem"], runs(hass)) == (key, NOON)
    for moment, expected in [("11:59:59", "off"), ("12:00:00", "on")]:
        await at(hass, freezer, f"2026-04-10T{moment}+02:00")
        assert hass.states.get(PLANNED).state == expected, moment
    # The last run over and the source still failing: nothing is left to switch the load by, so unavailable;
    # a source that answers with prices that cannot be read stays available to say so.
    await at(hass, freezer, "2026-04-10T15:00:00+02:00")
    assert hass.states.get(PLANNED).state == ("off" if key == "unreadable" else "unavailable")
    mends(hass)
    await at(hass, freezer, "2026-04-10T15:02:00+02:00")
    state = hass.states.get(PLANNED)
    assert state.state == "off" and "source_problem" not in state.attributes
    assert [level for level, _ in logged(caplog)] == ["WARNING", "INFO"] and words in logged(caplog)[0][1]


LOADED, RETRY = ConfigEntryState.LOADED, ConfigEntryState.SETUP_RETRY


@pytest.mark.parametrize(("breaks", "entry", "state"), [
    (lambda hass: None, None, RETRY),  # the price entity missing
    (entity(False), None, RETRY),
    (lambda hass: None, LOADED, RETRY),  # the action missing
    (lambda hass: nordpool(hass, answers=False), LOADED, RETRY),
    (nordpool, RETRY, RETRY),  # its entry not loaded
    (nordpool, "deleted", ConfigEntryState.SETUP_ERROR),  # for good: not retried
])
async def test_setup_retried_while_the_source_does_not_answer(hass, freezer, caplog, breaks, entry, state):
    caplog.set_level(logging.INFO)
    freezer.move_to("2026-04-10T00:00:00+02:00")
    breaks(hass)
    source = {} if entry is None else {"source": "nordpool", "source_entry": entry if entry == "deleted" else
                                       price_entry(hass, "nordpool", entry).entry_id}
    helper = MockConfigEntry(domain=DOMAIN, title="Water heater",
                             options={"source": "entity", "price_entity": "sensor.prices", **RULES, **source})
    helper.add_to_hass(hass)
    assert not await hass.config_entries.async_setup(helper.entry_id)
    assert helper.state is state
    if state is RETRY:  # once it answers, the retry sets the helper up
        entity(True)(hass)
        hass.services.async_remove("nordpool", "get_prices_for_date")
        nordpool(hass)
        for price_integration in hass.config_entries.async_entries("nordpool"):
            price_integration.mock_state(hass, LOADED)
        await at(hass, freezer, "2026-04-10T00:05:00+02:00")
        assert (helper.state, runs(hass)) == (LOADED, NOON)
    assert [level for level, _ in logged(caplog)] == ["WARNING", "INFO"][:1 + (state is RETRY)]


async def test_omie_country_not_guessed(hass, freezer):
    freezer.move_to("2026-04-10T00:30:00+02:00")
    stand_in(hass, "omie", "get_prices_for_date", omie)
    await setup_helper(hass, source="omie", price_entity=None)
    attributes = hass.states.get(PLANNED).attributes
    assert (attributes["source_problem"], attributes["runs"]) == ("area_ambiguous", [])
    assert "es and pt" in attributes["message"]

