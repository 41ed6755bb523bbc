// Decimal addition: exact when the sum fits 96 bits at the larger
// operand scale, else rounded half to even at the largest scale that fits.
#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "decimal/words.h"

namespace tariffsieve {

namespace {

using detail::DecimalLayout;

[[noreturn]] void addition_overflowed() { throw Abort(addition_overflowed_message); }

// Stores the magnitude w (any width) at scale s into out, giving back
// digits until it fits: the exact value rounded half to even at the largest
// scale at which the rounded magnitude stays below 2^96.
template <std::size_t N>
void store_reduced(Decimal& out, bool negative, std::uint32_t (&w)[N], std::uint32_t s) {
    std::uint32_t digit = 0;  // the most significant digit cut off so far
    bool sticky = false;      // whether any digit below it is nonzero
    for (;;) {
        if (detail::fits96(w)) {
            const bool up = digit > 5 || (digit == 5 && (sticky || (w[0] & 1u) != 0));
            std::uint32_t m[3];
            detail::copy_words(m, w);
            if (!up) {
                out = detail::make_decimal(negative, m, s);
                return;
            }
            if (!detail::is_max96(m)) {
                detail::increment(m);
                out = detail::make_decimal(negative, m, s);
                return;
            }
            // Rounding up 2^96 - 1 does not fit: one more digit goes.
        }
        if (s == 0) addition_overflowed();
        sticky = sticky || digit != 0;
        digit = detail::div_small(w, 10);
        --s;
    }
}

// |a| + |b| or ||a| - |b|| for mantissas already at the common scale s; the
// sign of the result is that of the larger magnitude.
template <std::size_t N>
void combine(Decimal& out, std::uint32_t (&x)[N], bool x_neg, std::uint32_t (&y)[N], bool y_neg,
             std::uint32_t s) {
    if (x_neg == y_neg) {
        if (detail::add_words(x, y) != 0) {
            // Only the three-word form can carry out; widen it by one word.
            std::uint32_t wide[N + 1];
            detail::copy_words(wide, x);
            wide[N] = 1;
            store_reduced(out, x_neg, wide, s);
            return;
        }
        store_reduced(out, x_neg, x, s);
        return;
    }
    const int c = detail::compare_words(x, y);
    if (c == 0) {
        const std::uint32_t zero[3] = {0, 0, 0};
        out = detail::make_decimal(false, zero, s);
        return;
    }
    if (c > 0) {
        detail::sub_words(x, y);
        store_reduced(out, x_neg, x, s);
    } else {
        detail::sub_words(y, x);
        store_reduced(out, y_neg, y, s);
    }
}

// The operands differ in scale: up is the one with the smaller scale,
// brought up by 10^d (d from 1 to 28) to the scale s of keep.
// Both are taken by value: out may be one of them.
void add_scaled(Decimal& out, const Decimal up, const Decimal keep, std::uint32_t d, std::uint32_t s) {
    // First try in 96 bits: the usual case of prices with a few decimals.
    std::uint32_t y3[3];
    DecimalLayout::words(up, y3);
    if (detail::scale_up(y3, d)) {
        std::uint32_t x3[3];
        DecimalLayout::words(keep, x3);
        combine(out, x3, keep.is_negative(), y3, up.is_negative(), s);
        return;
    }
    // The scaled operand needs up to 96 + 94 bits: the 192-bit buffer, from
    // which no step carries out.
    std::uint32_t y6[6];
    DecimalLayout::words(up, y6);
    detail::scale_up(y6, d);
    std::uint32_t x6[6];
    DecimalLayout::words(keep, x6);
    combine(out, x6, keep.is_negative(), y6, up.is_negative(), s);
}

// The Decimal with these flags and the mantissa high:low, high below 2^32.
Decimal with_mantissa(std::uint32_t flags, std::uint64_t high, std::uint64_t low) {
    const std::uint32_t w[3] = {static_cast<std::uint32_t>(low), static_cast<std::uint32_t>(low >> 32),
                                static_cast<std::uint32_t>(high)};
    return DecimalLayout::raw(flags, w);
}

}  // namespace

void add_assign(Decimal& sum, const Decimal& x) {
    if (sum.is_zero()) {
        sum = x;
        return;
    }
    if (x.is_zero()) return;

    if (DecimalLayout::flags(sum) == DecimalLayout::flags(x)) {
        // Fast path: same scale and sign, no carry out of 96 bits.
        const std::uint64_t a = sum.mid_lo();
        const std::uint64_t low = a + x.mid_lo();
        const std::uint64_t high = std::uint64_t{sum.hi()} + x.hi() + (low < a ? 1u : 0u);
        if ((high >> 32) == 0) {
            sum = with_mantissa(DecimalLayout::flags(sum), high, low);
            return;
        }
    }

    const std::uint32_t ss = sum.scale();
    const std::uint32_t sx = x.scale();
    if (ss != sx && sum.is_negative() == x.is_negative()) {
        // Next fastest: same sign, scales at most 9 apart, the scaled operand
        // and the sum both within 96 bits (prices with different decimals).
        const bool x_up = sx < ss;
        const Decimal& up = x_up ? x : sum;
        const Decimal& keep = x_up ? sum : x;
        const std::uint32_t d = x_up ? ss - sx : sx - ss;
        if (d <= 9) {
            const std::uint32_t p = detail::pow10_u32[d];
            std::uint32_t u[3];
            DecimalLayout::words(up, u);
            const std::uint64_t t0 = std::uint64_t{u[0]} * p;
            const std::uint64_t t1 = std::uint64_t{u[1]} * p + (t0 >> 32);
            const std::uint64_t t2 = std::uint64_t{u[2]} * p + (t1 >> 32);  // below 2^62
            const std::uint64_t a = keep.mid_lo();
            const std::uint64_t low = a + ((t1 << 32) | (t0 & 0xFFFFFFFFu));
            // high holds the top word of the sum and everything above it: a
            // scaled operand beyond 96 bits shows here as well as a carry.
            const std::uint64_t high = std::uint64_t{keep.hi()} + t2 + (low < a ? 1u : 0u);
            if ((high >> 32) == 0) {
                sum = with_mantissa(DecimalLayout::flags(keep), high, low);
                return;
            }
        }
    }

    if (ss == sx) {
        std::uint32_t m[3];
        std::uint32_t v[3];
        DecimalLayout::words(sum, m);
        DecimalLayout::words(x, v);
        combine(sum, m, sum.is_negative(), v, x.is_negative(), ss);
    } else if (ss < sx) {
        add_scaled(sum, sum, x, sx - ss, sx);
    } else {
        add_scaled(sum, x, sum, ss - sx, ss);
    }
}

}  // namespace tariffsieve
