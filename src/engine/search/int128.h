// Signed 128-bit integer in two 64-bit words (two's complement), for the fast
// search's exact integer costs. Only what the search needs: add, subtract,
// compare and a multiply that reports overflow. No compiler 128-bit types.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

#include "decimal/abort.h"

namespace tariffsieve {

struct Int128 {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;

    static constexpr Int128 from_int64(std::int64_t v) {
        return {v < 0 ? ~std::uint64_t{0} : 0, static_cast<std::uint64_t>(v)};
    }
    static constexpr Int128 from_words(std::uint64_t hi, std::uint64_t lo) { return {hi, lo}; }

    constexpr bool is_negative() const { return (hi >> 63) != 0; }
    constexpr bool is_zero() const { return (hi | lo) == 0; }
    constexpr bool is_odd() const { return (lo & 1) != 0; }

    friend constexpr Int128 operator+(Int128 a, Int128 b) {
        const std::uint64_t lo = a.lo + b.lo;
        return {a.hi + b.hi + (lo < a.lo ? 1u : 0u), lo};
    }
    friend constexpr Int128 operator-(Int128 a) { return Int128{~a.hi, ~a.lo} + Int128{0, 1}; }
    friend constexpr Int128 operator-(Int128 a, Int128 b) { return a + -b; }
    Int128& operator+=(Int128 b) { return *this = *this + b; }

    friend constexpr std::strong_ordering operator<=>(Int128 a, Int128 b) {
        if (a.hi != b.hi) {
            return static_cast<std::int64_t>(a.hi) <=> static_cast<std::int64_t>(b.hi);
        }
        return a.lo <=> b.lo;
    }
    friend constexpr bool operator==(Int128 a, Int128 b) = default;
};

// |a| as an unsigned 128-bit magnitude in the same two words (a > -2^127).
constexpr Int128 magnitude(Int128 a) { return a.is_negative() ? -a : a; }

// True when |a| < 2^bits (bits at most 127).
constexpr bool fits_bits(Int128 a, unsigned bits) {
    const Int128 m = magnitude(a);
    return bits >= 64 ? (m.hi >> (bits - 64)) == 0 : m.hi == 0 && (m.lo >> bits) == 0;
}

// a * b, or nothing when the product's magnitude reaches 2^126: products that
// large are never needed, and refusing them keeps every later sum of up to
// 28 such values inside the type.
inline std::optional<Int128> checked_mul(Int128 a, Int128 b) {
    const bool negative = a.is_negative() != b.is_negative();
    const Int128 x = magnitude(a);
    const Int128 y = magnitude(b);
    const std::uint32_t xw[4] = {static_cast<std::uint32_t>(x.lo), static_cast<std::uint32_t>(x.lo >> 32),
                                 static_cast<std::uint32_t>(x.hi), static_cast<std::uint32_t>(x.hi >> 32)};
    const std::uint32_t yw[4] = {static_cast<std::uint32_t>(y.lo), static_cast<std::uint32_t>(y.lo >> 32),
                                 static_cast<std::uint32_t>(y.hi), static_cast<std::uint32_t>(y.hi >> 32)};
    std::uint32_t product[8] = {};
    for (int i = 0; i < 4; ++i) {
        std::uint64_t carry = 0;
        for (int j = 0; j < 4; ++j) {
            const std::uint64_t t = std::uint64_t{xw[i]} * yw[j] + product[i + j] + carry;
            product[i + j] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        product[i + 4] = static_cast<std::uint32_t>(carry);
    }
    if ((product[4] | product[5] | product[6] | product[7]) != 0 || (product[3] >> 30) != 0) {
        return std::nullopt;
    }
    const Int128 m{(std::uint64_t{product[3]} << 32) | product[2], (std::uint64_t{product[1]} << 32) | product[0]};
    return negative ? -m : m;
}

// a * b where the caller has shown that the product stays below 2^126.
inline Int128 product_in_range(Int128 a, Int128 b) {
    if (const std::optional<Int128> product = checked_mul(a, b)) {
        return *product;
    }
    throw Abort("Int128 product out of range");
}

// a * k for a small k, where the caller has shown that |a| * k < 2^127: the
// words multiply modulo 2^128, the low word in 32-bit halves whose products
// fit 64 bits (k < 2^32).
inline Int128 times_small(Int128 a, std::uint64_t k) {
    const std::uint64_t low_half = (a.lo & 0xffffffffu) * k;
    const std::uint64_t high_half = (a.lo >> 32) * k + (low_half >> 32);
    return Int128::from_words(a.hi * k + (high_half >> 32), (high_half << 32) | (low_half & 0xffffffffu));
}

// a as a 64-bit integer, where the caller has shown that it fits.
inline std::int64_t to_int64(Int128 a) {
    const bool fits = a.hi == (a.is_negative() ? ~std::uint64_t{0} : 0) && ((a.lo >> 63) != 0) == a.is_negative();
    if (!fits) {
        throw Abort("Int128 value out of the 64-bit range");
    }
    return static_cast<std::int64_t>(a.lo);
}

}  // namespace tariffsieve
