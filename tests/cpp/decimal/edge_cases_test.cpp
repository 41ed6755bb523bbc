// The edge cases of parsing and of the arithmetic, value and scale,
// table-driven; the rules around the rounding digit of a long fraction.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "parse_messages.h"
#include "test_support.h"

namespace tariffsieve {
namespace {

using test::abort_message;
using test::D;
using test::describe;
using test::layout;
using test::make;
using test::raw_decimal;
using test::sign_bit;

constexpr const char* kMax = "79228162514264337593543950335";

namespace message = test::parse_message;

// ------------------------------------------------------------------ parse

struct ParseCase {
    std::string_view text;
    const char* error;  // null: success with the value below
    bool negative = false;
    const char* mantissa = "0";
    std::uint32_t scale = 0;
};

void check_parse(const ParseCase& c) {
    SCOPED_TRACE(std::string("text \"") + std::string(c.text) + "\"");
    const ParseResult r = from_str(c.text);
    if (c.error != nullptr) {
        ASSERT_FALSE(r.ok()) << "parsed to " << describe(r.value);
        EXPECT_STREQ(r.error, c.error);
    } else {
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(describe(r.value), describe(make(c.negative, c.mantissa, c.scale)));
    }
}

const std::vector<ParseCase> spec_parse_cases = {
    {"1.", nullptr, false, "1", 0},
    {".5", nullptr, false, "5", 1},
    {"+7", nullptr, false, "7", 0},
    {"-0", nullptr, false, "0", 0},
    {"-0.00", nullptr, false, "0", 2},
    {"1_000", nullptr, false, "1000", 0},
    {"1__0", nullptr, false, "10", 0},
    {"1_", nullptr, false, "1", 0},
    {"1._5", nullptr, false, "15", 1},
    {"0000000000000000000000000000000000000001", nullptr, false, "1", 0},
    {"_1", message::lead},
    {"-_1", message::lead},
    {"._5", message::lead},
    {"1e3", message::unknown},
    {"  1", message::unknown},
    {"1 ", message::unknown},
    {"1,5", message::unknown},
    {"--1", message::unknown},
    {"+-1", message::unknown},
    {"1-", message::unknown},
    {"", message::empty},
    {"-", message::no_digits},
    {"+", message::no_digits},
    {".", message::no_digits},
    {"+.", message::no_digits},
    {"1.2.3", message::two_points},
    {"..5", message::two_points},
    {"79228162514264337593543950335", nullptr, false, kMax, 0},
    {"79228162514264337593543950336", message::too_many_digits},
    {"100000000000000000000000000000", message::too_many_digits},
    {"79228162514264337593543950335.4", nullptr, false, kMax, 0},
    {"79228162514264337593543950335.5", message::round_overflow},
    {"7922816251426433759354395033.55", nullptr, false, "7922816251426433759354395034", 0},
    {"7.92281625142643375935439503355", nullptr, false, "7922816251426433759354395034", 27},
    {"0.00000000000000000000000000015", nullptr, false, "2", 28},
    {"0.00000000000000000000000000014", nullptr, false, "1", 28},
    {"-0.00000000000000000000000000015", nullptr, true, "2", 28},
    {"0.000000000000000000000000000049", nullptr, false, "0", 28},
    {"0.1234567890123456789012345678_9", nullptr, false, "1234567890123456789012345679", 28},
    {"0.1234567890123456789012345678_", nullptr, false, "1234567890123456789012345678", 28},
    {"0.1234567890123456789012345678.", message::two_points},
};

// Underscores are always skipped before the rounding digit (a), and the text
// after it must be digits and underscores (b).
const std::vector<ParseCase> rounding_digit_cases = {
    // a) the 9 behind the underscore is the rounding digit
    {"0.0000000000000000000000000001_9", nullptr, false, "2", 28},
    {"0.0000000000000000000000000001_4", nullptr, false, "1", 28},
    {"0.0000000000000000000000000001__5__", nullptr, false, "2", 28},
    {"-0.0000000000000000000000000001_5", nullptr, true, "2", 28},
    {"0.0000000000000000000000000000_", nullptr, false, "0", 28},
    {"0.0000000000000000000000000000___", nullptr, false, "0", 28},
    {"1.0000000000000000000000000000", nullptr, false, "10000000000000000000000000000", 28},
    {"0.0000000000000000000000000001_.", message::two_points},
    {"0.0000000000000000000000000001_x", message::unknown},
    {"0.0000000000000000000000000001 ", message::unknown},
    // b) the text behind the rounding digit is checked
    {"1.00000000000000000000000000005abc", message::unknown},
    {"1.000000000000000000000000000051_9", nullptr, false, "10000000000000000000000000001", 28},
    {"1.00000000000000000000000000005.", message::two_points},
    {"1.00000000000000000000000000005_.", message::two_points},
    {"1.000000000000000000000000000059-", message::unknown},
    {"1.00000000000000000000000000004+", message::unknown},
    {"1.00000000000000000000000000004\xc3\xa9", message::unknown},
    {"1.000000000000000000000000000049999", nullptr, false, "10000000000000000000000000000", 28},
    {"0.1234567890123456789012345678_9.", message::two_points},
    // The digit that would reach 2^96 after the point is the rounding digit.
    {"79228162514264337593543950335.4_4", nullptr, false, kMax, 0},
    {"79228162514264337593543950335._4", nullptr, false, kMax, 0},
    {"79228162514264337593543950335.4x", message::unknown},
    {"79228162514264337593543950335.4.", message::two_points},
    {"7922816251426433759354395033.55_9", nullptr, false, "7922816251426433759354395034", 0},
    {"7922816251426433759354395033.55.", message::two_points},
    {"7922816251426433759354395033.54e", message::unknown},
    {"7922816251426433759354395033.5_4", nullptr, false, kMax, 1},
    // Rounding overflow is found at the rounding digit, before the tail.
    {"79228162514264337593543950335.5x", message::round_overflow},
    {"-79228162514264337593543950335.9", message::round_overflow},
};

// Further checks of the grammar and the order of its errors.
const std::vector<ParseCase> more_parse_cases = {
    {"0", nullptr, false, "0", 0},
    {"-1_000.25", nullptr, true, "100025", 2},
    {"1.50", nullptr, false, "150", 2},
    {"+0.000", nullptr, false, "0", 3},
    {"1.__", nullptr, false, "1", 0},
    {"0.0000000000000000000000000001", nullptr, false, "1", 28},
    {"1844674407370954905", nullptr, false, "1844674407370954905", 0},
    {"18446744073709549059", nullptr, false, "18446744073709549059", 0},
    {"18446744073709551616", nullptr, false, "18446744073709551616", 0},
    {"-79228162514264337593543950335", nullptr, true, kMax, 0},
    {"7.9228162514264337593543950335", nullptr, false, kMax, 28},
    {"79228162514264337593543950335.", nullptr, false, kMax, 0},
    {"-0.0000000000000000000000000000", nullptr, false, "0", 28},
    {"1_+", message::unknown},
    {"+_", message::lead},
    {"_", message::lead},
    {".x", message::unknown},
    {"x_", message::unknown},
    {"._", message::lead},
    {"1..", message::two_points},
    {".1.x", message::two_points},
    {"1.x.", message::unknown},
    {"792281625142643375935439503350", message::too_many_digits},
    {"79228162514264337593543950336x", message::too_many_digits},
    {"\xc3\xa9", message::unknown},
    {std::string_view("1\0", 2), message::unknown},
};

TEST(DecimalParse, SpecEdgeCases) {
    for (const ParseCase& c : spec_parse_cases) check_parse(c);
}

TEST(DecimalParse, RoundingDigitRules) {
    for (const ParseCase& c : rounding_digit_cases) check_parse(c);
}

TEST(DecimalParse, MoreCases) {
    for (const ParseCase& c : more_parse_cases) check_parse(c);
}

// Short plain texts take a quicker path than the rest. A trailing
// underscore changes neither the value nor the error of a text that holds a
// digit, but sends it down the general loop: the two must agree on every
// text, valid or not, at every length around the quick path's limit.
TEST(DecimalParse, ShortTextsParseAsTheGeneralLoopReadsThem) {
    std::mt19937 rng(33);
    const std::string_view alphabet = "0123456789012345678900000099999.-+_x";
    for (int round = 0; round < 200000; ++round) {
        std::string text(rng() % 24, ' ');
        for (char& c : text) c = alphabet[rng() % alphabet.size()];
        if (text.find_first_of("0123456789") == std::string::npos) continue;
        SCOPED_TRACE("text \"" + text + "\"");
        const ParseResult quick = from_str(text);
        const ParseResult general = from_str(text + "_");
        ASSERT_EQ(quick.ok(), general.ok());
        if (quick.ok()) {
            ASSERT_EQ(describe(quick.value), describe(general.value));
        } else {
            ASSERT_STREQ(quick.error, general.error);
        }
    }
}

const std::vector<ParseCase> short_text_cases = {
    {"9999999999999999999", nullptr, false, "9999999999999999999", 0},  // 19 digits, the quick path's most
    {"-.9999999999999999999", nullptr, true, "9999999999999999999", 19},
    {"18446744073709551615", nullptr, false, "18446744073709551615", 0},  // 2^64 - 1: 20 digits
    {"18446744073709551616.5", nullptr, false, "184467440737095516165", 1},
    {"+0.0000000000000000001", nullptr, false, "1", 19},
    {"5.", nullptr, false, "5", 0},
    {"-.", message::no_digits},
    {"+", message::no_digits},
    {"1.2.", message::two_points},
    {"-1-", message::unknown},
};

TEST(DecimalParse, ShortTextLimits) {
    for (const ParseCase& c : short_text_cases) check_parse(c);
}

TEST(DecimalParse, NegativeZeroComparesEqualToZero) {
    EXPECT_EQ(cmp(D("-0"), D("0")), std::strong_ordering::equal);
    EXPECT_FALSE(D("-0").is_negative());
    EXPECT_FALSE(D("-0.00").is_negative());
}

TEST(DecimalParse, MaximumComparesEqualToMaxValue) {
    EXPECT_EQ(cmp(D(kMax), Decimal::max_value()), std::strong_ordering::equal);
    EXPECT_EQ(describe(D(kMax)), describe(Decimal::max_value()));
}

// ------------------------------------------------------------------ values

TEST(DecimalValue, Constants) {
    const Decimal z = Decimal::zero();
    EXPECT_EQ(layout(z).flags, 0u);
    EXPECT_EQ(layout(z).hi | layout(z).mid | layout(z).lo, 0u);
    const Decimal m = Decimal::max_value();
    EXPECT_EQ(layout(m).flags, 0u);
    EXPECT_EQ(layout(m).hi, 0xFFFFFFFFu);
    EXPECT_EQ(layout(m).mid, 0xFFFFFFFFu);
    EXPECT_EQ(layout(m).lo, 0xFFFFFFFFu);
    EXPECT_EQ(describe(m), std::string(kMax) + "E-0");
    const Decimal c = Decimal::from_count(0x123456789ABCDEFull);
    EXPECT_EQ(layout(c).flags, 0u);
    EXPECT_EQ(layout(c).hi, 0u);
    EXPECT_EQ(layout(c).mid, 0x01234567u);
    EXPECT_EQ(layout(c).lo, 0x89ABCDEFu);
    EXPECT_EQ(describe(Decimal::from_count(28)), "28E-0");
    EXPECT_EQ(describe(Decimal::from_count(~0ull)), "18446744073709551615E-0");
}

TEST(DecimalValue, FromParts) {
    const Decimal d = Decimal::from_parts(true, 7, 0x0000000100000002ull, 28);
    EXPECT_EQ(layout(d).flags, sign_bit | (28u << 16));
    EXPECT_EQ(layout(d).hi, 7u);
    EXPECT_EQ(layout(d).mid, 1u);
    EXPECT_EQ(layout(d).lo, 2u);
    EXPECT_EQ(d.mid_lo(), 0x0000000100000002ull);
    EXPECT_EQ(describe(Decimal::from_parts(true, 0, 0, 5)), "0E-5");  // zero is never negative
    EXPECT_EQ(abort_message([] { (void)Decimal::from_parts(false, 0, 1, 29); }),
              "Scale exceeds maximum supported scale");
    EXPECT_EQ(abort_message([] { (void)Decimal::from_parts(false, 0, 1, 255); }),
              "Scale exceeds maximum supported scale");
}

TEST(DecimalText, PlainNotationAtTheValuesOwnScale) {
    const struct {
        Decimal value;
        const char* text;
    } cases[] = {
        {make(false, "30", 2), "0.30"},
        {make(true, "15", 1), "-1.5"},
        {make(false, "5", 28), "0.0000000000000000000000000005"},
        {make(false, "0", 0), "0"},
        {make(false, "0", 3), "0.000"},
        {raw_decimal(sign_bit | (2u << 16), 0, 0, 0), "0.00"},  // a zero with its sign bit set
        {make(true, kMax, 0), "-79228162514264337593543950335"},
        {make(false, kMax, 28), "7.9228162514264337593543950335"},
        {make(false, "1000", 3), "1.000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_text(c.value), c.text) << describe(c.value);
    }
}

// ------------------------------------------------------------------ compare

struct CmpCase {
    Decimal a;
    Decimal b;
    std::strong_ordering want;
};

TEST(DecimalCompare, SpecEdgeCases) {
    const Decimal negative_zero = raw_decimal(sign_bit | (3u << 16), 0, 0, 0);
    const std::vector<CmpCase> cases = {
        {D("1.50"), D("1.5"), std::strong_ordering::equal},
        {D("0"), D("-0"), std::strong_ordering::equal},
        {D("0"), D("0.000"), std::strong_ordering::equal},
        {D("-0"), D("0.000"), std::strong_ordering::equal},
        {negative_zero, D("0"), std::strong_ordering::equal},
        {negative_zero, Decimal::zero(), std::strong_ordering::equal},
        {D("-0.5"), D("-0.3"), std::strong_ordering::less},
        {D("0.0000000000000000000000000001"), D("0"), std::strong_ordering::greater},
        {Decimal::max_value(), D("7.9228162514264337593543950335"), std::strong_ordering::greater},
        // and a few more
        {D("-0.0000000000000000000000000001"), negative_zero, std::strong_ordering::less},
        {negative_zero, D("-1"), std::strong_ordering::greater},
        {D("-1"), D("1"), std::strong_ordering::less},
        {D("7.9228162514264337593543950335"), D("7.922816251426433759354395034"), std::strong_ordering::less},
        {D("-79228162514264337593543950335"), D("-7.9228162514264337593543950335"), std::strong_ordering::less},
        {D("1000000000000000000.0"), D("999999999999999999.9999999999"), std::strong_ordering::greater},
        {D("2.5"), D("2.50000000000000000000000000"), std::strong_ordering::equal},
    };
    for (const CmpCase& c : cases) {
        SCOPED_TRACE(describe(c.a) + " vs " + describe(c.b));
        EXPECT_EQ(cmp(c.a, c.b), c.want);
        EXPECT_EQ(cmp(c.b, c.a), 0 <=> c.want);
        EXPECT_EQ(c.a == c.b, c.want == 0);
        EXPECT_EQ(c.a < c.b, c.want < 0);
    }
}

// ------------------------------------------------------------------ add

struct ArithCase {
    Decimal a;
    Decimal b;
    const char* abort;  // null: the result below
    Decimal want;
};

TEST(DecimalAdd, SpecEdgeCases) {
    const Decimal max = Decimal::max_value();
    const std::vector<ArithCase> cases = {
        {D("0"), D("1.50"), nullptr, make(false, "150", 2)},
        {D("1.50"), D("0"), nullptr, make(false, "150", 2)},
        {D("0.000"), D("1"), nullptr, make(false, "1", 0)},
        {D("0.1"), D("0.2"), nullptr, make(false, "3", 1)},
        {D("1.005"), D("2"), nullptr, make(false, "3005", 3)},
        {D("1.5"), D("-1.5"), nullptr, make(false, "0", 1)},
        {D("2"), D("-3.5"), nullptr, make(true, "15", 1)},
        {D("5.0000000000000000000000000000"), D("5.0000000000000000000000000005"), nullptr,
         make(false, "10000000000000000000000000000", 27)},
        {D("5.0000000000000000000000000000"), D("5.0000000000000000000000000015"), nullptr,
         make(false, "10000000000000000000000000002", 27)},
        {D("7.9228162514264337593543950335"), D("0.0000000000000000000000000001"), nullptr,
         make(false, "7922816251426433759354395034", 27)},
        {max, D("0.4"), nullptr, max},
        {max, D("0.5"), "Addition overflowed", {}},
        {max, D("1"), "Addition overflowed", {}},
        // and a few more
        {D("0.000"), D("0.0"), nullptr, make(false, "0", 1)},
        {D("-1.5"), D("1.5"), nullptr, make(false, "0", 1)},
        {D("-1.50"), D("1.5"), nullptr, make(false, "0", 2)},
        {D("-2"), D("-3.25"), nullptr, make(true, "525", 2)},
        {D("0.4"), max, nullptr, max},
        {D("-0.5"), max, nullptr, make(false, "79228162514264337593543950334", 0)},
        {D("-0.5"), D("-79228162514264337593543950334"), nullptr, make(true, "79228162514264337593543950334", 0)},
        {D("-0.5000000000000000000000000001"), D("-79228162514264337593543950334"), nullptr, make(true, kMax, 0)},
        {D("-0.5"), D("-79228162514264337593543950335"), "Addition overflowed", {}},
        {D("0.49999999999999999999999999"), max, nullptr, max},
        {max, max, "Addition overflowed", {}},
        {D("-79228162514264337593543950335"), D("-1"), "Addition overflowed", {}},
        {max, D("-79228162514264337593543950335"), nullptr, make(false, "0", 0)},
        // scale 28 does not fit; at scale 1 the cut-off 0.0...01 is below half
        {D("7922816251426433759354395033.5"), D("0.0000000000000000000000000001"), nullptr, make(false, kMax, 1)},
        // ...033.55: at scale 1 the tie goes to the even 2^96, which does not fit
        {D("7922816251426433759354395033.5"), D("0.05"), nullptr, make(false, "7922816251426433759354395034", 0)},
        // same scale, one digit cut: 2^96 + 4 ends in ...6, and 2^96 + 9 ends in 1
        {D("7.9228162514264337593543950335"), D("0.0000000000000000000000000005"), nullptr,
         make(false, "7922816251426433759354395034", 27)},
        {D("3.9614081257132168796771975168"), D("3.9614081257132168796771975168"), nullptr,
         make(false, "7922816251426433759354395034", 27)},
    };
    for (const ArithCase& c : cases) {
        SCOPED_TRACE(describe(c.a) + " + " + describe(c.b));
        Decimal sum = c.a;
        const std::string message = abort_message([&] { add_assign(sum, c.b); });
        if (c.abort != nullptr) {
            EXPECT_EQ(message, c.abort);
        } else {
            EXPECT_EQ(message, "");
            EXPECT_EQ(describe(sum), describe(c.want));
            Decimal via_operator = c.a;
            via_operator += c.b;
            EXPECT_EQ(describe(via_operator), describe(c.want));
        }
    }
}

void check_divide(const std::vector<ArithCase>& cases) {
    for (const ArithCase& c : cases) {
        SCOPED_TRACE(describe(c.a) + " / " + describe(c.b));
        Decimal q;
        const std::string message = abort_message([&] { q = divide(c.a, c.b); });
        if (c.abort != nullptr) {
            EXPECT_EQ(message, c.abort);
        } else {
            EXPECT_EQ(message, "");
            EXPECT_EQ(describe(q), describe(c.want));
            EXPECT_EQ(describe(c.a / c.b), describe(c.want));
        }
    }
}

// ------------------------------------------------------------------ divide

TEST(DecimalDivide, SpecEdgeCases) {
    const Decimal max = Decimal::max_value();
    const std::vector<ArithCase> cases = {
        {D("1"), D("3"), nullptr, make(false, "3333333333333333333333333333", 28)},
        {D("2"), D("3"), nullptr, make(false, "6666666666666666666666666667", 28)},
        {D("1"), D("6"), nullptr, make(false, "1666666666666666666666666667", 28)},
        {D("1"), D("7"), nullptr, make(false, "1428571428571428571428571429", 28)},
        // Exact quotients: the exact value, held at the fewest digits
        // (not below the scale difference of the operands).
        {D("1"), D("2"), nullptr, make(false, "5", 1)},
        {D("1"), D("4"), nullptr, make(false, "25", 2)},
        {D("1"), D("8"), nullptr, make(false, "125", 3)},
        {D("1"), D("16"), nullptr, make(false, "625", 4)},
        {D("10"), D("4"), nullptr, make(false, "25", 1)},
        {D("6"), D("3"), nullptr, make(false, "2", 0)},
        {D("1.5"), D("3"), nullptr, make(false, "5", 1)},
        {D("-5"), D("2"), nullptr, make(true, "25", 1)},
        {max, D("2"), nullptr, make(false, "39614081257132168796771975168", 0)},
        {max, D("3"), nullptr, make(false, "26409387504754779197847983445", 0)},
        {D("0"), D("7"), nullptr, make(false, "0", 0)},
        {D("0.00"), D("3"), nullptr, make(false, "0", 0)},
        {D("0.0000000000000000000000000001"), D("3"), nullptr, make(false, "0", 0)},
        {D("-0.0000000000000000000000000001"), D("3"), nullptr, make(false, "0", 0)},
        {D("1"), D("0"), "Division by zero", {}},
        {D("-2.5"), D("0.000"), "Division by zero", {}},
        {D("0"), D("0"), "Division by zero", {}},
        {max, D("0"), "Division by zero", {}},
    };
    check_divide(cases);
}

TEST(DecimalDivide, MoreCases) {
    const Decimal max = Decimal::max_value();
    const std::vector<ArithCase> cases = {
        {D("1.50"), D("1"), nullptr, make(false, "150", 2)},
        {D("1.50"), D("-0.5"), nullptr, make(true, "30", 1)},
        {D("-1"), D("-3"), nullptr, make(false, "3333333333333333333333333333", 28)},
        {D("1"), D("0.3"), nullptr, make(false, "33333333333333333333333333333", 28)},
        {D("0.0000000000000000000000000002"), D("4"), nullptr, make(false, "0", 0)},  // tie to even 0
        {D("0.0000000000000000000000000003"), D("2"), nullptr, make(false, "2", 28)},  // tie to even 2
        {D("0.0000000000000000000000000005"), D("2"), nullptr, make(false, "2", 28)},  // tie to even 2
        {D("1"), D("0.0000000000000000000000000001"), nullptr, make(false, "10000000000000000000000000000", 0)},
        {D("7.9228162514264337593543950335"), D("0.0000000000000000000000000001"), nullptr, max},
        {max, D("1"), nullptr, max},
        {max, D("-1"), nullptr, make(true, kMax, 0)},
        {max, D("10"), nullptr, make(false, kMax, 1)},
        {max, D("4294967295"), nullptr, make(false, "18446744078004518913", 0)},
        {max, D("0.5"), "Division overflowed", {}},
        {max, D("0.9999999999999999999999999999"), "Division overflowed", {}},
        {D("8"), D("0.0000000000000000000000000001"), "Division overflowed", {}},
        {max, D("0.0000000000000000000000000001"), "Division overflowed", {}},
        // 2^96 - 1 rounded up at scale 2 does not fit: ...033.57 at scale 1
        {D("5545971375998503631548076523.5"), D("7"), nullptr, make(false, "7922816251426433759354395034", 1)},
        // the next digit overflows: one digit is given back, rounding on it
        {D("55459713759985036315480765236"), D("7"), nullptr, make(false, "7922816251426433759354395034", 0)},
        // ... or exactly, with a zero that is then dropped
        {D("1584563250285286751870879007"), D("2"), nullptr, make(false, "7922816251426433759354395035", 1)},
        {D("158456325028528675187087901"), D("2"), nullptr, make(false, "792281625142643375935439505", 1)},
        // divisors of more than 32 bits: the same value rule
        {D("1"), D("3000000000000"), nullptr, make(false, "3333333333333333", 28)},
        {D("1"), D("4294967296"), nullptr, make(false, "2328306436538696289", 28)},
        {max, D("4294967296"), nullptr, make(false, "18446744073709551616000000000", 9)},
        {max, max, nullptr, make(false, "1", 0)},
        {D("1"), max, nullptr, make(false, "0", 0)},
        {D("100000000000000000000000000"), max, nullptr, make(false, "12621774483536188886587657", 28)},
        {max, D("0.0000000000000000000000004294967296"), "Division overflowed", {}},
        {D("-12.5"), D("0.0000000000000000000000000000000000"), "Division by zero", {}},
    };
    check_divide(cases);
}

TEST(DecimalDivide, CountsAsDivisors) {
    // The engine divides a sum by Decimal::from_count(n), n from 1 to 28.
    for (std::uint64_t n = 1; n <= 28; ++n) {
        SCOPED_TRACE(n);
        const Decimal count = Decimal::from_count(n);
        EXPECT_EQ(cmp(divide(Decimal::from_count(n * 3), count), D("3")), std::strong_ordering::equal);
        EXPECT_EQ(describe(divide(D("0"), count)), "0E-0");
    }
    EXPECT_EQ(describe(divide(D("10.00"), Decimal::from_count(4))), "250E-2");
    EXPECT_EQ(describe(D("10.00") / Decimal::from_count(3)), "33333333333333333333333333333E-28");
}

}  // namespace
}  // namespace tariffsieve
