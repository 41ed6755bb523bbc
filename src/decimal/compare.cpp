// Decimal assembly from parts and the comparison by value.
#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "decimal/words.h"

namespace tariffsieve {

Decimal Decimal::from_parts(bool negative, std::uint32_t hi, std::uint64_t mid_lo, std::uint32_t scale) {
    if (scale > max_scale) throw Abort("Scale exceeds maximum supported scale");
    const std::uint32_t w[3] = {static_cast<std::uint32_t>(mid_lo), static_cast<std::uint32_t>(mid_lo >> 32), hi};
    return detail::make_decimal(negative, w, scale);
}

namespace {

// Order of the magnitudes |a| and |b|, both nonzero.
std::strong_ordering cmp_magnitude(const Decimal& a, const Decimal& b) {
    const std::uint32_t sa = a.scale();
    const std::uint32_t sb = b.scale();
    std::uint32_t x[3];
    std::uint32_t y[3];
    detail::DecimalLayout::words(a, x);
    detail::DecimalLayout::words(b, y);
    // A magnitude that leaves 96 bits when scaled is the larger one.
    if (sa < sb) {
        if (!detail::scale_up(x, sb - sa)) return std::strong_ordering::greater;
    } else if (sb < sa) {
        if (!detail::scale_up(y, sa - sb)) return std::strong_ordering::less;
    }
    if (x[2] != y[2]) return x[2] <=> y[2];
    const std::uint64_t xl = (std::uint64_t{x[1]} << 32) | x[0];
    const std::uint64_t yl = (std::uint64_t{y[1]} << 32) | y[0];
    return xl <=> yl;
}

}  // namespace

std::strong_ordering cmp(const Decimal& a, const Decimal& b) {
    if (b.is_zero()) {
        if (a.is_zero()) return std::strong_ordering::equal;
        return a.is_negative() ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    if (a.is_zero()) return b.is_negative() ? std::strong_ordering::greater : std::strong_ordering::less;
    if (a.is_negative() != b.is_negative()) {
        return a.is_negative() ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    const std::strong_ordering m = cmp_magnitude(a, b);
    return a.is_negative() ? 0 <=> m : m;
}

}  // namespace tariffsieve
