// Decimal division: the exact quotient rounded half to even at the
// largest scale from 0 to 28 at which it fits 96 bits.
//
// Scale of the result (only its value matters to callers): a quotient that
// terminates is held at the smallest scale, not below scale(a) - scale(b) nor
// below 0, that holds it exactly (1 / 2 = 0.5, 6 / 3 = 2, 1.50 / 1 = 1.50); a
// rounded one at the largest scale that fits; a zero quotient at scale 0,
// positive.
#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "decimal/words.h"

namespace tariffsieve {

namespace {

[[noreturn]] void division_overflowed() { throw Abort("Division overflowed"); }

struct Quotient {
    std::uint32_t q[3];
    int scale;
    bool exact;
};

// Rounds q up by one unit at scale s; 2^96 - 1 gives back a digit.
void round_up(Quotient& r) {
    if (!detail::is_max96(r.q)) {
        detail::increment(r.q);
        return;
    }
    if (r.scale == 0) division_overflowed();
    --r.scale;
    detail::copy_words(r.q, detail::rounded_max_over_10);
}

// The largest k <= kmax (kmax <= 9) with q * 10^k < 2^96.
std::uint32_t largest_shift(const std::uint32_t (&q)[3], std::uint32_t kmax) {
    std::uint32_t k = kmax;
    while (k > 0 && detail::compare_words(q, detail::limit96.w[k]) > 0) --k;
    return k;
}

// Divisor mantissa of at most 32 bits: long division in steps of up to nine
// digits, with a final rounding on the remainder.
Quotient divide_small(const Decimal& a, std::uint32_t divisor, int s) {
    Quotient r{{}, s, false};
    detail::DecimalLayout::words(a, r.q);
    std::uint64_t rem = detail::div_small(r.q, divisor);
    for (;;) {
        if (rem == 0) {
            if (r.scale >= 0) {
                r.exact = true;
                return r;
            }
            const std::uint32_t k = r.scale < -9 ? 9u : static_cast<std::uint32_t>(-r.scale);
            if (detail::mul_small(r.q, detail::pow10_u32[k]) != 0) division_overflowed();
            r.scale += static_cast<int>(k);
            continue;
        }
        if (r.scale == static_cast<int>(Decimal::max_scale)) break;
        const int room = static_cast<int>(Decimal::max_scale) - r.scale;
        const std::uint32_t k = largest_shift(r.q, room < 9 ? static_cast<std::uint32_t>(room) : 9u);
        if (k < 9 && r.scale + static_cast<int>(k) < 0) division_overflowed();
        if (k == 0) break;
        const std::uint32_t p = detail::pow10_u32[k];
        detail::mul_small(r.q, p);  // no carry: k was chosen so
        const std::uint64_t scaled = rem * p;  // below 2^32 * 10^9 < 2^62
        const std::uint32_t chunk[1] = {static_cast<std::uint32_t>(scaled / divisor)};
        rem = scaled % divisor;
        r.scale += static_cast<int>(k);
        if (detail::add_words(r.q, chunk) != 0) {
            // q reached 2^96: give back the last digit, rounding on it.
            --r.scale;
            if (r.scale < 0) division_overflowed();
            std::uint32_t wide[4];
            detail::copy_words(wide, r.q);
            wide[3] = 1;
            const std::uint32_t d = detail::div_small(wide, 10);
            detail::copy_words(r.q, wide);
            if (d > 5 || (d == 5 && (rem != 0 || (r.q[0] & 1u) != 0))) detail::increment(r.q);
            r.exact = d == 0 && rem == 0;
            return r;
        }
    }
    // Final rounding on the remainder, ties to even.
    const std::uint64_t twice = rem * 2;
    if (twice > divisor || (twice == divisor && (r.q[0] & 1u) != 0)) round_up(r);
    return r;
}

// Divisor mantissa of more than 32 bits (never used by the engine): the same
// value rule, one digit at a time with a four-word remainder.
Quotient divide_large(const Decimal& a, const Decimal& b, int s) {
    std::uint32_t mb[4];
    detail::DecimalLayout::words(b, mb);
    // q = floor(Ma / Mb), rem = Ma mod Mb by shift and subtract.
    Quotient r{{0, 0, 0}, s, false};
    std::uint32_t rem[4] = {0, 0, 0, 0};
    std::uint32_t ma[3];
    detail::DecimalLayout::words(a, ma);
    for (int bit = 95; bit >= 0; --bit) {
        detail::mul_small(rem, 2u);
        rem[0] |= (ma[bit / 32] >> (bit % 32)) & 1u;
        detail::mul_small(r.q, 2u);
        if (detail::compare_words(rem, mb) >= 0) {
            detail::sub_words(rem, mb);
            r.q[0] |= 1u;
        }
    }
    for (;;) {
        if (detail::is_zero_words(rem)) {
            if (r.scale >= 0) {
                r.exact = true;
                return r;
            }
            if (detail::mul_small(r.q, 10u) != 0) division_overflowed();
            ++r.scale;
            continue;
        }
        if (r.scale == static_cast<int>(Decimal::max_scale)) break;
        // The next digit: floor(10 rem / Mb), at most 9.
        std::uint32_t next[4];
        detail::copy_words(next, rem);
        detail::mul_small(next, 10u);
        std::uint32_t digit = 0;
        while (detail::compare_words(next, mb) >= 0) {
            detail::sub_words(next, mb);
            ++digit;
        }
        std::uint32_t wider[4];
        detail::copy_words(wider, r.q);
        detail::mul_small(wider, 10u);
        const std::uint32_t dw[1] = {digit};
        detail::add_words(wider, dw);
        if (wider[3] != 0) {
            // The next digit does not fit: at scale + 1 <= 0 that is overflow,
            // else the quotient is rounded at this scale.
            if (r.scale < 0) division_overflowed();
            break;
        }
        detail::copy_words(r.q, wider);
        detail::copy_words(rem, next);
        ++r.scale;
    }
    std::uint32_t twice[4];
    detail::copy_words(twice, rem);
    detail::mul_small(twice, 2u);
    const int c = detail::compare_words(twice, mb);
    if (c > 0 || (c == 0 && (r.q[0] & 1u) != 0)) round_up(r);
    return r;
}

}  // namespace

Decimal divide(const Decimal& a, const Decimal& b) {
    if (b.is_zero()) throw Abort("Division by zero");
    if (a.is_zero()) return Decimal::zero();
    const bool negative = a.is_negative() != b.is_negative();
    const int s = static_cast<int>(a.scale()) - static_cast<int>(b.scale());

    const std::uint64_t low = b.mid_lo();
    Quotient r = b.hi() == 0 && (low >> 32) == 0 ? divide_small(a, static_cast<std::uint32_t>(low), s)
                                                 : divide_large(a, b, s);

    if (detail::is_zero_words(r.q)) return Decimal::zero();
    if (r.exact) {
        // Drop trailing zeros down to the natural scale max(0, s).
        const int floor_scale = s > 0 ? s : 0;
        while (r.scale > floor_scale) {
            std::uint32_t t[3];
            detail::copy_words(t, r.q);
            if (detail::div_small(t, 10u) != 0) break;
            detail::copy_words(r.q, t);
            --r.scale;
        }
    }
    return detail::make_decimal(negative, r.q, static_cast<std::uint32_t>(r.scale));
}

}  // namespace tariffsieve
