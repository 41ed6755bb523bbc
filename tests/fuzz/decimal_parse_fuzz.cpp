// Fuzz target of the decimal parser: any bytes, checked against a model of
// the grammar and of the kept digits and rounding written here, and every
// accepted value formatted back and parsed again to the same representation.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "decimal/decimal.h"
#include "decimal/words.h"
#include "../cpp/decimal/parse_messages.h"
#include "format_decimal.h"
#include "wide_int.h"

namespace tariffsieve::fuzz {
namespace {

using namespace tariffsieve::test::parse_message;

struct Expected {
    const char* error = nullptr;
    bool negative = false;
    WideInt mantissa;
    unsigned scale = 0;
};

Expected rejected(const char* message) {
    Expected e;
    e.error = message;
    return e;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Optional sign; digits, underscores and one point; no underscore before
// the first digit; at least one digit. The integer part must stay below
// 2^96. Behind the point at most 28 digits are kept, and none that would
// bring the mantissa to 2^96; the first digit not kept rounds half up, and
// only digits and underscores may follow it. The first failing byte decides.
Expected model(std::string_view text) {
    Expected e;
    if (text.empty()) return rejected(empty);
    std::size_t i = 0;
    if (text[0] == '+' || text[0] == '-') {
        e.negative = text[0] == '-';
        i = 1;
    }
    const WideInt limit = WideInt::two_pow96();
    bool point = false;
    bool any_digit = false;
    int rounding_digit = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (rounding_digit >= 0) {
            if (is_digit(c) || c == '_') continue;
            return rejected(c == '.' ? two_points : unknown);
        }
        if (is_digit(c)) {
            any_digit = true;
            WideInt next = e.mantissa;
            next.mul_small(10);
            next.add(WideInt::of(static_cast<std::uint64_t>(c - '0')));
            const bool fits = compare(next, limit) < 0;
            if (!point) {
                if (!fits) return rejected(too_many_digits);
                e.mantissa = next;
            } else if (e.scale == Decimal::max_scale || !fits) {
                rounding_digit = c - '0';
                WideInt up = e.mantissa;
                up.add(WideInt::of(1));
                if (rounding_digit >= 5 && e.scale == 0 && up == limit) return rejected(round_overflow);
            } else {
                e.mantissa = next;
                ++e.scale;
            }
        } else if (c == '.') {
            if (point) return rejected(two_points);
            point = true;
        } else if (c == '_') {
            if (!any_digit) return rejected(lead);
        } else {
            return rejected(unknown);
        }
    }
    if (!any_digit) return rejected(no_digits);
    if (rounding_digit >= 5) {
        e.mantissa.add(WideInt::of(1));
        if (e.mantissa == limit) {  // 2^96 gives back a digit, rounding up again
            e.mantissa.div_small(10);
            e.mantissa.add(WideInt::of(1));
            --e.scale;
        }
    }
    if (e.mantissa.is_zero()) e.negative = false;
    return e;
}

bool same_representation(const Decimal& a, const Decimal& b) {
    using detail::DecimalLayout;
    return DecimalLayout::flags(a) == DecimalLayout::flags(b) && a.hi() == b.hi() && a.mid_lo() == b.mid_lo();
}

[[noreturn]] void fail(std::string_view text, const char* what, const std::string& detail) {
    std::fprintf(stderr, "decimal parse: %s for \"%.*s\": %s\n", what, static_cast<int>(text.size()), text.data(),
                 detail.c_str());
    std::abort();
}

}  // namespace
}  // namespace tariffsieve::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tariffsieve;
    using namespace tariffsieve::fuzz;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ParseResult got = from_str(text);
    const Expected want = model(text);

    if (want.error != nullptr) {
        if (got.ok()) fail(text, "accepted", "expected " + std::string(want.error) + ", got " + format_decimal(got.value));
        if (std::strcmp(got.error, want.error) != 0) fail(text, "wrong error", got.error);
        return 0;
    }
    if (!got.ok()) fail(text, "rejected", got.error);
    const Decimal& value = got.value;
    if (value.scale() != want.scale || value.is_negative() != want.negative ||
        !(WideInt::mantissa(value) == want.mantissa) ||
        (detail::DecimalLayout::flags(value) &
         ~(detail::DecimalLayout::sign_bit | (0xFFu << detail::DecimalLayout::scale_shift))) != 0) {
        fail(text, "wrong value", format_decimal(value));
    }

    const std::string again = format_decimal(value);
    const ParseResult reparsed = from_str(again);
    if (!reparsed.ok()) fail(text, "formatted value rejected", again + ": " + reparsed.error);
    if (!same_representation(reparsed.value, value) || !(reparsed.value == value)) {
        fail(text, "formatted value parses differently", again);
    }
    return 0;
}
