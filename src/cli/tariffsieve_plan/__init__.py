"""tariffsieve-plan: plan a load on a price series read from CSV or JSON, with
rules in hours and clock times. `python -m tariffsieve_plan --help` lists them."""
