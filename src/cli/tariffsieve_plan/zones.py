# The machine's own time zone, for showing UTC prices in local time as
# `date` does: TZ if set, else /etc/localtime, else the C library's rules.
import os
import time as _time
from datetime import datetime, timedelta, timezone, tzinfo


_EPOCH = datetime(1970, 1, 1)
_HALF_DAY = 43200


def _gmtoff(stamp: int) -> int:
    return _time.localtime(stamp).tm_gmtoff


class SystemZone(tzinfo):
    """The C library's local time, where no IANA name can be found (a POSIX
    rule in TZ such as GMT0BST,M3.5.0/1,M10.5.0). A wall time's offset is
    found among the offsets in force half a day either side: in a repeated
    hour fold 0 is the earlier instant and fold 1 the later, as PEP 495 says,
    and fromutc sets the fold, so that both hours show their own offsets."""

    def utcoffset(self, moment):
        return timedelta(seconds=self._offset(moment.replace(tzinfo=None), moment.fold))

    def dst(self, moment):
        return timedelta(0)

    def tzname(self, moment):
        wall = moment.replace(tzinfo=None)
        return _time.localtime(self._stamp(wall) - self._offset(wall, moment.fold)).tm_zone

    def fromutc(self, moment):
        stamp = self._stamp(moment.replace(tzinfo=None))
        local = moment + timedelta(seconds=_gmtoff(stamp))
        wall = local.replace(tzinfo=None)
        fold = int(self._offset(wall, 0) != _gmtoff(stamp))
        return local.replace(fold=fold)

    @staticmethod
    def _stamp(wall: datetime) -> int:
        return (wall - _EPOCH) // timedelta(seconds=1)

    def _offset(self, wall: datetime, fold: int) -> int:
        as_utc = self._stamp(wall)
        around = sorted({_gmtoff(as_utc - _HALF_DAY), _gmtoff(as_utc + _HALF_DAY)}, reverse=True)
        # The larger offset names the earlier instant of a wall time.
        valid = [offset for offset in around if _gmtoff(as_utc - offset) == offset]
        if not valid:  # a wall time skipped in spring: the offset in force before the change
            return _gmtoff(as_utc - _HALF_DAY)
        return valid[min(fold, len(valid) - 1)]


def _zone_name() -> "str | None":
    setting = os.environ.get("TZ")
    if setting is not None:
        setting = setting.lstrip(":")
        if "zoneinfo/" in setting:
            setting = setting.split("zoneinfo/", 1)[1]
        return setting or "UTC"
    try:
        target = os.readlink("/etc/localtime")
    except OSError:
        target = ""
    if "zoneinfo/" in target:
        return target.split("zoneinfo/", 1)[1]
    try:
        with open("/etc/timezone") as f:
            return f.read().strip() or None
    except OSError:
        return None


def machine_zone() -> "tuple[tzinfo, str]":
    """The machine's zone and its name (Europe/Berlin, or CET/CEST)."""
    name = _zone_name()
    if name in ("UTC", "Etc/UTC", "UTC0", "Etc/Zulu", "Zulu"):
        return timezone.utc, "UTC"
    if name:
        from zoneinfo import ZoneInfo

        try:
            return ZoneInfo(name), name
        except Exception:  # a POSIX TZ rule (CET-1CEST,...) or an unknown name
            pass
    _time.tzset()
    return SystemZone(), "/".join(dict.fromkeys(_time.tzname))
