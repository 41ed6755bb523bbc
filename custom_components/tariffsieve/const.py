"""Names shared by the tariffsieve helper's modules: the domain and the option keys."""
DOMAIN = "tariffsieve"

CONF_SOURCE = "source"          # a price entity, or one of ACTION_SOURCES
CONF_PRICE_ENTITY = "price_entity"
CONF_SOURCE_ENTRY = "source_entry"
CONF_AREA = "area"              # Nord Pool's area or Tibber's home
CONF_TOTAL = "total"            # at least this long in total
CONF_BLOCK = "block"            # the shortest run
CONF_MAX_OFF = "max_off"        # the longest time off
CONF_START_WITHIN = "start_within"
CONF_CHEAP = "cheap"
CONF_STRATEGY = "strategy"
CONF_FROM = "window_from"
CONF_UNTIL = "window_until"

SOURCE_ENTITY = "entity"
ACTION_SOURCES = ("nordpool", "tibber", "energyzero", "easyenergy")
STRATEGIES = ("average", "cheap_periods")
