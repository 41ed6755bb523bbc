// The search's 128-bit integer: carries between the words, signed order,
// and the multiply that refuses products of 2^126 or more. Where the
// compiler has a native 128-bit type, random operands are checked against it.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "engine/search/int128.h"

namespace tariffsieve {
namespace {

constexpr std::uint64_t ones = ~std::uint64_t{0};

TEST(Int128, AdditionCarriesAndNegationWraps) {
    EXPECT_EQ(Int128::from_words(0, ones) + Int128::from_int64(1), Int128::from_words(1, 0));
    EXPECT_EQ(Int128::from_words(1, 0) - Int128::from_int64(1), Int128::from_words(0, ones));
    EXPECT_EQ(-Int128::from_int64(1), Int128::from_words(ones, ones));
    EXPECT_EQ(Int128::from_int64(-5) + Int128::from_int64(5), Int128{});
    EXPECT_TRUE(Int128::from_int64(-1).is_negative());
    EXPECT_TRUE(Int128::from_int64(-3).is_odd());
}

TEST(Int128, OrderIsSigned) {
    EXPECT_LT(Int128::from_int64(-1), Int128::from_int64(0));
    EXPECT_LT(Int128::from_words(ones >> 1, ones) + Int128::from_int64(1), Int128::from_int64(0));  // wraps to -2^127
    EXPECT_LT(Int128::from_words(0, ones), Int128::from_words(1, 0));
    EXPECT_GT(Int128::from_words(1, 0), Int128::from_int64(-7));
}

TEST(Int128, FitsBitsLooksAtTheMagnitude) {
    EXPECT_TRUE(fits_bits(Int128::from_words(0, ones), 64));
    EXPECT_FALSE(fits_bits(Int128::from_words(1, 0), 64));
    EXPECT_TRUE(fits_bits(-Int128::from_words(0, ones), 64));
    EXPECT_TRUE(fits_bits(Int128::from_int64(-1), 1));
    EXPECT_FALSE(fits_bits(Int128::from_int64(2), 1));
    EXPECT_TRUE(fits_bits(Int128::from_words(std::uint64_t{1} << 31, 0), 96));
    EXPECT_FALSE(fits_bits(Int128::from_words(std::uint64_t{1} << 32, 0), 96));
}

TEST(Int128, CheckedMultiplyStopsAt2To126) {
    const Int128 two_to_63 = Int128::from_words(0, std::uint64_t{1} << 63);
    const Int128 just_below = Int128::from_words((std::uint64_t{1} << 62) - 1, ones);
    EXPECT_EQ(checked_mul(two_to_63, Int128::from_int64(2)), Int128::from_words(1, 0));
    EXPECT_EQ(checked_mul(two_to_63, Int128::from_int64(-2)), -Int128::from_words(1, 0));
    EXPECT_EQ(checked_mul(just_below, Int128::from_int64(1)), just_below);
    EXPECT_FALSE(checked_mul(Int128::from_words(std::uint64_t{1} << 62, 0), Int128::from_int64(1)));
    EXPECT_FALSE(checked_mul(two_to_63, two_to_63));  // 2^126
    EXPECT_EQ(checked_mul(Int128::from_words(0, ones), Int128::from_words(0, ones >> 2)),
              Int128::from_words((ones >> 2) - 1, 0xC000000000000001u));
    EXPECT_EQ(checked_mul(Int128::from_int64(-3), Int128::from_int64(-4)), Int128::from_int64(12));
    EXPECT_EQ(checked_mul(Int128{}, Int128::from_words(ones >> 1, ones)), Int128{});
}

#ifdef __SIZEOF_INT128__
__extension__ using native = __int128;
__extension__ using native_unsigned = unsigned __int128;

native as_native(Int128 v) { return static_cast<native>((static_cast<native_unsigned>(v.hi) << 64) | v.lo); }

TEST(Int128, MatchesTheNativeTypeOnRandomOperands) {
    std::mt19937_64 random(128);
    for (int i = 0; i < 100000; ++i) {
        // Operands of random widths, so both the small and the refused products occur.
        const auto operand = [&] {
            const int bits = static_cast<int>(random() % 100);
            const std::uint64_t lo = random();
            const std::uint64_t hi = bits > 64 ? random() >> (128 - bits) : 0;
            // A shift by 64 would be undefined: zero bits is plain zero.
            const std::uint64_t low = bits >= 64 ? lo : bits == 0 ? 0 : lo >> (64 - bits);
            Int128 v = Int128::from_words(hi, low);
            return (random() & 1) ? -v : v;
        };
        const Int128 a = operand();
        const Int128 b = operand();
        ASSERT_EQ(as_native(a + b), as_native(a) + as_native(b));
        ASSERT_EQ(as_native(a - b), as_native(a) - as_native(b));
        ASSERT_EQ(a < b, as_native(a) < as_native(b));
        const std::optional<Int128> product = checked_mul(a, b);
        const native limit = static_cast<native>(1) << 126;
        const auto magnitude_of = [](native v) { return v < 0 ? -v : v; };
        // Reference: refuse when |a| * |b| >= 2^126, computed without overflow.
        const native ma = magnitude_of(as_native(a));
        const native mb = magnitude_of(as_native(b));
        const bool too_large = ma != 0 && mb >= (limit + ma - 1) / ma;
        ASSERT_EQ(!product.has_value(), too_large);
        if (product) {
            ASSERT_EQ(as_native(*product), as_native(a) * as_native(b));
        }
        // A small factor, up to 2^31, of an operand below 2^96: every word's carry counts.
        const std::uint64_t small = random() >> (33 + random() % 31);
        const Int128 narrow = Int128::from_words(a.hi & 0xffffffffu, a.lo);
        const Int128 signed_narrow = (random() & 1) ? -narrow : narrow;
        ASSERT_EQ(as_native(times_small(signed_narrow, small)), as_native(signed_narrow) * static_cast<native>(small));
    }
}
#endif

}  // namespace
}  // namespace tariffsieve
