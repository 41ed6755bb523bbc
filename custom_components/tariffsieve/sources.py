"""Where a helper's prices come from: a price entity's attributes, or one of
core's price actions, asked for today and tomorrow from local midnight (each
day's answer kept), or for what lies ahead where the action only answers a
rolling forecast. A source that answered without prices yet (tomorrow before it
is published) is told apart from one that failed: SourceFailed, which the user
must see because no plan follows new prices until it is fixed."""
from __future__ import annotations

from collections.abc import Callable, Mapping
from dataclasses import dataclass, field
from datetime import date, datetime, time, timedelta
from typing import Any, cast

from homeassistant.config_entries import ConfigEntryState
from homeassistant.const import STATE_UNAVAILABLE, STATE_UNKNOWN
from homeassistant.core import HomeAssistant
from homeassistant.exceptions import ServiceNotFound
from homeassistant.util import dt as dt_util
from tariffsieve_prices import PriceDataError

from .const import CONF_AREA, CONF_PRICE_ENTITY, CONF_PRICE_FIELD, CONF_RECORDS, CONF_SOURCE, CONF_SOURCE_ENTRY, \
    SOURCE_ENTITY

# How often an action is asked again for a day it gave no prices for yet (tomorrow's, until published).
ASK_AGAIN = timedelta(minutes=20)

# Each failure in English, for the log; strings.json words the same keys for the UI.
MESSAGES = {
    "entity_missing": "the price entity {entity} does not exist",
    "entity_unavailable": "the price entity {entity} is {state}",
    "unreadable": "{source} holds no price list that can be read: {error}",
    "action_missing": "the action {action} does not exist: the {integration} integration is not set up",
    "entry_missing": "the {integration} entry chosen for the prices does not exist any more",
    "entry_not_loaded": "the {integration} entry '{entry}' is not loaded ({state})",
    "action_failed": "the action {action} failed: {error}",
    "area_missing": "{integration} gives no prices for {area}, only for {areas}",
    "area_ambiguous": "{integration} gives prices for {areas}: pick one of them",
}


class SourceFailed(Exception):
    """The source did not answer as it should. `key` says what failed (a translation key of MESSAGES), `field` the
    setting that can fix it ("base" where none can), `values` what the message shows."""

    def __init__(self, key: str, field: str, **values: str) -> None:
        super().__init__(MESSAGES[key].format(**values))
        self.key, self.field, self.values = key, field, values

    @property
    def answered(self) -> bool:
        """Whether the source answered, with prices that cannot be read or not for the area chosen."""
        return self.key in ("unreadable", "area_missing", "area_ambiguous")


@dataclass(frozen=True)
class Ask:
    """One call to a price action: the day asked for (None for a rolling forecast), from its local midnight to the
    next one; the chosen config entry and area; whether the action takes a field (None: it does not say)."""

    day: date | None
    start: datetime
    end: datetime
    entry: str | None
    area: str | None
    takes: Callable[[str], bool | None]


@dataclass(frozen=True)
class Action:
    """One of core's price actions, with what the settings form needs to ask for it.

    entry: the field the action takes its config entry by (None: it takes none); entry_required: whether the form
    requires one. area: what the area setting picks (Nord Pool's area, Tibber's home, OMIE's country, Amber's
    channel; None: no such setting); areas: its fixed choices; default_area: the choice when none is made.
    records: where the answer keeps its list ("" for the answer itself); keyed: that list is a mapping by area.
    rolling: the action answers only what lies ahead, asked anew this often, not day by day.
    reading: how its records are read unless the settings name a list or a price."""

    label: str
    service: str
    data: Callable[[Ask], dict[str, Any]]
    entry: str | None = "config_entry"
    entry_required: bool = True
    area: str | None = None
    areas: tuple[str, ...] = ()
    default_area: str | None = None
    records: str = "prices"
    keyed: bool = False
    rolling: timedelta | None = None
    reading: Mapping[str, str] = field(default_factory=dict)


def _last_second(ask: Ask) -> str:
    """The day's end as EnergyZero and easyEnergy take it: their end is inclusive."""
    return (ask.end - timedelta(seconds=1)).isoformat()


def _countries(ask: Ask) -> dict[str, Any]:
    """OMIE's country: `country` (es, pt or both) as documented; `countries` (a list) in versions that take that."""
    if ask.takes("countries"):
        return {"countries": [ask.area] if ask.area else ["es", "pt"]}
    return {"country": ask.area or "both"}


ACTIONS: dict[str, Action] = {
    "nordpool": Action("Nord Pool", "get_prices_for_date", lambda ask: {
        "config_entry": ask.entry, "date": str(ask.day), **({"areas": ask.area} if ask.area else {})},
        area="area", records="", keyed=True),
    "tibber": Action("Tibber", "get_prices", lambda ask: {
        "start": ask.start.isoformat(), "end": ask.end.isoformat()}, entry=None, area="home", keyed=True),
    "energyzero": Action("EnergyZero", "get_energy_prices", lambda ask: {
        "config_entry": ask.entry, "incl_vat": True, "start": ask.start.isoformat(), "end": _last_second(ask)}),
    # Quarter hours, the finest easyEnergy gives, where the action takes a granularity (older versions do not).
    "easyenergy": Action("easyEnergy", "get_energy_usage_prices", lambda ask: {
        "config_entry": ask.entry, "incl_vat": True, "start": ask.start.isoformat(), "end": _last_second(ask),
        **({"granularity": "quarter"} if ask.takes("granularity") is not False else {})}),
    # A rolling forecast of 5- or 30-minute periods whose future prices move: asked as often as its periods come.
    "amberelectric": Action("Amber Electric", "get_forecasts", lambda ask: {
        "config_entry_id": ask.entry, "channel_type": ask.area or "general"},
        entry="config_entry_id", area="channel", areas=("general", "controlled_load", "feed_in"),
        default_area="general", records="forecasts", rolling=timedelta(minutes=5),
        reading={CONF_RECORDS: "forecasts", CONF_PRICE_FIELD: "per_kwh"}),
    "omie": Action("OMIE", "get_prices_for_date", lambda ask: {"date": str(ask.day), **_countries(ask)},
                   entry=None, area="country", areas=("es", "pt"), records="", keyed=True),
    # The next 24 hours (its most) from the current quarter hour; older versions take no config entry.
    "green_planet_energy": Action("Green Planet Energy", "get_prices", lambda ask: {
        "hours": 24, **({"config_entry_id": ask.entry} if ask.entry and ask.takes("config_entry_id") is not False
                        else {})},
        entry="config_entry_id", entry_required=False, rolling=timedelta(minutes=15)),
}


def _midnight(day: date) -> datetime:
    return datetime.combine(day, time(0), dt_util.get_default_time_zone())


def pick_area(action: Action, area: str | None, lists: Any) -> list[Any]:
    """The records of the area chosen, from an answer keyed by area; without a choice, the only list there is.
    SourceFailed where the area is not there, or where several are and none was chosen: either would be a guess."""
    if not isinstance(lists, dict):
        return []
    if area:
        found = next((key for key in lists if str(key).casefold() == area.casefold()), None)
        if found is None:
            raise SourceFailed("area_missing", CONF_AREA, integration=action.label, area=area,
                               areas=", ".join(map(str, lists)) or "none")
        return list(lists[found] or ())
    if len(lists) > 1:
        raise SourceFailed("area_ambiguous", CONF_AREA, integration=action.label, areas=" and ".join(map(str, lists)))
    return list(next(iter(lists.values()), None) or ())


class PriceSource:
    """Fetches a helper's price data: decoded data the reader takes."""

    def __init__(self, hass: HomeAssistant, options: dict[str, Any]) -> None:
        self.hass = hass
        self.kind = options.get(CONF_SOURCE, SOURCE_ENTITY)
        self.action = ACTIONS.get(self.kind)
        self.entity_id: str = options.get(CONF_PRICE_ENTITY) or ""
        self.entry_id = options.get(CONF_SOURCE_ENTRY) or None
        self.area = options.get(CONF_AREA) or None
        self.days: dict[str, list[Any]] = {}  # an action's records by day, once it answered with some
        self.name: str = self.entity_id if self.action is None else f"{self.action.label} prices"

    @property
    def polled(self) -> bool:
        return self.action is not None

    @property
    def every(self) -> timedelta:
        """How often a polled source is asked."""
        return (self.action.rolling if self.action else None) or ASK_AGAIN

    def reading(self, options: dict[str, Any]) -> dict[str, Any]:
        """The options with the source's own way of reading its records where they name none."""
        defaults = self.action.reading if self.action else {}
        return options | {key: value for key, value in defaults.items() if not options.get(key)}

    async def async_data(self, today: date) -> Any:
        """The price data known now. PriceDataError when the source answered without prices yet; SourceFailed when
        it did not answer as it should."""
        if self.action is None:
            return self._attributes()
        self._check_action(self.action)
        if self.action.rolling:
            now = dt_util.now()
            records = await self._ask(Ask(None, now, now, self.entry_id, self.area, self._takes), today)
            if not records:
                raise PriceDataError(f"{self.name}: no prices ahead yet")
            return {self.action.records: records}
        # Ask only for days not answered yet: tomorrow's prices until they are published.
        self.days = {day: records for day, records in self.days.items() if day >= today.isoformat()}
        for day in (today, today + timedelta(days=1)):
            if day.isoformat() not in self.days:
                ask = Ask(day, _midnight(day), _midnight(day + timedelta(days=1)), self.entry_id, self.area,
                          self._takes)
                if records := await self._ask(ask, today):
                    self.days[day.isoformat()] = records
        if not self.days:
            raise PriceDataError(f"{self.name}: no prices for today")
        return {day: self.days[day] for day in sorted(self.days)}

    def _attributes(self) -> dict[str, Any]:
        state = self.hass.states.get(self.entity_id or "")
        if state is None:
            raise SourceFailed("entity_missing", CONF_PRICE_ENTITY, entity=str(self.entity_id))
        if state.state in (STATE_UNAVAILABLE, STATE_UNKNOWN):
            raise SourceFailed("entity_unavailable", CONF_PRICE_ENTITY, entity=str(self.entity_id), state=state.state)
        return dict(state.attributes)

    def _check_action(self, action: Action) -> None:
        """SourceFailed where the action cannot answer at all: not there, or its config entry gone or not loaded."""
        if not self.hass.services.has_service(self.kind, action.service):
            raise SourceFailed("action_missing", "base", action=f"{self.kind}.{action.service}",
                               integration=action.label)
        if action.entry is None or (self.entry_id is None and not action.entry_required):
            return
        entry = self.hass.config_entries.async_get_entry(self.entry_id or "")
        if entry is None or entry.domain != self.kind:
            raise SourceFailed("entry_missing", CONF_SOURCE_ENTRY, integration=action.label)
        if entry.state is not ConfigEntryState.LOADED:
            raise SourceFailed("entry_not_loaded", CONF_SOURCE_ENTRY, integration=action.label, entry=entry.title,
                               state=entry.state.value)

    def _takes(self, name: str) -> bool | None:
        """Whether the action's schema takes a field of that name; None where it has no schema to tell."""
        assert self.action is not None
        service = self.hass.services.async_services_for_domain(self.kind).get(self.action.service)
        fields = getattr(getattr(service, "schema", None), "schema", None)
        return any(str(key) == name for key in fields) if isinstance(fields, dict) else None

    async def _ask(self, ask: Ask, today: date) -> list[Any]:
        assert self.action is not None
        action = self.action
        try:
            answer = await self.hass.services.async_call(self.kind, action.service, action.data(ask), blocking=True,
                                                         return_response=True)
        except ServiceNotFound:
            raise SourceFailed("action_missing", "base", action=f"{self.kind}.{action.service}",
                               integration=action.label) from None
        except Exception as exc:  # an integration's own errors need not be HomeAssistantError
            # Today's prices were answered with the same entry and area: an error for a later day is about that
            # day's prices, which are not published yet.
            if ask.day is not None and ask.day > today:
                return []
            raise SourceFailed("action_failed", "base", action=f"{self.kind}.{action.service}",
                               error=str(exc) or type(exc).__name__) from None
        lists = (answer or {}).get(action.records) if action.records else answer
        return pick_area(action, self.area, lists) if action.keyed else list(cast(list[Any], lists) or ())
