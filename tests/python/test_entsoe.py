"""ENTSO-E price documents: positions filled or listed, UTC starts, each
refusal naming its place, and DTD tricks refused before anything expands."""
from datetime import datetime, timedelta, timezone

import pytest
from cli_command import run_in_process
from tariffsieve_prices import read_prices
from tariffsieve_prices.entsoe import read_entsoe
from tariffsieve_prices.errors import PriceDataError

NS = "urn:iec62325.351:tc57wg16:451-3:publicationdocument:7:3"


def points(*pairs):
    return "".join(f"\n<Point><position>{p}</position><price.amount>{a}</price.amount></Point>"
                   for p, a in pairs)


def period(start, end, resolution, *pairs):
    interval = (f"<start>{start}</start>" if start else "") + (f"<end>{end}</end>" if end else "")
    step = f"<resolution>{resolution}</resolution>" if resolution else ""
    return f"\n<Period><timeInterval>{interval}</timeInterval>{step}{points(*pairs)}\n</Period>"


def series(*periods, curve="<curveType>A03</curveType>", unit="EUR", area="", extra=""):
    head = f"<currency_Unit.name>{unit}</currency_Unit.name>" "<price_Measure_Unit.name>MWH</price_Measure_Unit.name>"
    domains = "".join(f'<{side}_Domain.mRID codingScheme="A01">{area}</{side}_Domain.mRID>' for side in ("in", "out"))
    head += (domains if area else "") + extra
    return f"\n<TimeSeries>{head}{curve}{''.join(periods)}\n</TimeSeries>"


def document(*body, ns=NS):
    root = f'<Publication_MarketDocument xmlns="{ns}">'
    return f'<?xml version="1.0" encoding="UTF-8"?>\n{root}{"".join(body)}\n</Publication_MarketDocument>'


def utc(text):
    return datetime.fromisoformat(text).replace(tzinfo=timezone.utc)


DAY = period("2026-03-01T23:00Z", "2026-03-02T23:00Z", "PT60M", *((p, p / 10) for p in range(1, 25)))
TWO_HOURS = ("2026-03-01T23:00Z", "2026-03-02T01:00Z")
# (document, records, first start, step, [(index, price, place)])
READS = [
    (document(series(DAY, curve="<curveType>A01</curveType>")), 24, "2026-03-01T23:00", 60,
     [(23, "2.4", "TimeSeries 1, Period 1, position 24")]),
    (document(series(period(*TWO_HOURS, "PT15M", (1, "5"), (2, "-1.5"), (5, "7")))), 8, "2026-03-01T23:00", 15,
     [(1, "-1.5", "TimeSeries 1, Period 1, position 2"),
      (3, "-1.5", "TimeSeries 1, Period 1, position 4 (repeats position 2)"),
      (7, "7", "TimeSeries 1, Period 1, position 8 (repeats position 5)")]),
    # No curveType: left-out positions still repeat the one before.
    (document(series(period(*TWO_HOURS, "PT30M", (1, "1"), (3, "3")), curve="")), 4, "2026-03-01T23:00", 30,
     [(1, "1", "TimeSeries 1, Period 1, position 2 (repeats position 1)"),
      (3, "3", "TimeSeries 1, Period 1, position 4 (repeats position 3)")]),
    # Across the CET clock change the local day is 25 hours: 100 quarter hours.
    (document(series(period("2026-10-24T22:00Z", "2026-10-25T23:00Z", "PT15M", (1, "9"))), ns="urn:x:7:0"), 100,
     "2026-10-24T22:00", 15, [(99, "9", "TimeSeries 1, Period 1, position 100 (repeats position 1)")]),
    (document(series(DAY), series(period("2026-03-02T23:00:00Z", "2026-03-03T23:00:00Z", "P1D", (1, "1e1")))),
     25, "2026-03-01T23:00", 60, [(24, "10", "TimeSeries 2, Period 1, position 1")]),
]


@pytest.mark.parametrize("text, count, first, minutes, expected", READS)
def test_reads(text, count, first, minutes, expected):
    records, field = read_entsoe(text)
    assert field == "price.amount (EUR/MWH)" and len(records) == count
    shown = min(count, 24)  # the first day's starts, one step apart in UTC
    assert [r.start for r in records[:shown]] == [utc(first) + timedelta(minutes=minutes * i) for i in range(shown)]
    assert records[-1].start.utcoffset() == timedelta(0) and records[0].source is None
    for index, price, place in expected:
        assert (records[index].price, records[index].place) == (price, place)


ONE = period(*TWO_HOURS, "PT60M", (1, "1"), (2, "2"))


def hourly(*pairs, curve="<curveType>A03</curveType>"):
    return document(series(period(*TWO_HOURS, "PT60M", *pairs), curve=curve))


LAUGHS = "".join(f'<!ENTITY l{i} "{f"&l{i - 1};" * 10}">' for i in range(1, 10))
ERRORS = [
    (document(series(ONE)).replace("</Period>", "</Perod>"), "line 7: not well-formed XML"),
    ('<Acknowledgement_MarketDocument xmlns="urn:x"><Reason><code>999</code><text>No matching data found</text>'
     "</Reason></Acknowledgement_MarketDocument>", "line 1: an Acknowledgement_MarketDocument, no prices: No matching data"),
    ("<GL_MarketDocument/>", "line 1: root element GL_MarketDocument"),
    (document(series(period(None, TWO_HOURS[1], "PT60M", (1, "1")))), "TimeSeries 1, Period 1: timeInterval start missing"),
    (document(series(period("2026-03-01 23:00", None, "PT60M", (1, "1")))), "Period 1: timeInterval start '2026-03-01"),
    (document(series(period(*TWO_HOURS, None, (1, "1")))), "TimeSeries 1, Period 1: Period has no resolution"),
    (document(series(period(*TWO_HOURS, "P1M", (1, "1")))), "Period 1: resolution 'P1M' is not a duration"),
    (document(series(period(*TWO_HOURS, "PT7M", (1, "1")))), "Period 1: timeInterval is not a whole number of PT7M steps"),
    (document(series(ONE, period(*TWO_HOURS, "PT60M", (0, "1")))), "TimeSeries 1, Period 2, position 0 (line 9): positions"),
    (hourly((1, "1"), (3, "1")), "Period 1, position 3 (line 6): beyond the period's end"),
    (hourly((1, "1"), (1, "2")), "Period 1, position 1: repeated (lines 5 and 6)"),
    (hourly((1, "")), "Period 1, position 1: the price.amount '' is not"),
    (hourly((1, "4,5")), "Period 1, position 1: the price.amount '4,5' is not"),
    (document(series(ONE).replace("<price.amount>2</price.amount>", "")), "position 2 (line 6): price.amount missing"),
    (hourly((2, "1")), "TimeSeries 1, Period 1, position 1: missing"),
    (hourly((1, "1"), curve="<curveType>A01</curveType>"), "TimeSeries 1, Period 1, position 2: missing"),
    (document(series(ONE), series(ONE, unit="PLN")), "TimeSeries 2: prices in PLN/MWH, but TimeSeries 1 in EUR/MWH"),
    (document(series(period(*TWO_HOURS, "PT60M"))), "line 2: the Publication_MarketDocument holds no Point"),
    (f'<?xml version="1.0"?>\n<!DOCTYPE d [<!ENTITY l0 "ha">{LAUGHS}]>\n<Publication_MarketDocument>&l9;'
     "</Publication_MarketDocument>", "line 2: a DOCTYPE"),
    ('<!DOCTYPE d SYSTEM "http://192.0.2.1/d.dtd"><Publication_MarketDocument/>', "line 1: a DOCTYPE"),
    ("<Publication_MarketDocument>&ext;</Publication_MarketDocument>", "line 1: not well-formed XML (undefined entity"),
    # A century of minutes from one Point: refused, not filled in.
    (document(series(period("2000-01-01T00:00Z", "2100-01-01T00:00Z", "PT1M", (1, "1")))),
     "Period 1: 52596000 positions, more than the 100000 read in one Period"),
]


@pytest.mark.parametrize("text, message", ERRORS)
def test_errors_name_the_place(text, message):
    with pytest.raises(PriceDataError) as caught:
        read_entsoe(text)
    assert message in str(caught.value) and "--" not in str(caught.value)


NL, BE = "10YNL----------L", "10YBE----------2"
NEXT_DAY = period("2026-03-02T23:00Z", "2026-03-03T23:00Z", "PT60M", (1, "9"))
QUARTERS = period("2026-03-02T22:00Z", "2026-03-03T23:00Z", "PT15M", (1, "7"))
RANK = "<{0}>2</{0}>".format("classificationSequence_AttributeInstanceComponent.position")
# Two days of the Netherlands (one TimeSeries a day) and one of Belgium.
AREAS = document(series(DAY, area=NL), series(NEXT_DAY, area=NL), series(DAY, area=BE))
TWO_AREAS = f"prices for 2 areas: {NL} (TimeSeries 1, 2) and {BE} (TimeSeries 3); pick one by its code"
# One area's hourly day, then quarter hours from its last hour: they overlap.
OVERLAP = document(series(DAY, area=NL), series(QUARTERS, area=NL, extra=RANK))
# Two days in hours, and inside them an hour of quarter hours that ends before
# a quarter-hour day begins: the last overlaps only the first, all are named.
SPANNING = document(series(period("2026-03-01T23:00Z", "2026-03-03T23:00Z", "PT60M", (1, "1"))),
                    series(period("2026-03-02T00:00Z", "2026-03-02T01:00Z", "PT15M", (1, "2"))), series(QUARTERS))
# (document, picks, (records, first place) or (message, choices))
PICKS = [
    (document(series(DAY, area=NL), series(NEXT_DAY, area=NL)), (), (48, "TimeSeries 1, Period 1, position 1")),
    (AREAS, (), (TWO_AREAS, (NL, BE))),
    (AREAS, (NL.lower(),), (48, "TimeSeries 1, Period 1, position 1")),
    (AREAS, (" TimeSeries 2 ", "1"), (48, "TimeSeries 1, Period 1, position 1")),
    (AREAS, (NL, "4"), (f"'4' is no area code or TimeSeries number of the document, which holds {NL} (TimeSeries 1, 2)"
                        f" and {BE} (TimeSeries 3)", (NL, BE))),
    (OVERLAP, (NL,), (f"2 TimeSeries give prices for the same time in {NL} (from 2026-03-02T22:00Z): 1 (PT60M) and 2 "
                      f"(PT15M, classification position 2); pick the ones to read by number", ("1", "2"))),
    (OVERLAP, ("TimeSeries 2",), (100, "TimeSeries 2, Period 1, position 1")),
    (SPANNING, (), ("3 TimeSeries give prices for the same time (from 2026-03-02T00:00Z): 1 (PT60M), 2 (PT15M) and 3 "
                    "(PT15M); pick", ("1", "2", "3"))),
]


@pytest.mark.parametrize("text, picks, expected", PICKS)
def test_timeseries_are_joined_only_where_one_reading_is_possible(text, picks, expected):
    if isinstance(expected[0], str):
        with pytest.raises(PriceDataError) as caught:
            read_entsoe(text, picks)
        assert str(caught.value).startswith(expected[0]) and caught.value.choice == "records"
        assert caught.value.candidates == expected[1]
        return
    records, _ = read_entsoe(text, picks)
    starts = [record.start for record in records]
    assert (len(records), records[0].place) == expected and starts == sorted(set(starts))


@pytest.mark.parametrize("args, status, said", [
    ([], 2, f"error: standard input: {TWO_AREAS} (--records {NL} or {BE})\n"),
    (["--records", f"{BE},1"], 2, "(from 2026-03-01T23:00Z): 1 (PT60M) and 3 (PT60M); pick the ones to read by number "
                                  "(--records 1 or 3)\n"),
    (["--records", BE], 0, ""),
])
def test_the_command_names_its_option(args, status, said):
    proc = run_in_process(["-", "--run", "1h", *args], AREAS.encode())
    assert proc.returncode == status and proc.stderr.decode().endswith(said) and proc.stderr.count(b"\n") <= 1


ACK = ('<?xml version="1.0" encoding="{}"?>\n<Acknowledgement_MarketDocument xmlns="urn:x"><Reason><text>Keine '
       "Daten f\u00fcr Z\u00fcrich</text></Reason></Acknowledgement_MarketDocument>")


@pytest.mark.parametrize("declared, codec, name", [
    ("ISO-8859-1", "latin-1", ""), ("windows-1252", "cp1252", "a.xml"), ("UTF-16", "utf-16", ""),
    ("UTF-8", "utf-8-sig", ""),
])
def test_bytes_are_read_in_the_encoding_they_declare(declared, codec, name):
    with pytest.raises(PriceDataError) as caught:
        read_prices(ACK.format(declared).encode(codec), name=name)
    assert str(caught.value) == f"{name}{', ' if name else ''}line 2: an Acknowledgement_MarketDocument, no prices: " \
                                "Keine Daten f\u00fcr Z\u00fcrich"


def test_latin1_prices_and_undeclared_bytes():
    text = document(series(ONE, extra="<name>\u00c9lectricit\u00e9</name>"))
    latin1 = text.replace("UTF-8", "ISO-8859-1")
    assert read_prices(latin1.encode("latin-1")).prices == read_prices(latin1).prices == ["1", "2"]
    with pytest.raises(PriceDataError, match=r"^line 3: byte 0xc9 is not in the encoding the XML declaration names"):
        read_prices(text.replace(' encoding="UTF-8"', "").encode("latin-1"))
