// Helpers of the decimal tests, written without the code under test: building
// a Decimal from decimal digits, describing one exactly, catching aborts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "decimal/words.h"

namespace tariffsieve::test {

constexpr std::uint32_t sign_bit = detail::DecimalLayout::sign_bit;
constexpr std::uint32_t scale_shift = detail::DecimalLayout::scale_shift;

// A Decimal's storage, word by word, for tests of the representation.
struct Layout {
    std::uint32_t flags, hi, lo, mid;
};
inline Layout layout(const Decimal& d) {
    std::uint32_t w[3];
    detail::DecimalLayout::words(d, w);
    return {detail::DecimalLayout::flags(d), w[2], w[0], w[1]};
}
inline Decimal raw_decimal(std::uint32_t flags, std::uint32_t hi, std::uint32_t lo, std::uint32_t mid) {
    const std::uint32_t w[3] = {lo, mid, hi};
    return detail::DecimalLayout::raw(flags, w);
}

// The Decimal with this sign, mantissa (decimal digits) and scale, assembled
// word by word; the mantissa must stay below 2^96.
inline Decimal make(bool negative, std::string_view digits, std::uint32_t scale) {
    std::uint32_t w[3] = {0, 0, 0};
    for (const char c : digits) {
        std::uint64_t carry = static_cast<std::uint64_t>(c - '0');
        for (std::uint32_t& word : w) {
            const std::uint64_t t = std::uint64_t{word} * 10 + carry;
            word = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        if (carry != 0) ADD_FAILURE() << "mantissa " << digits << " does not fit 96 bits";
    }
    return detail::DecimalLayout::raw((negative ? sign_bit : 0u) | (scale << scale_shift), w);
}

// The exact representation: sign, mantissa, scale, e.g. "-15E-1"; flags with
// bits outside the sign and scale are marked.
inline std::string describe(const Decimal& d) {
    std::uint32_t w[3];
    detail::DecimalLayout::words(d, w);
    std::string digits;
    do {
        std::uint64_t rem = 0;
        for (int i = 2; i >= 0; --i) {
            const std::uint64_t cur = (rem << 32) | w[i];
            w[i] = static_cast<std::uint32_t>(cur / 10);
            rem = cur % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + rem));
    } while ((w[0] | w[1] | w[2]) != 0);
    std::string out = (d.is_negative() ? "-" : "") + digits + "E-" + std::to_string(d.scale());
    if ((layout(d).flags & ~(sign_bit | (0xFFu << scale_shift))) != 0 || d.scale() > 28) {
        out += " [bad flags]";
    }
    return out;
}

// The message of the Abort that f throws, or "" when it returns; any other
// exception fails the test.
template <class F>
std::string abort_message(F&& f) {
    try {
        f();
    } catch (const Abort& e) {
        return e.what();
    } catch (...) {
        ADD_FAILURE() << "an exception other than Abort";
        return "<other exception>";
    }
    return "";
}

// Parses text that must be valid (the parser itself is tested elsewhere).
inline Decimal D(std::string_view text) {
    const ParseResult r = from_str(text);
    if (!r.ok()) ADD_FAILURE() << "cannot parse \"" << text << "\": " << r.error;
    return r.value;
}

}  // namespace tariffsieve::test

namespace tariffsieve {
inline void PrintTo(const Decimal& d, std::ostream* os) { *os << test::describe(d); }
}  // namespace tariffsieve
