// Decimals as 128-bit integers and back.
#include "engine/search/decimal_integers.h"

#include <array>

#include "decimal/abort.h"

namespace tariffsieve::search {

namespace {

constexpr std::array<Int128, Decimal::max_scale + 1> powers_of_ten = [] {
    std::array<Int128, Decimal::max_scale + 1> powers{};
    std::uint64_t hi = 0;
    std::uint64_t lo = 1;
    for (auto& power : powers) {
        power = Int128::from_words(hi, lo);
        // times ten, in 32-bit pieces so that the carry out of lo is exact
        const std::uint64_t lo_low = (lo & 0xFFFFFFFFu) * 10;
        const std::uint64_t lo_high = (lo >> 32) * 10 + (lo_low >> 32);
        lo = (lo_high << 32) | (lo_low & 0xFFFFFFFFu);
        hi = hi * 10 + (lo_high >> 32);
    }
    return powers;
}();

}  // namespace

Int128 power_of_ten(std::uint32_t exponent) {
    if (exponent > Decimal::max_scale) {
        throw Abort("Power of ten beyond the decimal scales");
    }
    return powers_of_ten[exponent];
}

Digits finest_digits(const Decimal& value) {
    Digits digits{mantissa_of(value), value.scale()};
    // Below 2^96, times ten stays far inside 128 bits.
    for (Int128 tenfold = times_small(digits.mantissa, 10); digits.scale < Decimal::max_scale && tenfold < two_to_96;
         tenfold = times_small(digits.mantissa, 10)) {
        digits.mantissa = tenfold;
        ++digits.scale;
    }
    return digits;
}

Decimal to_decimal(const Int128& value, std::uint32_t scale) {
    const Int128 m = magnitude(value);
    if (!fits_bits(m, 96)) {
        throw Abort("Exact sum left 96 bits");
    }
    return Decimal::from_parts(value.is_negative(), static_cast<std::uint32_t>(m.hi), m.lo, scale);
}

}  // namespace tariffsieve::search
