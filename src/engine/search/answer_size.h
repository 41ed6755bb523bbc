// The size of every main combination of the answer (claim 10).
#pragma once

#include "engine/search/series_rules.h"

namespace tariffsieve::search {

// The smallest size from min_selections up with a valid main combination.
int answer_size(const SeriesRules& series);

}  // namespace tariffsieve::search
