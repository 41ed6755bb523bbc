"""Price data as twelve sources send it (made-up prices in each provider's
documented shape, in tests/python/price_sources/; each expected series was
written from the generator's own instants and prices, not read back from
the payload): the command reads each, with at most the options its shape
needs, as that series, and plans on it what plan plans on that series;
without those options it names the choice to make."""
import csv
import io
import json
from datetime import datetime, timedelta, timezone
from pathlib import Path

import pytest

import tariffsieve
from cli_command import run_in_process

FOLDER = Path(__file__).resolve().parent / "price_sources"
SOURCES = json.loads((FOLDER / "sources.json").read_text())


def expected_series(source):
    with open(FOLDER / source["expected"], newline="") as f:
        rows = list(csv.DictReader(f))
    return [datetime.fromisoformat(row["start"]) for row in rows], [row["price"] for row in rows]


def run(source, *args):
    proc = run_in_process([FOLDER / source["file"], *source["args"], *args])
    assert proc.returncode == 0, proc.stderr.decode()
    return proc.stdout.decode()


@pytest.mark.parametrize("source", SOURCES, ids=[source["name"] for source in SOURCES])
def test_each_source_plans_as_its_series(source):
    starts, prices = expected_series(source)
    assert len(prices) == source["periods"]
    table = list(csv.reader(io.StringIO(run(source, "--run", "1h", "--format", "csv"))))[1:]
    assert [datetime.fromisoformat(row[0]).astimezone(timezone.utc) for row in table] == starts
    assert [row[1] for row in table] == prices
    assert {b - a for a, b in zip(starts, starts[1:])} == {timedelta(minutes=source["resolution_minutes"])}

    per_hour = 60 // source["resolution_minutes"]
    cheap = sorted(prices, key=float)[len(prices) // 3]
    for aggressive in (True, False):
        answer = json.loads(run(source, "--run", "3h", "--block", "1h", "--max-off", "6h", "--cheap", cheap,
                                "--strategy", "average" if aggressive else "cheap-periods", "--format", "json"))
        assert answer["indices"] == tariffsieve.plan(prices, cheap, 3 * per_hour, per_hour, 6 * per_hour,
                                                     6 * per_hour, aggressive)


# Without its options a source's shape is ambiguous: the message names the candidates and the option.
AMBIGUOUS = {
    "energidataservice": "the records in records hold several prices: DayAheadPriceDKK, DayAheadPriceEUR; pick one "
                         "(--price-column DayAheadPriceDKK or DayAheadPriceEUR)",
    "nordpool_portal": "the records in multiAreaEntries hold several prices: entryPerArea.SE3, entryPerArea.SE4; "
                       "pick one (--price-column entryPerArea.SE3 or entryPerArea.SE4)",
    "ha_nordpool_action": "SE3 and SE4 hold different prices for the same periods (both start at "
                          "2026-04-10T22:00:00+00:00): pick one of the lists (--records SE3 or SE4)",
    "elering": "data.ee and data.fi hold different prices for the same periods (both start at "
               "2026-04-10T21:00:00+00:00): pick one of the lists (--records data.ee or data.fi or data.lv or "
               "data.lt)",
    "frank": "the records in data.marketPricesElectricity hold several prices: marketPrice, marketPriceTax, "
             "sourcingMarkupPrice, energyTaxPrice; pick one (--price-column marketPrice or marketPriceTax or "
             "sourcingMarkupPrice or energyTaxPrice)",
}


@pytest.mark.parametrize("name, message", AMBIGUOUS.items(), ids=list(AMBIGUOUS))
def test_an_ambiguous_shape_names_its_choice(name, message):
    source = next(source for source in SOURCES if source["name"] == name)
    proc = run_in_process([FOLDER / source["file"], "--run", "1h"])
    assert (proc.returncode, proc.stderr.decode()) == (2, f"tariffsieve-plan: error: {source['file']}: {message}\n")
