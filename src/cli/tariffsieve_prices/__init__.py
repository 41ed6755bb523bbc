"""tariffsieve_prices: read a price series as price sources send it (CSV,
JSON in any nesting, ENTSO-E XML, or data already decoded) and return its
periods in time order. Standard library only."""
