"""tariffsieve-plan with the price paid (--multiplier, --add-on, --vat, --fees)
and hourly billing (--hourly): the plan is schedule()'s on the same model,
every answer says its prices are those paid or billed, and a model or table
that reads two ways ends with one line naming the option and the lines."""
import json
from pathlib import Path

import pytest

from cli_command import run_in_process
from tariffsieve_schedule import FeeTable, PriceModel, schedule

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
TWO_DAYS = EXAMPLES / "sample_two_days_15min.csv"
FEES = sorted((EXAMPLES / "fees").glob("*.txt"))
RULES = ["--from", "18:00", "--until", "07:00", "--run", "3h", "--block", "1h", "--tz", "Europe/Oslo"]


@pytest.mark.parametrize("fees", FEES, ids=[path.stem for path in FEES])
@pytest.mark.parametrize("hourly", [False, True])
def test_each_example_table_plans_as_schedule_does_and_says_so(fees, hourly):
    options = ["--multiplier", "1.1", "--add-on", "0.01", "--vat", "25%", "--fees", fees] + ["--hourly"] * hourly
    proc = run_in_process([TWO_DAYS, *RULES, *options, "--format", "json"])
    assert proc.returncode == 0, proc.stderr
    answer = json.loads(proc.stdout)
    model = PriceModel("1.1", "0.01", "0.25", FeeTable.load(fees))
    plan = schedule(TWO_DAYS.read_text(), total="3h", block="1h", start="18:00", end="07:00", tz="Europe/Oslo",
                    price_model=model, billing="hourly" if hourly else None)
    assert answer["indices"] == list(plan.indices) and answer["average"] == f"{plan.average:f}"
    assert answer["price_model"]["formula"] == f"(spot × 1.1 + 0.01) × (1 + 0.25) + fees of {fees.name}"
    assert answer.get("billing") == ("hourly" if hourly else None) and "prices paid" in answer["prices_shown"]
    text = run_in_process([TWO_DAYS, *RULES, *options, "--no-chart"]).stdout.decode().splitlines()
    assert text[1].startswith("prices paid: (spot × 1.1 + 0.01) × (1 + 0.25) + fees of")
    assert ("billed by the hour" in text[1]) == hourly


def test_hourly_runs_are_whole_clock_hours_and_periods_count_hours():
    proc = run_in_process([TWO_DAYS, *RULES[:-2], "--hourly", "--periods", "--run", "3", "--format", "json"])
    answer = json.loads(proc.stdout)
    assert answer["source"]["resolution_seconds"] == 3600 and answer["request"]["min_selections"] == 3
    assert all(run["start"].endswith(":00") and run["end"].endswith(":00") for run in answer["runs"])
    rows = run_in_process([TWO_DAYS, "--run", "2h", "--hourly", "--format", "csv"]).stdout.decode().splitlines()
    assert rows[0] == "timestamp,hourly_price,chosen" and len(rows) == 49


@pytest.mark.parametrize("options, table, message", [
    (["--vat", "25"], None, "--vat: VAT 25 reads two ways: write 25% for 25 percent"),
    (["--multiplier", "1,1"], None, "--multiplier: "),
    (["--fees"], "00:00 12:00 1\n11:00 24:00 2\n", "--fees: t.txt, lines 1 and 2 both give a fee for mon 11:00-12:00"),
    (["--fees"], "season w 11-01 03-31\nw 00:00 24:00 1\n", "--fees: t.txt, lines 1: no season holds 04-01"),
    (["--fees"], "mon-fri 22:00 06:00 1\n", "--fees: t.txt, line 1: 22:00 to 06:00 crosses midnight on some weekdays"),
    (["--fees"], "00:00 06:30 1\n06:30 24:00 2\n", None),
    (["--multiplier", "1.0000000000000000000000000001"], None, "--multiplier 1.0000000000000000000000000001: the "
                                                              "price paid at 2026-04-11T00:00:00 from the spot"),
])
def test_a_model_that_reads_two_ways_ends_with_one_line(tmp_path, options, table, message):
    if table is not None:
        (tmp_path / "t.txt").write_text(table)
        options = options + [tmp_path / "t.txt"]
    source = TWO_DAYS if message else EXAMPLES / "sample_day.csv"
    proc = run_in_process([source, "--run", "1h", *options])
    error = proc.stderr.decode()
    assert proc.returncode == 2 and error.count("\n") == 1
    assert (message or "is cut by a fee band boundary at 06:30 (lines 1 and 2 of t.txt)") in error


def test_utc_prices_need_the_zone_of_the_fee_table_and_hours_need_all_their_quarters(tmp_path):
    utc = tmp_path / "utc.csv"
    utc.write_text("start,price\n" + "".join(f"2026-04-11T{q // 4:02d}:{q % 4 * 15:02d}Z,0.1\n" for q in range(1, 12)))
    proc = run_in_process([utc, "--run", "1h", "--fees", FEES[0]])
    assert proc.returncode == 2 and "give --tz, the zone of the table's clock times" in proc.stderr.decode()
    proc = run_in_process([utc, "--run", "1h", "--hourly", "--tz", "Europe/Oslo"])
    assert proc.returncode == 2 and proc.stderr.decode().startswith(
        "tariffsieve-plan: error: --hourly: the hour Sat 2026-04-11 02:00 (+0200) has 3 of its 4 periods (from 02:15)")
