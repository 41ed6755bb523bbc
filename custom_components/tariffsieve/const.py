"""Names shared by the tariffsieve helper's modules: the domain and the option keys."""
DOMAIN = "tariffsieve"

CONF_SOURCE = "source"          # a price entity, or one of ACTION_SOURCES
CONF_PRICE_ENTITY = "price_entity"
CONF_SOURCE_ENTRY = "source_entry"
CONF_AREA = "area"              # Nord Pool's area, Tibber's home, OMIE's country or Amber's channel
# How the prices are read where the reader cannot tell alone; named as the reader names the choice it asks for.
CONF_RECORDS = "records"        # the list(s) of records: dotted paths, comma-separated
CONF_TIME_FIELD = "time_field"
CONF_PRICE_FIELD = "price_field"
READING_CHOICES = (CONF_RECORDS, CONF_TIME_FIELD, CONF_PRICE_FIELD)
CONF_TOTAL = "total"            # at least this long in total
CONF_BLOCK = "block"            # the shortest run
CONF_MAX_OFF = "max_off"        # the longest time off
CONF_START_WITHIN = "start_within"
CONF_CHEAP = "cheap"
CONF_STRATEGY = "strategy"
CONF_FROM = "window_from"
CONF_UNTIL = "window_until"

DURATIONS = (CONF_TOTAL, CONF_BLOCK, CONF_MAX_OFF, CONF_START_WITHIN)

SOURCE_ENTITY = "entity"
# Core's integrations whose price actions the helper asks (sources.ACTIONS says how), in the form's order.
ACTION_SOURCES = ("nordpool", "tibber", "energyzero", "easyenergy", "amberelectric", "omie", "green_planet_energy")
STRATEGIES = ("average", "cheap_periods")

# A fallback when a window's prices are late (opt in per helper): past the deadline, a window whose prices are not
# complete is planned on one of FALLBACK_RULES; a plan on its prices replaces it once they are.
CONF_FALLBACK = "fallback"                      # one of FALLBACK_RULES; unset: the window waits for its prices
CONF_FALLBACK_DEADLINE = "fallback_deadline"    # a clock time, the last time it shows before the window opens
CONF_FALLBACK_TIMES = "fallback_times"          # the fixed rule's clock times: "01:00-03:00, 13:00-14:00"
FALLBACK_LAST = "last_times"                    # the clock times of the last window planned on its prices
FALLBACK_FIXED = "fixed_times"                  # the clock times in CONF_FALLBACK_TIMES
FALLBACK_FORECAST = "forecast"                  # a forecast price list, for the periods without prices
FALLBACK_RULES = (FALLBACK_LAST, FALLBACK_FIXED, FALLBACK_FORECAST)
# The forecast rule's list: read only when that rule is picked, as a list named explicitly (a dotted path), in
# CONF_FALLBACK_ENTITY's attributes or, without one, the price entity's.
CONF_FALLBACK_FORECAST = "fallback_forecast"
CONF_FALLBACK_ENTITY = "fallback_entity"
# The price paid and the billing (pricing.py), and the run time read from an entity (runtime.py).
CONF_MULTIPLIER = "multiplier"
CONF_ADD_ON = "add_on"
CONF_VAT = "vat"                # in percent: the form's box says %, so 25 cannot be read as 2500 %
CONF_FEES = "fees"              # a fee table as text, in the planning library's format
CONF_FEES_FILE = "fees_file"    # or the path of a file holding one
CONF_HOURLY = "hourly"          # plan whole clock hours, as a meter read by the hour bills them
CONF_TOTAL_ENTITY = "total_entity"
CONF_BLOCK_ENTITY = "block_entity"
PRICE_OPTIONS = (CONF_MULTIPLIER, CONF_ADD_ON, CONF_VAT, CONF_FEES, CONF_FEES_FILE)
# The rule each run-time entity stands in for.
RUN_TIME_ENTITIES = {CONF_TOTAL: CONF_TOTAL_ENTITY, CONF_BLOCK: CONF_BLOCK_ENTITY}
