// Internal helpers of the Decimal implementation: unsigned multi-word
// integers as arrays of 32-bit words, least significant word first, worked
// with 32- and 64-bit arithmetic only (no 128-bit types, no builtins).
#pragma once

#include <cstddef>
#include <cstdint>

#include "decimal/decimal.h"

namespace tariffsieve::detail {

inline constexpr std::uint32_t pow10_u32[10] = {
    1u, 10u, 100u, 1000u, 10000u, 100000u, 1000000u, 10000000u, 100000000u, 1000000000u,
};

// w := w * m; returns the word carried out of the top.
template <std::size_t N>
constexpr std::uint32_t mul_small(std::uint32_t (&w)[N], std::uint32_t m) {
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const std::uint64_t t = std::uint64_t{w[i]} * m + carry;
        w[i] = static_cast<std::uint32_t>(t);
        carry = t >> 32;
    }
    return static_cast<std::uint32_t>(carry);
}

// w := floor(w / d); returns w mod d. d must not be zero.
template <std::size_t N>
constexpr std::uint32_t div_small(std::uint32_t (&w)[N], std::uint32_t d) {
    std::uint64_t rem = 0;
    for (std::size_t i = N; i-- > 0;) {
        const std::uint64_t cur = (rem << 32) | w[i];
        w[i] = static_cast<std::uint32_t>(cur / d);
        rem = cur % d;
    }
    return static_cast<std::uint32_t>(rem);
}

// w := w + v (v has at most N words); returns the carry out (0 or 1).
template <std::size_t N, std::size_t M>
constexpr std::uint32_t add_words(std::uint32_t (&w)[N], const std::uint32_t (&v)[M]) {
    static_assert(M <= N);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const std::uint64_t t = std::uint64_t{w[i]} + (i < M ? v[i] : 0u) + carry;
        w[i] = static_cast<std::uint32_t>(t);
        carry = t >> 32;
    }
    return static_cast<std::uint32_t>(carry);
}

// w := w - v, which must not be negative (v has at most N words).
template <std::size_t N, std::size_t M>
constexpr void sub_words(std::uint32_t (&w)[N], const std::uint32_t (&v)[M]) {
    static_assert(M <= N);
    std::uint32_t borrow = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const std::uint64_t t = std::uint64_t{w[i]} - (i < M ? v[i] : 0u) - borrow;
        w[i] = static_cast<std::uint32_t>(t);
        borrow = static_cast<std::uint32_t>(t >> 32) & 1u;
    }
}

// to := from, the lower min(N, M) words; the rest of `to` becomes zero.
template <std::size_t N, std::size_t M>
constexpr void copy_words(std::uint32_t (&to)[N], const std::uint32_t (&from)[M]) {
    for (std::size_t i = 0; i < N; ++i) to[i] = i < M ? from[i] : 0u;
}

// w := w + 1; returns the carry out.
template <std::size_t N>
constexpr std::uint32_t increment(std::uint32_t (&w)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (++w[i] != 0) return 0;
    }
    return 1;
}

// -1, 0 or 1 as a <, ==, > b.
template <std::size_t N>
constexpr int compare_words(const std::uint32_t (&a)[N], const std::uint32_t (&b)[N]) {
    for (std::size_t i = N; i-- > 0;) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

template <std::size_t N>
constexpr bool is_zero_words(const std::uint32_t (&w)[N]) {
    std::uint32_t any = 0;
    for (std::size_t i = 0; i < N; ++i) any |= w[i];
    return any == 0;
}

// True when the words from index 3 up are all zero: the value fits 96 bits.
template <std::size_t N>
constexpr bool fits96(const std::uint32_t (&w)[N]) {
    std::uint32_t any = 0;
    for (std::size_t i = 3; i < N; ++i) any |= w[i];
    return any == 0;
}

constexpr bool is_max96(const std::uint32_t (&w)[3]) {
    return (w[0] & w[1] & w[2]) == 0xFFFFFFFFu;
}

// (2^96 - 1 + 1) / 10 rounded: the mantissa that replaces a 2^96 - 1 rounded
// up, one scale lower: 7922816251426433759354395034.
inline constexpr std::uint32_t rounded_max_over_10[3] = {0x9999999Au, 0x99999999u, 0x19999999u};

// floor((2^96 - 1) / 10^k), k = 0..9: q * 10^k < 2^96 exactly when q is at
// most limit96[k].
struct Limit96Table {
    std::uint32_t w[10][3];
};
constexpr Limit96Table make_limit96() {
    Limit96Table t{};
    for (std::uint32_t k = 0; k < 10; ++k) {
        std::uint32_t v[3] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
        div_small(v, pow10_u32[k]);
        copy_words(t.w[k], v);
    }
    return t;
}
inline constexpr Limit96Table limit96 = make_limit96();

// w := w * 10^d, in steps of at most 10^9; false when a step carries out of
// the top word (w is then incomplete).
template <std::size_t N>
constexpr bool scale_up(std::uint32_t (&w)[N], std::uint32_t d) {
    while (d > 0) {
        const std::uint32_t k = d > 9 ? 9 : d;
        if (mul_small(w, pow10_u32[k]) != 0) return false;
        d -= k;
    }
    return true;
}

// The decimal code's view of a Decimal's storage.
struct DecimalLayout {
    static constexpr std::uint32_t sign_bit = Decimal::sign_bit;
    static constexpr std::uint32_t scale_shift = Decimal::scale_shift;

    // Sign and scale together: equal flags mean equal sign and scale.
    static constexpr std::uint32_t flags(const Decimal& d) { return d.flags_; }

    // The mantissa as three words, least significant first, widened to N.
    template <std::size_t N = 3>
    static constexpr void words(const Decimal& d, std::uint32_t (&w)[N]) {
        static_assert(N >= 3);
        const std::uint32_t m[3] = {d.lo_, d.mid_, d.hi_};
        copy_words(w, m);
    }

    // A Decimal with these flags and mantissa words, unchecked.
    static constexpr Decimal raw(std::uint32_t flags, const std::uint32_t (&w)[3]) {
        return Decimal(flags, w[2], w[0], w[1]);
    }
};

// Assembles a Decimal from a magnitude below 2^96, a scale of at most 28 and
// a sign; a zero magnitude is never negative.
constexpr Decimal make_decimal(bool negative, const std::uint32_t (&w)[3], std::uint32_t scale) {
    const bool neg = negative && (w[0] | w[1] | w[2]) != 0;
    return DecimalLayout::raw((neg ? DecimalLayout::sign_bit : 0u) | (scale << DecimalLayout::scale_shift), w);
}

}  // namespace tariffsieve::detail
