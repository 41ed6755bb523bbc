// A fixed-width unsigned integer of 384 bits for the fuzz targets' exact
// models: wide enough for a 96-bit mantissa times 10^56. Plain schoolbook
// code, shares nothing with the Decimal implementation on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "decimal/decimal.h"
#include "decimal/words.h"

namespace tariffsieve::fuzz {

struct WideInt {
    static constexpr std::size_t words = 12;
    std::uint32_t w[words] = {};

    static WideInt of(std::uint64_t v) {
        WideInt r;
        r.w[0] = static_cast<std::uint32_t>(v);
        r.w[1] = static_cast<std::uint32_t>(v >> 32);
        return r;
    }
    static WideInt mantissa(const Decimal& d) {
        WideInt r;
        detail::DecimalLayout::words(d, r.w);
        return r;
    }
    static WideInt two_pow96() {
        WideInt r;
        r.w[3] = 1;
        return r;
    }

    bool is_zero() const {
        for (std::uint32_t x : w) {
            if (x != 0) return false;
        }
        return true;
    }
    bool is_odd() const { return (w[0] & 1u) != 0; }
    bool below_2_96() const {
        for (std::size_t i = 3; i < words; ++i) {
            if (w[i] != 0) return false;
        }
        return true;
    }

    // Every operation aborts on leaving the width: the models never should.
    void mul_small(std::uint32_t m) {
        std::uint64_t carry = 0;
        for (std::uint32_t& x : w) {
            const std::uint64_t t = std::uint64_t{x} * m + carry;
            x = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        if (carry != 0) std::abort();
    }
    std::uint32_t div_small(std::uint32_t d) {
        std::uint64_t rem = 0;
        for (std::size_t i = words; i-- > 0;) {
            const std::uint64_t cur = (rem << 32) | w[i];
            w[i] = static_cast<std::uint32_t>(cur / d);
            rem = cur % d;
        }
        return static_cast<std::uint32_t>(rem);
    }
    void add(const WideInt& v) {
        std::uint64_t carry = 0;
        for (std::size_t i = 0; i < words; ++i) {
            const std::uint64_t t = std::uint64_t{w[i]} + v.w[i] + carry;
            w[i] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        if (carry != 0) std::abort();
    }
    void sub(const WideInt& v) {  // v must not exceed *this
        std::uint64_t borrow = 0;
        for (std::size_t i = 0; i < words; ++i) {
            const std::uint64_t t = std::uint64_t{w[i]} - v.w[i] - borrow;
            w[i] = static_cast<std::uint32_t>(t);
            borrow = (t >> 32) & 1u;
        }
        if (borrow != 0) std::abort();
    }
    void shift_left1() {
        std::uint32_t carry = 0;
        for (std::uint32_t& x : w) {
            const std::uint32_t next = x >> 31;
            x = (x << 1) | carry;
            carry = next;
        }
        if (carry != 0) std::abort();
    }
    bool bit(std::size_t i) const { return ((w[i / 32] >> (i % 32)) & 1u) != 0; }
};

inline int compare(const WideInt& a, const WideInt& b) {
    for (std::size_t i = WideInt::words; i-- > 0;) {
        if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
    }
    return 0;
}
inline bool operator==(const WideInt& a, const WideInt& b) { return compare(a, b) == 0; }

inline WideInt scaled(WideInt a, unsigned exponent) {  // a * 10^exponent
    for (unsigned i = 0; i < exponent; ++i) a.mul_small(10);
    return a;
}

// quotient := n / d, remainder := n mod d, by shift and subtract.
inline void divide(const WideInt& n, const WideInt& d, WideInt& quotient, WideInt& remainder) {
    quotient = WideInt{};
    remainder = WideInt{};
    for (std::size_t i = WideInt::words * 32; i-- > 0;) {
        remainder.shift_left1();
        if (n.bit(i)) remainder.w[0] |= 1u;
        quotient.shift_left1();
        if (compare(remainder, d) >= 0) {
            remainder.sub(d);
            quotient.w[0] |= 1u;
        }
    }
}

}  // namespace tariffsieve::fuzz
