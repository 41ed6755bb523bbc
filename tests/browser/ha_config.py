"""Writes the configuration of the Home Assistant the browser test drives: the
integrations it needs listed (no default_config), a fixed place and zone, and
a template sensor that holds today's and tomorrow's prices as a list attribute
of {start, price}, as price integrations do. The day's prices come from a
sample file and repeat on both days; the dates are the server's today, so the
sensor stays current whenever the test runs.
Usage: python ha_config.py CONFIG_DIR PRICES_JSON"""
from __future__ import annotations

import json
import sys
from pathlib import Path

PRICE_SENSOR = "sensor.test_prices"

CONFIGURATION = """\
homeassistant:
  name: Browser test
  time_zone: Europe/Berlin
  country: DE
  currency: EUR
  unit_system: metric
  latitude: 52.52
  longitude: 13.40
  elevation: 34
frontend:
config:
logger:
  default: warning
  logs:
    custom_components.tariffsieve: debug
template:
  - sensor:
      - name: Test prices
        unique_id: tariffsieve_browser_test_prices
        unit_of_measurement: EUR/kWh
        state: "{{{{ {first} }}}}"
        attributes:
          prices: >-
            {{% set day = {prices} %}}
            {{% set ns = namespace(records=[]) %}}
            {{% for offset in [0, 1] %}}{{% for price in day %}}
            {{% set start = today_at() + timedelta(days=offset, hours=loop.index0) %}}
            {{% set ns.records = ns.records + [{{'start': start.isoformat(), 'price': price}}] %}}
            {{% endfor %}}{{% endfor %}}
            {{{{ ns.records }}}}
"""


def configuration(prices: list[float]) -> str:
    return CONFIGURATION.format(prices=json.dumps(prices), first=prices[0])


if __name__ == "__main__":
    records = json.loads(Path(sys.argv[2]).read_text())
    Path(sys.argv[1], "configuration.yaml").write_text(configuration([record["price"] for record in records]))
