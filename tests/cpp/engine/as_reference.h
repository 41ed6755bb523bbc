// The one comparison of the engine's entries with the exhaustive reference:
// the same indices, the same error or the same abort.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "decimal/abort.h"
#include "engine/plan.h"
#include "engine/reference/cheapest_periods.h"
#include "engine/request.h"
#include "support.h"

namespace tariffsieve::test {

enum class Entry { get_cheapest_periods, plan };

inline const char* name_of(Entry entry) { return entry == Entry::plan ? "plan" : "get_cheapest_periods"; }

// The outcome of a call as text: indices, error or abort.
template <typename Call>
std::string outcome_of(Call call) {
    try {
        return describe(call());
    } catch (const Abort& abort) {
        return std::string("abort: ") + abort.what();
    }
}

inline std::string entry_outcome(Entry entry, const Request& r, bool aggressive) {
    return outcome_of([&] {
        return entry == Entry::plan ? plan(decimals(r.prices), dec(r.threshold), r.rules, aggressive)
                                    : get_cheapest_periods(decimals(r.prices), dec(r.threshold), r.rules, aggressive);
    });
}

// The reference's answer, at any length: the request must pass the rules.
inline std::string reference_outcome(const Request& r, bool aggressive) {
    return outcome_of([&] { return reference::cheapest_periods(decimals(r.prices), dec(r.threshold), r.rules, aggressive); });
}

inline std::string show(const Request& r, bool aggressive) {
    std::string text = "prices [";
    for (std::size_t i = 0; i < r.prices.size(); ++i) {
        text += (i ? ", \"" : "\"") + r.prices[i] + "\"";
    }
    return text + "] threshold \"" + r.threshold + "\" min_selections " + std::to_string(r.rules.min_selections) +
           " min_consecutive_periods " + std::to_string(r.rules.min_consecutive_periods) +
           " max_gap_between_periods " + std::to_string(r.rules.max_gap_between_periods) + " max_gap_from_start " +
           std::to_string(r.rules.max_gap_from_start) + (aggressive ? " aggressive" : " conservative");
}

// Each entry's answer to r against the reference's, both strategies; false
// (with a failure that shows the request) when one differs.
inline bool expect_as_reference(const Request& r, std::initializer_list<Entry> entries) {
    bool same = true;
    for (const bool aggressive : {true, false}) {
        const std::string expected = reference_outcome(r, aggressive);
        for (const Entry entry : entries) {
            const std::string got = entry_outcome(entry, r, aggressive);
            if (got != expected) {
                ADD_FAILURE() << show(r, aggressive) << "\n  " << name_of(entry) << ": " << got
                              << "\n  reference: " << expected;
                same = false;
            }
        }
    }
    return same;
}

}  // namespace tariffsieve::test
