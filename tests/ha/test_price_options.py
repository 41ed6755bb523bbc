"""The price paid and hourly billing reach the plans: each option moves the plan or its average, in the helper
(its attributes saying the prices are paid or billed by the hour) and in the plan action. The fee table's
edges (a band across midnight, a clock-change day) are the planning library's and tested there."""
import pytest

from .conftest import SAMPLE, setup_helper

PLANNED = "binary_sensor.water_heater_planned"
# A fee that makes the noon hours dear: the run moves to the night.
NOON_FEE = "10:00 16:00 0.05\n16:00 10:00 0   # across midnight\n"
NIGHT = (["02:00–05:00"], "0.0730333333333333333333333333")


def quarters() -> list:
    """Quarter hours at 0.1, cheaper from 12:30 to 13:30: the cheapest hour's worth straddles two clock hours."""
    cheap = {"12:30": 0.01, "12:45": 0.01, "13:00": 0.01, "13:15": 0.02}
    return [{"start": f"2026-04-10T{hour:02d}:{minute:02d}:00+02:00",
             "price": cheap.get(f"{hour:02d}:{minute:02d}", 0.1)} for hour in range(24) for minute in (0, 15, 30, 45)]


@pytest.mark.parametrize(("prices", "options", "runs", "average", "basis"), [
    (SAMPLE, {"multiplier": 2.0}, ["12:00–15:00"], "0.0872", {"prices": "paid", "price_model": "spot × 2"}),
    (SAMPLE, {"add_on": 0.01}, ["12:00–15:00"], "0.0536", {"prices": "paid", "price_model": "spot + 0.01"}),
    (SAMPLE, {"vat": 25.0}, ["12:00–15:00"], "0.0545",
     {"prices": "paid", "price_model": "spot × (1 + 0.25)"}),
    (SAMPLE, {"fees": NOON_FEE}, *NIGHT, {"prices": "paid", "price_model": "spot + fees of fee table"}),
    (SAMPLE, {"fees_file": "fees/grid.txt"}, *NIGHT, {"prices": "paid", "price_model": "spot + fees of grid.txt"}),
    # The same hour's worth of quarter hours: from 12:30 unbilled, the clock hour 12:00 billed by the hour.
    (quarters(), {"total": "1h", "block": "1h"}, ["12:30–13:30"], "0.0125", {}),
    (quarters(), {"total": "1h", "block": "1h", "hourly": True}, ["12:00–13:00"], "0.055", {"billing": "hourly"}),
])
async def test_price_options_reach_the_plan(hass, freezer, tmp_path, prices, options, runs, average, basis):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    (tmp_path / "fees").mkdir()
    (tmp_path / "fees" / "grid.txt").write_text(NOON_FEE)
    hass.config.config_dir = str(tmp_path)
    hass.config.allowlist_external_dirs = {str(tmp_path / "fees")}
    hass.states.async_set("sensor.prices", "0.08", {"prices": prices})
    await setup_helper(hass, **options)
    attributes = dict(hass.states.get(PLANNED).attributes)
    assert (attributes["runs"], attributes["average_exact"]) == (runs, average)
    assert {key: attributes.get(key) for key in ("prices", "price_model", "billing") if key in attributes} == basis
    # The chart draws the prices the plan compared: those paid, or the hours' averages.
    planned = [period["price"] for period in attributes["chart"] if period["planned"]]
    assert round(sum(planned) / len(planned), 9) == round(float(average), 9)
    # The plan action takes the same options.
    answer = await hass.services.async_call("tariffsieve", "plan", {"prices": "sensor.prices", "total": "3h",
                                                                    "block": "1h", **options},
                                            blocking=True, return_response=True)
    assert (answer["average"], {key: answer[key] for key in basis}) == (average, basis)


async def test_hourly_billing_leaves_out_the_hour_under_way_listed_in_part(hass, freezer):
    # 00:20: the source lists prices from the quarter hour running now.
    freezer.move_to("2026-04-10T00:20:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": quarters()[1:]})
    await setup_helper(hass, total="1h", block="1h", hourly=True)
    assert hass.states.get(PLANNED).attributes["runs"] == ["12:00–13:00"]


@pytest.mark.parametrize(("prices", "given", "error", "shown"), [
    (SAMPLE, {"fees": "06:00 22:00 0.05"}, "fees_gap", {"field": "Fee table", "when": "mon 00:00-06:00"}),
    (SAMPLE, {"fees": "00:00 25:00 0.05"}, "fees_syntax",
     {"field": "Fee table", "detail": "line 1: 25:00 is not a clock time (00:00 to 24:00)"}),
    (SAMPLE, {"fees": "00:00 06:30 0\n06:30 24:00 0.05"}, "fees_inside_period",
     {"field": "Fee table", "at": "06:30", "lines": "1, 2"}),
    (SAMPLE, {"fees": NOON_FEE, "fees_file": "grid.txt"}, "fees_both", {"field": "Fee table"}),
    (SAMPLE, {"fees_file": "/etc/passwd"}, "fees_file_not_allowed", {"field": "Fee table file",
                                                                     "path": "/etc/passwd"}),
    # A fraction would be a quarter of a percent: refused naming both readings.
    (SAMPLE, {"vat": 0.25}, "vat_unclear", {"field": "VAT", "percent": "25"}),
    # An hour at the end with a quarter missing (one at the start is the hour under way, left out).
    (quarters()[:-1], {"hourly": True}, "billing_part_hour", {"field": "Billed by the hour",
                                                             "hour": "Fri 2026-04-10 23:00 (+0200)", "found": "3"}),
])
async def test_price_options_refused_in_the_form(hass, freezer, prices, given, error, shown):
    from .test_flows import FORM, settings_form
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": prices})
    result = await settings_form(hass)
    result = await hass.config_entries.flow.async_configure(result["flow_id"],
                                                            {"price_entity": "sensor.prices", **FORM, **given})
    assert (result["errors"], {key: result["description_placeholders"].get(key) for key in shown}) == (
        {"base": error}, shown)


async def test_preview_says_the_prices_are_paid(hass, freezer, hass_ws_client):
    from .test_flows import FORM, preview, settings_form
    client = await hass_ws_client(hass)
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE})
    hass.states.async_set("input_number.hours", "180", {"unit_of_measurement": "min"})
    flow = await settings_form(hass)
    form = {key: value for key, value in FORM.items() if key != "total"}
    event = await preview(hass, client, flow["flow_id"], "config_flow", {
        "price_entity": "sensor.prices", **form, "total_entity": "input_number.hours", "fees": NOON_FEE})
    assert (event["state"], event["attributes"]["prices"], event["attributes"]["average"]) == (
        "02:00–05:00", "paid", 0.07303)


@pytest.mark.parametrize(("options", "unit"), [({}, "EUR/kWh"), ({"multiplier": 0.001}, None)])
async def test_cheap_price_box_shows_the_unit_only_without_a_multiplier(hass, freezer, options, unit):
    freezer.move_to("2026-04-10T00:00:00+02:00")
    hass.states.async_set("sensor.prices", "0.08", {"prices": SAMPLE, "unit_of_measurement": "EUR/kWh"})
    entry = await setup_helper(hass, **options)
    form = await hass.config_entries.options.async_init(entry.entry_id)
    boxes = {str(key): value.config.get("unit_of_measurement") for key, value in form["data_schema"].schema.items()
             if str(key) in ("cheap", "add_on")}
    assert boxes == {"cheap": unit, "add_on": unit}
