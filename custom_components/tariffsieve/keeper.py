"""The plans of one helper: read the prices when they change, plan each window
once all its prices are known, keep the plan (stored, so it survives a
restart) and plan again only when prices of periods not yet started change."""
from __future__ import annotations

import asyncio
import logging
import time as clock
from collections.abc import Callable
from datetime import datetime, timedelta
from decimal import Decimal
from typing import Any

from homeassistant.config_entries import ConfigEntry
from homeassistant.core import CALLBACK_TYPE, Event, HomeAssistant, callback
from homeassistant.helpers.event import (async_call_later, async_track_point_in_utc_time,
                                         async_track_state_change_event, async_track_time_interval)
from homeassistant.helpers.storage import Store
from homeassistant.util import dt as dt_util
from tariffsieve_prices import PriceDataError, PriceSeries

from . import pricing, runtime
from .const import CONF_TOTAL, DOMAIN
from .fallback import deadlines, is_fallback, kept_fallback, last_planned, missing_fallbacks, replaced
from .fallback_source import forecast_data
from .health import health_of
from .planner import NoPlan, at as _at, make_window_plan, prices_changed, series_of, window_on
from .sources import PriceSource, SourceFailed

_LOGGER = logging.getLogger(__name__)
# How soon a failing price action is asked again: it is often an integration still starting.
RETRY = timedelta(minutes=1)


class PlanKeeper:
    """Reads the source, keeps the plans by window start, and tells its entities when anything changes."""

    def __init__(self, hass: HomeAssistant, entry: ConfigEntry) -> None:
        self.hass, self.entry = hass, entry
        self.options: dict[str, Any] = dict(entry.options)
        self.source = PriceSource(hass, self.options)
        self.store: Store[dict[str, Any]] = Store(hass, 1, f"{DOMAIN}.{entry.entry_id}")
        self.plans: dict[str, dict[str, Any]] = {}
        # The plan on prices of the latest window, kept after its window for a fallback that repeats its times.
        self.last: dict[str, Any] | None = None
        self.forecast: Any = None  # the forecast rule's data, read at each update; None without that rule
        self.series: PriceSeries | None = None
        self._data: Any = None  # the source's data last read, for a replan on a new run time
        self.waiting: tuple[str, str] | None = None  # why the next window has no plan: (reason, message)
        # Why a run time cannot be read from its entity, while it cannot: no plan is made from it meanwhile.
        self.run_time_problem: runtime.Unread | None = None
        # Whether the source answers; its `problem` (a SourceFailed) while it does not.
        self.health = health_of(hass, entry.entry_id, entry.title, self.options)
        self.listeners: list[Callable[[], None]] = []
        self._unsubs: list[CALLBACK_TYPE] = []
        self._wake: CALLBACK_TYPE | None = None
        self._retry: CALLBACK_TYPE | None = None
        self._stopped = False
        # A price entity's change and the wake-up at a boundary may come together: each update plans on what
        # the one before kept, so a replan is made once and stored once.
        self._updating = asyncio.Lock()

    async def async_start(self) -> None:
        stored = await self.store.async_load() or {}
        # Plans made under other options are not this helper's plans any more.
        if stored.get("options") == self.options:
            self.plans, self.last = stored.get("plans", {}), stored.get("last")
        if self.source.polled:
            self._unsubs.append(async_track_time_interval(self.hass, self._async_refresh, self.source.every))
        else:
            self._unsubs.append(async_track_state_change_event(
                self.hass, [self.source.entity_id], self._async_refresh))
        if run_times := runtime.entities(self.options):
            # A new run time plans again: the windows ahead afresh, one under way counting what ran.
            self._unsubs.append(async_track_state_change_event(self.hass, run_times, self._async_run_time_changed))
        await self.async_update()

    @callback
    def async_stop(self) -> None:
        self._stopped = True
        for unsub in self._unsubs:
            unsub()
        if self._wake:
            self._wake()
        if self._retry:
            self._retry()

    async def _async_refresh(self, _event: Any = None) -> None:
        await self.async_update()

    async def _async_run_time_changed(self, _event: Any) -> None:
        # Planned on the prices last read: a run time that changes every minute must not ask a price action as
        # often (a price entity's data is read anew all the same: that costs nothing).
        async with self._updating:
            await self._async_update(ask=self._data is None)

    async def async_update(self) -> None:
        async with self._updating:
            await self._async_update()

    async def _async_update(self, ask: bool = True) -> None:
        now = dt_util.utcnow()
        zone = dt_util.get_default_time_zone()
        today = dt_util.as_local(now).date()
        windows = [window_on(today + timedelta(days=shift), self.options, zone) for shift in (-1, 0, 1)]
        before = self.plans
        self.forecast = forecast_data(self.hass, self.options)
        try:
            seconds: dict[str, Any] | None = runtime.read(self.hass, self.options)
            self.run_time_problem = None
        except runtime.Unread as exc:
            seconds, self.run_time_problem = None, exc
        try:
            data = await self.source.async_data(today) if ask or not self.source.polled else self._data
            self._data = data
            # Reading and planning take microseconds to milliseconds; off the event loop all the same.
            # The thread works on copies: the entities keep reading the plans meanwhile.
            self.series, self.plans, self.waiting = await self.hass.async_add_executor_job(
                self._plan, data, zone, windows, now, dict(self.plans), seconds)
        except PriceDataError as exc:  # the source answered, without prices yet
            self.waiting = ("waiting_for_prices", str(exc))
            self.health.answered()
            self._fall_back(now, windows)
        except SourceFailed as exc:  # the plans kept stay the best there are; new ones wait for the source
            self.health.failed(exc)
            self._retry_soon()
            self._fall_back(now, windows)
        else:
            self.health.answered()
        self.last = last_planned(self.last, self.plans)
        self._forget_before(now)
        if self.plans != before:  # written only when a plan changes: SD cards wear
            await self.store.async_save({"options": self.options, "plans": self.plans, "last": self.last})
        self._schedule(now, windows)
        for listener in self.listeners:
            listener()

    def _plan(self, data: Any, zone: Any, windows: list[tuple[datetime, datetime]], now: datetime,
              plans: dict[str, dict[str, Any]], seconds: dict[str, Any] | None = None
              ) -> tuple[PriceSeries | None, dict[str, Any], tuple[str, str] | None]:
        """Runs in an executor thread: reads the series and plans the windows that need it; with `seconds` None
        (a run time's entity without a value) the plans kept stay as they are."""
        try:
            series = series_of(data, zone, self.source.name, self.source.reading(self.options))
        except PriceDataError as exc:
            # What the source gives cannot be read: no plan follows its prices until that is fixed.
            raise SourceFailed("unreadable", "base", source=self.source.name, error=str(exc)) from None
        waiting = None
        if seconds is None and runtime.entities(self.options):
            return series, plans, waiting
        period = timedelta(hours=1) if pricing.billing(self.options) else series.resolution
        options = runtime.resolved(pricing.located(self.hass.config.config_dir, self.options), seconds or {}, period)
        basis = runtime.shown(options)
        for window in windows:
            if window[1] <= now:
                continue
            key = window[0].isoformat()
            kept = plans.get(key)
            # A fallback is tried on the prices at each update: it stays only until they are complete.
            if kept is not None and not is_fallback(kept) and not prices_changed(kept, series, now) and \
                    all(kept.get(name) == value for name, value in basis.items()):
                continue
            planned_with = options
            if runtime.nothing_to_run(options):
                if runtime.nothing_ran(kept, now):
                    plans[key] = runtime.no_runs(window) | basis
                    continue
                # What ran is more than none: a run under way still keeps its shortest run, and nothing is added.
                planned_with = runtime.resolved(options, {CONF_TOTAL: Decimal(1)}, period)
            began = clock.perf_counter()
            try:
                plan = make_window_plan(series, window, planned_with, now, replaced(kept, series)) | basis
            except NoPlan as exc:
                fallback = kept_fallback(exc.reason, series, window, options, now, kept, self.last,
                                         self.forecast)
                if fallback is None:
                    waiting = waiting or (exc.reason, str(exc))
                elif fallback is not kept:
                    plans[key] = fallback
                    _LOGGER.warning("%s: the prices of %s to %s are not complete by the deadline: planned on the "
                                    "fallback (%s): %s", self.entry.title, window[0], window[1],
                                    fallback["fallback"], [(run["start"], run["end"]) for run in fallback["runs"]])
                continue
            took = (clock.perf_counter() - began) * 1000
            plans[key] = plan
            _LOGGER.info("%s: %s %s to %s: %d run(s) at %s on average, planned in %.2f ms",
                         self.entry.title, "planned again" if kept else "planned", window[0], window[1],
                         len(plan["runs"]), plan["average"], took)
        return series, plans, waiting

    def _fall_back(self, now: datetime, windows: list[tuple[datetime, datetime]]) -> None:
        """No prices read at all: a deadline passes alike whether the prices are late or their source is down."""
        self.plans = self.plans | missing_fallbacks(self.plans, self.series, windows, self.options, now, self.last,
                                                    self.forecast)

    def _retry_soon(self) -> None:
        if self.source.polled and self._retry is None and not self._stopped:
            self._retry = async_call_later(self.hass, RETRY, self._async_retry)

    async def _async_retry(self, _now: datetime) -> None:
        self._retry = None
        await self.async_update()

    def _forget_before(self, now: datetime) -> None:
        self.plans = {key: plan for key, plan in self.plans.items() if _at(plan["window"][1]) > now}

    def _schedule(self, now: datetime, windows: list[tuple[datetime, datetime]]) -> None:
        """Wakes at the next run boundary or window edge: the entities flip there, and a new window is planned."""
        if self._wake:
            self._wake()
            self._wake = None
        if self._stopped:  # an update that was under way when the entry was unloaded
            return
        moments = [moment for moment in (*self.boundaries(), *(edge for window in windows for edge in window),
                                         *deadlines(windows, self.options)) if moment > now]
        if moments:
            self._wake = async_track_point_in_utc_time(self.hass, self._async_woken, min(moments))

    async def _async_woken(self, _now: datetime) -> None:
        self._wake = None
        # The entities flip first, exactly at the boundary; reading the prices again comes after.
        for listener in self.listeners:
            listener()
        await self.async_update()

    # What the entities show.
    @property
    def source_problem(self) -> SourceFailed | None:
        """Why the source does not answer, while it does not: the plans shown cannot follow its prices."""
        return self.health.problem

    def runs_ahead(self, now: datetime) -> bool:
        """Whether a kept plan still has a run to switch the load for."""
        return any(_at(run["end"]) > now for run in self.runs())

    def boundaries(self) -> list[datetime]:
        return [_at(run[edge]) for run in self.runs() for edge in ("start", "end")]

    def runs(self) -> list[dict[str, Any]]:
        return [run for key in sorted(self.plans) for run in self.plans[key]["runs"]]

    def is_on(self, now: datetime) -> bool:
        return any(_at(run["start"]) <= now < _at(run["end"]) for run in self.runs())

    def next_start(self, now: datetime) -> datetime | None:
        return min((_at(run["start"]) for run in self.runs() if _at(run["start"]) > now), default=None)

    def current_plan(self) -> dict[str, Any] | None:
        """The plan of the earliest window not over yet."""
        return self.plans[min(self.plans)] if self.plans else None


# A helper's entry, with its keeper as the entry's runtime data.
type TariffsieveConfigEntry = ConfigEntry[PlanKeeper]
