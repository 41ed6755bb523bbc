// Fuzz target of the engine's entries: small requests decoded from the bytes,
// answered by get_cheapest_periods, by plan and by the exhaustive reference
// (behind the request rules), which must agree on the indices, the error
// text or the abort text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "engine/plan.h"
#include "engine/reference/cheapest_periods.h"
#include "engine/request.h"
#include "engine/timing_rules.h"
#include "byte_reader.h"
#include "format_decimal.h"
#include "wide_int.h"

namespace tariffsieve::fuzz {
namespace {

constexpr std::uint64_t max_count = ~std::uint64_t{0};

Decimal make(bool negative, std::uint64_t mantissa, std::uint32_t scale) {
    return Decimal::from_parts(negative, 0, mantissa, scale);
}

// Two bytes a price: the top three bits of the first choose its kind.
Decimal read_price(ByteReader& in) {
    const std::uint8_t a = in.next();
    const std::uint8_t b = in.next();
    switch (a >> 5) {
    case 0:
    case 1:
    case 2:  // everyday prices with up to three decimals
        return make(false, b | ((a & 0x03u) << 8), (a >> 2) & 0x03u);
    case 3:  // negative ones
        return make(true, b | ((a & 0x03u) << 8), (a >> 2) & 0x03u);
    case 4: {  // few distinct values: ties, equal values at other scales
        static const Decimal ties[] = {make(false, 1, 1), make(false, 10, 2), make(false, 2, 1),
                                       make(false, 25, 2), make(true, 1, 1),  make(false, 0, 0)};
        return ties[b % 6];
    }
    case 5:
        if ((a & 2u) != 0) {  // about 0.7013333... with 28 decimals: sums of a dozen round
            return Decimal::from_parts((a & 4u) != 0, 0x16A94B19u, 0xD178D8B565555555u + b * 7919u, 28);
        }
        // differences in the 28th place: averages that round
        return Decimal::from_parts(false, 0x0066D1B4u, 0x2C4E8F7B1A3C5D00u + b, 27 + (a & 1u));
    case 6: {
        const std::uint32_t scale = (a & 0x0Fu) * 2 % 29;
        if ((a & 0x10u) != 0) {  // near the largest magnitude: rounded sums, aborts
            return Decimal::from_parts((b & 0x80u) != 0, 0xFFFFFFFFu, ~std::uint64_t{0} - (b & 0x7Fu), scale);
        }
        // About 2^96 / k: sums of a few reach the edge of exact arithmetic.
        WideInt m = WideInt::two_pow96();
        m.div_small(2u + (b & 0x0Fu));
        m.add(WideInt::of(b >> 4));
        return Decimal::from_parts(false, m.w[2], (std::uint64_t{m.w[1]} << 32) | m.w[0], scale);
    }
    default:  // zeros at any scale and fine fractions
        return make((b & 0x80u) != 0, b & 0x0Fu, (a & 0x1Fu) % 29);
    }
}

// A count: the top four byte values read as counts past every series (up to
// 2^64 - 1, where narrowing or wrapping would show), the others as small ones.
std::uint64_t read_count(ByteReader& in, std::uint64_t range) {
    const std::uint8_t b = in.next();
    switch (b) {
    case 0xFF:
        return max_count;
    case 0xFE:
        return max_count - 1;
    case 0xFD:
        return std::uint64_t{1} << 32;
    case 0xFC:
        return std::uint64_t{1} << 31;
    default:
        return b % range;
    }
}

struct Request {
    std::vector<Decimal> prices;
    Decimal threshold;
    TimingRules rules;
    bool aggressive = true;
};

Request read_request(ByteReader& in) {
    Request r;
    const std::uint8_t head = in.next();
    const std::size_t n = (head & 0x0Fu) % 13;
    r.aggressive = (head & 0x10u) != 0;
    r.rules.min_selections = read_count(in, n + 2);
    r.rules.min_consecutive_periods = read_count(in, n + 2);
    r.rules.max_gap_between_periods = read_count(in, n + 3);
    r.rules.max_gap_from_start = read_count(in, n + 3);
    for (std::size_t i = 0; i < n; ++i) r.prices.push_back(read_price(in));
    const std::uint8_t pick = in.next();
    switch (head >> 5) {
    case 0:  // nothing but a price of exactly zero is cheap
        r.threshold = Decimal::zero();
        break;
    case 1:
        r.threshold = make(true, 1000000, 0);
        break;
    case 2:
        r.threshold = make(false, 1000000, 0);
        break;
    case 3:
        r.threshold = read_price(in);
        break;
    default:  // one of the prices: ties with the threshold
        r.threshold = r.prices.empty() ? Decimal::zero() : r.prices[pick % r.prices.size()];
        break;
    }
    return r;
}

enum class Answerer { get_cheapest_periods, plan, reference };

// The reference answers only requests that pass the rules; the series here
// are far shorter than either entry's limit.
SelectionResult answer(const Request& r, Answerer answerer) {
    switch (answerer) {
    case Answerer::get_cheapest_periods:
        return get_cheapest_periods(r.prices, r.threshold, r.rules, r.aggressive);
    case Answerer::plan:
        return plan(r.prices, r.threshold, r.rules, r.aggressive);
    default:
        if (const char* message = broken_request_rule(r.prices.size(), r.rules, max_exhaustive_periods, "")) {
            return SelectionResult::failure(message);
        }
        return reference::cheapest_periods(r.prices, r.threshold, r.rules, r.aggressive);
    }
}

// The outcome of one answerer as text.
std::string outcome(const Request& r, Answerer answerer) {
    try {
        const SelectionResult result = answer(r, answerer);
        if (!result.ok()) return "error: " + result.error;
        std::string text = "[";
        for (std::size_t i = 0; i < result.indices.size(); ++i) {
            if (result.indices[i] >= r.prices.size() || (i > 0 && result.indices[i] <= result.indices[i - 1])) {
                text += "(not ascending or out of range) ";
            }
            text += (i ? ", " : "") + std::to_string(result.indices[i]);
        }
        return text + "]";
    } catch (const Abort& abort) {
        return std::string("abort: ") + abort.what();
    }
}

void report(const Request& r, const std::string& fast, const std::string& planned, const std::string& exhaustive) {
    std::fprintf(stderr, "prices [");
    for (std::size_t i = 0; i < r.prices.size(); ++i) {
        std::fprintf(stderr, "%s\"%s\"", i ? ", " : "", format_decimal(r.prices[i]).c_str());
    }
    std::fprintf(stderr,
                 "] threshold \"%s\" min_selections %llu min_consecutive_periods %llu max_gap_between_periods %llu "
                 "max_gap_from_start %llu aggressive %d\n  get_cheapest_periods: %s\n  plan:                 %s\n  reference:            %s\n",
                 format_decimal(r.threshold).c_str(), static_cast<unsigned long long>(r.rules.min_selections),
                 static_cast<unsigned long long>(r.rules.min_consecutive_periods),
                 static_cast<unsigned long long>(r.rules.max_gap_between_periods),
                 static_cast<unsigned long long>(r.rules.max_gap_from_start), r.aggressive ? 1 : 0, fast.c_str(),
                 planned.c_str(), exhaustive.c_str());
}

}  // namespace
}  // namespace tariffsieve::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tariffsieve::fuzz;
    ByteReader in{data, size};
    const Request r = read_request(in);
    const std::string fast = outcome(r, Answerer::get_cheapest_periods);
    const std::string planned = outcome(r, Answerer::plan);
    const std::string exhaustive = outcome(r, Answerer::reference);
    if (fast != exhaustive || planned != exhaustive || fast.find("(not ascending") != std::string::npos ||
        planned.find("(not ascending") != std::string::npos) {
        report(r, fast, planned, exhaustive);
        std::abort();
    }
    return 0;
}
