# The machine's own time zone, for showing UTC prices in local time as
# `date` does: TZ if set, else /etc/localtime, else the C library's rules.
import os
import time as _time
from datetime import datetime, timedelta, timezone, tzinfo


class SystemZone(tzinfo):
    """The C library's local time, where no IANA name can be found."""

    def utcoffset(self, moment):
        return timedelta(seconds=self._local(moment).tm_gmtoff)

    def dst(self, moment):
        return timedelta(0)

    def tzname(self, moment):
        return self._local(moment).tm_zone

    def fromutc(self, moment):
        stamp = (moment.replace(tzinfo=None) - datetime(1970, 1, 1)) // timedelta(seconds=1)
        return moment + timedelta(seconds=_time.localtime(stamp).tm_gmtoff)

    def _local(self, moment):
        naive = moment.replace(tzinfo=None)
        stamp = _time.mktime((naive.year, naive.month, naive.day, naive.hour, naive.minute, naive.second, -1, -1,
                              -1 if not moment.fold else 0))
        return _time.localtime(stamp)


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
