// The size of every main combination of the answer (claim 10).
#pragma once

#include "engine/search/integer_series.h"

namespace tariffsieve::search {

// The smallest size from min_selections up with a valid main combination.
int answer_size(const IntegerSeries& series);

}  // namespace tariffsieve::search
