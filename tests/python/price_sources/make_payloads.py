"""Writes the price-source payloads (each in its provider's shape, made-up prices)
and, from the same generated (instant, price) lists, their expected series.
Run without arguments to rewrite the files beside it, or give another folder."""
import json
import random
import sys
from datetime import date, datetime, timedelta, timezone
from decimal import Decimal
from pathlib import Path
from typing import Callable

HERE = Path(__file__).resolve().parent
UTC = timezone.utc
Series = list[tuple[datetime, str]]

# European summer time 2026, the same instants in every EU zone and the UK;
# written out here so that the expected series owe nothing to the system's tz data.
SUMMER_FROM = datetime(2026, 3, 29, 1, tzinfo=UTC)
SUMMER_UNTIL = datetime(2026, 10, 25, 1, tzinfo=UTC)
STANDARD_HOURS = {"Europe/London": 0, "Europe/Vienna": 1, "Europe/Copenhagen": 1, "Europe/Berlin": 1,
                  "Europe/Stockholm": 1, "Europe/Oslo": 1, "Europe/Amsterdam": 1, "Europe/Tallinn": 2}


def offset(zone: str, instant: datetime) -> timedelta:
    summer = SUMMER_FROM <= instant < SUMMER_UNTIL
    return timedelta(hours=STANDARD_HOURS[zone] + summer)


def local(zone: str, instant: datetime) -> datetime:
    shift = offset(zone, instant)
    return (instant + shift).replace(tzinfo=timezone(shift))


def local_midnight(zone: str, day: date) -> datetime:
    """The instant a local day begins (midnight is never inside a gap here)."""
    naive = datetime(day.year, day.month, day.day, tzinfo=UTC)
    summer_guess = naive - timedelta(hours=STANDARD_HOURS[zone] + 1)
    if offset(zone, summer_guess) == timedelta(hours=STANDARD_HOURS[zone] + 1):
        return summer_guess
    return naive - timedelta(hours=STANDARD_HOURS[zone])


def periods(zone: str, first: date, days: int, minutes: int) -> list[datetime]:
    start, end = local_midnight(zone, first), local_midnight(zone, first + timedelta(days=days))
    step = timedelta(minutes=minutes)
    count = (end - start) // step
    return [start + i * step for i in range(count)]


def text(value: Decimal) -> str:
    """Plain decimal text, no exponent, no trailing zeros."""
    return "0" if value == 0 else format(value.normalize(), "f")


def prices(rng: random.Random, zone: str, starts: list[datetime], base: str, swing: str,
           places: int, negative_midday: bool = False) -> list[Decimal]:
    """A made-up day-ahead curve: night low, morning and evening peaks, noise."""
    out = []
    quantum = Decimal(1).scaleb(-places)
    for start in starts:
        hour = local(zone, start).hour + local(zone, start).minute / 60
        shape = {True: 0.3, False: 0.0}[0 <= hour < 5] + (0.9 if 6 <= hour < 9 else 0) \
            + (1.0 if 17 <= hour < 21 else 0) - (0.8 if 11 <= hour < 15 else 0)
        noise = rng.uniform(-0.25, 0.25)
        value = Decimal(base) + Decimal(swing) * Decimal(repr(round(shape + noise, 4)))
        if negative_midday and 12 <= hour < 14:
            value = -abs(value) / 4
        out.append(value.quantize(quantum))
    return out


class Raw:
    """A JSON number written exactly as this text."""

    def __init__(self, value: Decimal | int) -> None:
        self.text = text(value) if isinstance(value, Decimal) else str(value)


def dump(value: object, indent: int = 0) -> str:
    """JSON with one record (an object of plain values) per line."""
    pad, inner = "  " * indent, "  " * (indent + 1)
    if isinstance(value, Raw):
        return value.text
    if isinstance(value, dict):
        if all(not isinstance(item, (dict, list)) for item in value.values()):
            return "{" + ", ".join(f"{json.dumps(k)}: {dump(v)}" for k, v in value.items()) + "}"
        body = ",\n".join(f"{inner}{json.dumps(k)}: {dump(v, indent + 1)}" for k, v in value.items())
        return "{\n" + body + "\n" + pad + "}"
    if isinstance(value, list):
        if all(not isinstance(item, (dict, list)) for item in value):
            return "[" + ", ".join(dump(item) for item in value) + "]"
        return "[\n" + ",\n".join(inner + dump(item, indent + 1) for item in value) + "\n" + pad + "]"
    return json.dumps(value)


def utc_z(instant: datetime, millis: bool = False) -> str:
    return instant.astimezone(UTC).strftime("%Y-%m-%dT%H:%M:%S" + (".000" if millis else "") + "Z")


def epoch(instant: datetime) -> int:
    return int(instant.timestamp())


# ---- the twelve sources: each returns (payload text, the series it carries)


def awattar(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Vienna"
    starts = periods(zone, date(2026, 10, 25), 1, 60)
    values = prices(rng, zone, starts, "78", "35", 2)
    data = [{"start_timestamp": epoch(s) * 1000, "end_timestamp": epoch(s + timedelta(hours=1)) * 1000,
             "marketprice": Raw(v), "unit": "Eur/MWh"} for s, v in zip(starts, values)]
    payload = {"object": "list", "data": data, "url": "/at/v1/marketdata"}
    return dump(payload), [(s, text(v)) for s, v in zip(starts, values)]


def energidataservice(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Copenhagen"
    starts = periods(zone, date(2026, 3, 29), 1, 15)
    eur = prices(rng, zone, starts, "64", "30", 2, negative_midday=True)
    dkk = [(v * Decimal("7.4603")).quantize(Decimal("0.000001")) for v in eur]
    records = [{"TimeUTC": s.strftime("%Y-%m-%dT%H:%M:%S"),
                "TimeDK": local(zone, s).strftime("%Y-%m-%dT%H:%M:%S"),
                "PriceArea": "DK1", "DayAheadPriceDKK": Raw(d), "DayAheadPriceEUR": Raw(e)}
               for s, d, e in zip(starts, dkk, eur)]
    records.reverse()  # the dataset's default order: newest first
    payload = {"total": len(records), "filters": "{\"PriceArea\":[\"DK1\"]}", "limit": 100,
               "dataset": "DayAheadPrices", "records": records}
    return dump(payload), [(s, text(v)) for s, v in zip(starts, eur)]


def octopus(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/London"
    starts = periods(zone, date(2026, 3, 29), 1, 30)
    exc = prices(rng, zone, starts, "17", "8", 2, negative_midday=True)
    inc = [(v * Decimal("1.05")) for v in exc]  # 5% VAT on domestic energy
    results = [{"value_exc_vat": Raw(e), "value_inc_vat": Raw(i), "valid_from": utc_z(s),
                "valid_to": utc_z(s + timedelta(minutes=30)), "payment_method": None}
               for s, e, i in zip(starts, exc, inc)]
    results.reverse()  # unit rates come newest first
    payload = {"count": len(results), "next": None, "previous": None, "results": results}
    return dump(payload), [(s, text(v)) for s, v in zip(starts, inc)]


def entsoe(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Berlin"
    starts = periods(zone, date(2026, 10, 25), 1, 15)
    values = prices(rng, zone, starts, "85", "40", 2)
    # Runs of equal prices, the last one reaching the end of the period: curve
    # type A03 sends only the first Point of each run.
    for first, last in ((5, 8), (30, 31), (57, 60), (93, 100)):
        for position in range(first + 1, last + 1):
            values[position - 1] = values[first - 1]
    points = []
    for position, value in enumerate(values, start=1):
        if position > 1 and value == values[position - 2]:
            continue
        points.append(f"\t\t\t<Point>\n\t\t\t\t<position>{position}</position>\n"
                      f"\t\t\t\t<price.amount>{text(value)}</price.amount>\n\t\t\t</Point>")
    begin, end = utc_z(starts[0])[:-4] + "Z", utc_z(starts[-1] + timedelta(minutes=15))[:-4] + "Z"
    mrid = "".join(rng.choice("0123456789abcdef") for _ in range(32))
    area = "10Y1001A1001A82H"
    xml = f"""<?xml version="1.0" encoding="utf-8"?>
<Publication_MarketDocument xmlns="urn:iec62325.351:tc57wg16:451-3:publicationdocument:7:3">
\t<mRID>{mrid}</mRID>
\t<revisionNumber>1</revisionNumber>
\t<type>A44</type>
\t<sender_MarketParticipant.mRID codingScheme="A01">10X1001A1001A450</sender_MarketParticipant.mRID>
\t<sender_MarketParticipant.marketRole.type>A32</sender_MarketParticipant.marketRole.type>
\t<receiver_MarketParticipant.mRID codingScheme="A01">10X1001A1001A450</receiver_MarketParticipant.mRID>
\t<receiver_MarketParticipant.marketRole.type>A33</receiver_MarketParticipant.marketRole.type>
\t<createdDateTime>2026-10-24T12:47:09Z</createdDateTime>
\t<period.timeInterval>
\t\t<start>{begin}</start>
\t\t<end>{end}</end>
\t</period.timeInterval>
\t<TimeSeries>
\t\t<mRID>1</mRID>
\t\t<auction.type>A01</auction.type>
\t\t<businessType>A62</businessType>
\t\t<in_Domain.mRID codingScheme="A01">{area}</in_Domain.mRID>
\t\t<out_Domain.mRID codingScheme="A01">{area}</out_Domain.mRID>
\t\t<contract_MarketAgreement.type>A01</contract_MarketAgreement.type>
\t\t<currency_Unit.name>EUR</currency_Unit.name>
\t\t<price_Measure_Unit.name>MWH</price_Measure_Unit.name>
\t\t<curveType>A03</curveType>
\t\t<Period>
\t\t\t<timeInterval>
\t\t\t\t<start>{begin}</start>
\t\t\t\t<end>{end}</end>
\t\t\t</timeInterval>
\t\t\t<resolution>PT15M</resolution>
""" + "\n".join(points) + """
\t\t</Period>
\t</TimeSeries>
</Publication_MarketDocument>"""
    return xml, [(s, text(v)) for s, v in zip(starts, values)]


def _nordpool_day(rng: random.Random) -> tuple[list[datetime], dict[str, list[Decimal]]]:
    zone = "Europe/Stockholm"
    starts = periods(zone, date(2026, 4, 11), 1, 15)
    se3 = prices(rng, zone, starts, "42", "30", 2, negative_midday=True)
    se4 = [v + Decimal(rng.randint(0, 900)) / 100 for v in se3]
    return starts, {"SE3": se3, "SE4": se4}


def _average(values: list[Decimal]) -> Decimal:
    return (sum(values) / len(values)).quantize(Decimal("0.01"))


def nordpool_portal(rng: random.Random) -> tuple[str, Series]:
    starts, areas = _nordpool_day(rng)
    entries = [{"deliveryStart": utc_z(s), "deliveryEnd": utc_z(s + timedelta(minutes=15)),
                "entryPerArea": {a: Raw(areas[a][i]) for a in areas}} for i, s in enumerate(starts)]
    blocks = []
    for name, first, last in (("Off-peak 1", 0, 32), ("Peak", 32, 80), ("Off-peak 2", 80, 96)):
        blocks.append({"blockName": name, "deliveryStart": utc_z(starts[first]),
                       "deliveryEnd": utc_z(starts[last - 1] + timedelta(minutes=15)),
                       "averagePricePerArea": {a: {"average": Raw(_average(v[first:last])),
                                                   "min": Raw(min(v[first:last])),
                                                   "max": Raw(max(v[first:last]))}
                                               for a, v in areas.items()}})
    payload = {"deliveryDateCET": "2026-04-11", "version": 3, "updatedAt": "2026-04-10T11:02:17.4387315Z",
               "deliveryAreas": list(areas), "market": "DayAhead", "multiAreaEntries": entries,
               "blockPriceAggregates": blocks, "currency": "EUR", "exchangeRate": 1,
               "areaStates": [{"state": "Final", "areas": list(areas)}],
               "areaAverages": [{"areaCode": a, "price": Raw(_average(v))} for a, v in areas.items()]}
    return dump(payload), [(s, text(v)) for s, v in zip(starts, areas["SE3"])]


def ha_nordpool_action(rng: random.Random) -> tuple[str, Series]:
    starts, areas = _nordpool_day(rng)
    payload = {a: [{"start": s.isoformat(), "end": (s + timedelta(minutes=15)).isoformat(), "price": Raw(v)}
                   for s, v in zip(starts, values)] for a, values in areas.items()}
    return dump(payload), [(s, text(v)) for s, v in zip(starts, areas["SE3"])]


def _level(value: Decimal, mean: Decimal) -> str:
    ratio = value / mean
    for bound, name in ((Decimal("0.6"), "VERY_CHEAP"), (Decimal("0.9"), "CHEAP"), (Decimal("1.15"), "NORMAL"),
                        (Decimal("1.4"), "EXPENSIVE")):
        if ratio <= bound:
            return name
    return "VERY_EXPENSIVE"


def tibber(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Oslo"
    days = []
    series: Series = []
    for day in (date(2026, 10, 25), date(2026, 10, 26)):
        starts = periods(zone, day, 1, 60)
        energy = prices(rng, zone, starts, "0.62", "0.3", 4)
        tax = [(e * Decimal("0.25") + Decimal("0.0713")).quantize(Decimal("0.0001")) for e in energy]
        total = [e + t for e, t in zip(energy, tax)]
        mean = sum(total) / len(total)
        days.append([{"total": Raw(t), "energy": Raw(e), "tax": Raw(x),
                      "startsAt": local(zone, s).isoformat(timespec="milliseconds"),
                      "currency": "NOK", "level": _level(t, mean)}
                     for s, t, e, x in zip(starts, total, energy, tax)])
        series += [(s, text(t)) for s, t in zip(starts, total)]
    current = dict(days[0][10])  # the hour the query ran in: a repeat of a today record
    info = {"current": current, "today": days[0], "tomorrow": days[1]}
    payload = {"data": {"viewer": {"homes": [{"currentSubscription": {"priceInfo": info}}]}}}
    return dump(payload), series + [series[10]]


def energyzero(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Amsterdam"
    starts = periods(zone, date(2026, 3, 29), 1, 60)
    values = prices(rng, zone, starts, "0.24", "0.09", 2, negative_midday=True)
    payload = {"Prices": [{"price": Raw(v), "readingDate": utc_z(s)} for s, v in zip(starts, values)],
               "intervalType": 4, "average": Raw(_average(values)),
               "fromDate": utc_z(starts[0], millis=True),
               "tillDate": (starts[-1] + timedelta(minutes=59, seconds=59, milliseconds=999))
               .strftime("%Y-%m-%dT%H:%M:%S.999Z")}
    return dump(payload), [(s, text(v)) for s, v in zip(starts, values)]


def frank(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Amsterdam"
    starts = periods(zone, date(2026, 4, 11), 1, 60)
    market = prices(rng, zone, starts, "0.085", "0.04", 5, negative_midday=True)
    power = [{"from": utc_z(s, True), "till": utc_z(s + timedelta(hours=1), True), "marketPrice": Raw(m),
              "marketPriceTax": Raw((m * Decimal("0.21")).quantize(Decimal("0.00001"))),
              "sourcingMarkupPrice": Raw(Decimal("0.0182")), "energyTaxPrice": Raw(Decimal("0.11085")),
              "perUnit": "KWH"} for s, m in zip(starts, market)]
    # The gas day runs 06:00 to 06:00 local, hourly at one price: its hours
    # share most instants with the electricity list.
    gas_start = starts[0] + timedelta(hours=6)
    gas_price = Decimal("0.44117")
    gas = [{"from": utc_z(gas_start + timedelta(hours=i), True),
            "till": utc_z(gas_start + timedelta(hours=i + 1), True), "marketPrice": Raw(gas_price),
            "marketPriceTax": Raw((gas_price * Decimal("0.21")).quantize(Decimal("0.00001"))),
            "sourcingMarkupPrice": Raw(Decimal("0.08")), "energyTaxPrice": Raw(Decimal("0.70544")),
            "perUnit": "M3"} for i in range(24)]
    payload = {"data": {"marketPricesElectricity": power, "marketPricesGas": gas}}
    return dump(payload), [(s, text(v)) for s, v in zip(starts, market)]


def elering(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Tallinn"
    starts = periods(zone, date(2026, 4, 11), 1, 60)
    areas = {"ee": prices(rng, zone, starts, "70", "45", 4)}
    areas["fi"] = [v - Decimal(rng.randint(0, 3000)) / 1000 for v in areas["ee"]]
    areas["lv"] = [v + Decimal(rng.randint(0, 2000)) / 1000 for v in areas["ee"]]
    areas["lt"] = list(areas["lv"])
    payload = {"success": True, "data": {a: [{"timestamp": epoch(s), "price": Raw(v)} for s, v in zip(starts, vs)]
                                         for a, vs in areas.items()}}
    return dump(payload), [(s, text(v)) for s, v in zip(starts, areas["ee"])]


def ha_raw_today(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Stockholm"
    raw: dict[str, list[dict[str, object]]] = {}
    flat: dict[str, list[Raw]] = {}
    series: Series = []
    for key, day in (("today", date(2026, 4, 11)), ("tomorrow", date(2026, 4, 12))):
        starts = periods(zone, day, 1, 60)
        values = prices(rng, zone, starts, "0.62", "0.45", 3)
        raw[key] = [{"start": local(zone, s).isoformat(), "end": local(zone, s + timedelta(hours=1)).isoformat(),
                     "value": Raw(v)} for s, v in zip(starts, values)]
        flat[key] = [Raw(v) for v in values]
        series += [(s, text(v)) for s, v in zip(starts, values)]
    today = [Decimal(item.text) for item in flat["today"]]
    mean = sum(today) / len(today)
    attributes = {
        "average": Raw(mean.quantize(Decimal("0.001"))), "off_peak_1": Raw(_average(today[:8])),
        "off_peak_2": Raw(_average(today[20:])), "peak": Raw(_average(today[8:20])),
        "min": Raw(min(today)), "max": Raw(max(today)), "mean": Raw(mean.quantize(Decimal("0.001"))),
        "unit": "kWh", "currency": "SEK", "country": "Sweden", "region": "SE3", "low_price": False,
        "price_percent_to_average": Raw(Decimal("0.97")),
        "today": flat["today"], "tomorrow": flat["tomorrow"], "tomorrow_valid": True,
        "raw_today": raw["today"], "raw_tomorrow": raw["tomorrow"],
        "current_price": flat["today"][21], "additional_costs_current_hour": Raw(Decimal("0.1")),
        "price_in_cents": False, "unit_of_measurement": "SEK/kWh", "device_class": "monetary",
        "icon": "mdi:flash", "friendly_name": "nordpool_kwh_se3_sek_3_10_025"}
    payload = {"entity_id": "sensor.nordpool_kwh_se3_sek_3_10_025", "state": flat["today"][21].text,
               "attributes": attributes,
               "last_changed": "2026-04-11T19:00:00.004219+00:00",
               "last_reported": "2026-04-11T19:00:00.004219+00:00",
               "last_updated": "2026-04-11T19:00:00.004219+00:00",
               "context": {"id": "01JRJ2K8W4QX5T0G7M1N3P6R9S", "parent_id": None, "user_id": None}}
    return dump(payload), series


def ha_prices_sensor(rng: random.Random) -> tuple[str, Series]:
    zone = "Europe/Amsterdam"
    lists = {}
    series: Series = []
    for key, day in (("prices_today", date(2026, 4, 11)), ("prices_tomorrow", date(2026, 4, 12))):
        starts = periods(zone, day, 1, 60)
        values = prices(rng, zone, starts, "0.082", "0.045", 5, negative_midday=True)
        lists[key] = [{"time": str(local(zone, s)), "price": Raw(v)} for s, v in zip(starts, values)]
        series += [(s, text(v)) for s, v in zip(starts, values)]
    today = [Decimal(item["price"].text) for item in lists["prices_today"]]  # type: ignore[union-attr]
    state = text((sum(today) / len(today)).quantize(Decimal("0.00001")))
    attributes = {"prices_today": lists["prices_today"], "prices_tomorrow": lists["prices_tomorrow"],
                  "prices": lists["prices_today"] + lists["prices_tomorrow"],
                  "state_class": "measurement", "unit_of_measurement": "EUR/kWh", "device_class": "monetary",
                  "icon": "mdi:currency-eur", "friendly_name": "Average electricity price today"}
    payload = {"entity_id": "sensor.average_electricity_price_today", "state": state, "attributes": attributes,
               "last_changed": "2026-04-11T12:00:10.118804+00:00",
               "last_reported": "2026-04-11T12:00:10.118804+00:00",
               "last_updated": "2026-04-11T12:00:10.118804+00:00",
               "context": {"id": "01JRHD7Q2M8B4V6C0X9Z1Y3W5T", "parent_id": None, "user_id": None}}
    return dump(payload), series + series  # "prices" repeats both days


# name, file, generator, the command's extra options, minutes, zone
SOURCES: list[tuple[str, str, Callable[[random.Random], tuple[str, Series]], list[str], int, str]] = [
    ("awattar", "awattar.json", awattar, [], 60, "Europe/Vienna"),
    ("energidataservice", "energidataservice.json", energidataservice,
     ["--time-column", "TimeUTC", "--tz", "UTC", "--price-column", "DayAheadPriceEUR"], 15, "Europe/Copenhagen"),
    ("octopus", "octopus.json", octopus, ["--price-column", "value_inc_vat"], 30, "Europe/London"),
    ("entsoe", "entsoe.xml", entsoe, [], 15, "Europe/Berlin"),
    ("nordpool_portal", "nordpool_portal.json", nordpool_portal, ["--price-column", "entryPerArea.SE3"], 15,
     "Europe/Stockholm"),
    ("ha_nordpool_action", "ha_nordpool_action.json", ha_nordpool_action, ["--records", "SE3"], 15,
     "Europe/Stockholm"),
    ("tibber", "tibber.json", tibber, ["--price-column", "total"], 60, "Europe/Oslo"),
    ("energyzero", "energyzero.json", energyzero, [], 60, "Europe/Amsterdam"),
    ("frank", "frank.json", frank, ["--records", "data.marketPricesElectricity", "--price-column", "marketPrice"],
     60, "Europe/Amsterdam"),
    ("elering", "elering.json", elering, ["--records", "data.ee"], 60, "Europe/Tallinn"),
    ("ha_raw_today", "ha_raw_today.json", ha_raw_today, [], 60, "Europe/Stockholm"),
    ("ha_prices_sensor", "ha_prices_sensor.json", ha_prices_sensor, [], 60, "Europe/Amsterdam"),
]


def expected(series: Series, minutes: int) -> Series:
    """Time order, exact repeats removed; the generator's own list must be one
    gapless series, or this script is wrong."""
    rows = sorted(set(series))
    for (a, pa), (b, pb) in zip(rows, rows[1:]):
        if b - a != timedelta(minutes=minutes):
            sys.exit(f"generator fault: {a.isoformat()} {pa} then {b.isoformat()} {pb}")
    return rows


def main(out: Path) -> None:
    listing = []
    for name, file, make, args, minutes, zone in SOURCES:
        payload, series = make(random.Random(f"tariffsieve price source {name}"))
        rows = expected(series, minutes)
        (out / file).write_text(payload + "\n", encoding="utf-8", newline="\n")
        lines = ["start,price"] + [f"{s.astimezone(UTC).isoformat()},{p}" for s, p in rows]
        (out / f"{name}.expected.csv").write_text("\n".join(lines) + "\n", encoding="utf-8", newline="\n")
        listing.append({"name": name, "file": file, "args": args, "resolution_minutes": minutes,
                        "periods": len(rows), "zone": zone, "expected": f"{name}.expected.csv"})
    sources = "[\n" + ",\n".join("  " + json.dumps(item) for item in listing) + "\n]\n"
    (out / "sources.json").write_text(sources, encoding="utf-8", newline="\n")


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else HERE)
