// Helpers shared by the engine tests: prices from text, periods, requests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "decimal/decimal.h"
#include "engine/reference/priced_period.h"
#include "engine/request.h"
#include "engine/timing_rules.h"

namespace tariffsieve::test {

using reference::PricedPeriod;

// requests, times the factor in the environment variable when it is set:
// long runs without a rebuild.
inline std::uint64_t times_from_environment(const char* variable, std::uint64_t requests) {
    const char* factor = std::getenv(variable);
    return factor ? std::strtoull(factor, nullptr, 10) * requests : requests;
}

inline Decimal dec(std::string_view text) {
    const ParseResult parsed = from_str(text);
    if (!parsed.ok()) {
        throw std::invalid_argument("bad test price: " + std::string(text));
    }
    return parsed.value;
}

inline std::vector<Decimal> decimals(const std::vector<std::string>& texts) {
    std::vector<Decimal> values;
    for (const std::string& text : texts) {
        values.push_back(dec(text));
    }
    return values;
}

// Periods 0 .. n-1 priced by texts, as the entry builds them.
inline std::vector<PricedPeriod> series(const std::vector<std::string>& texts) {
    std::vector<PricedPeriod> periods;
    for (std::uint64_t i = 0; i < texts.size(); ++i) {
        periods.push_back({i, dec(texts[i])});
    }
    return periods;
}

// Periods at the given indices, all priced zero: for the index-only rules.
inline std::vector<PricedPeriod> at(const IndexList& indices) {
    std::vector<PricedPeriod> periods;
    for (const std::uint64_t index : indices) {
        periods.push_back({index, Decimal::zero()});
    }
    return periods;
}

inline IndexList indices(const std::vector<PricedPeriod>& periods) {
    IndexList out;
    for (const PricedPeriod& period : periods) {
        out.push_back(period.index);
    }
    return out;
}

// A request with its prices and threshold as text, for readable tables.
struct Request {
    std::vector<std::string> prices;
    std::string threshold;
    TimingRules rules{.min_selections = 1, .min_consecutive_periods = 1};
};

inline SelectionResult run(const Request& r, bool aggressive) {
    return get_cheapest_periods(decimals(r.prices), dec(r.threshold), r.rules, aggressive);
}

// The answer as text, so a failed expectation shows either outcome.
inline std::string describe(const SelectionResult& result) {
    if (!result.ok()) {
        return "error: " + result.error;
    }
    std::string text = "[";
    for (std::size_t i = 0; i < result.indices.size(); ++i) {
        text += (i ? ", " : "") + std::to_string(result.indices[i]);
    }
    return text + "]";
}

inline std::string describe(const IndexList& indices) { return describe(SelectionResult::success(indices)); }

}  // namespace tariffsieve::test
