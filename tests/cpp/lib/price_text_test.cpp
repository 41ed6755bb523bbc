// The Python-free price text of the module: plain decimal text made from a
// number's digits must parse exactly as the number's full text does, and the
// messages must name the price and the reason.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "decimal/decimal.h"
#include "price_text.h"

namespace tariffsieve::py {
namespace {

// The complete text of sign · 0.digits · 10^point, nothing cut: what the
// short text must mean.
std::string full_text(bool negative, std::string_view digits, long long point) {
    std::string text = negative ? "-" : "";
    const long long count = static_cast<long long>(digits.size());
    if (point <= 0) {
        text += "0." + std::string(static_cast<std::size_t>(-point), '0') + std::string(digits);
    } else if (point >= count) {
        text += std::string(digits) + std::string(static_cast<std::size_t>(point - count), '0');
    } else {
        text += std::string(digits.substr(0, static_cast<std::size_t>(point))) + "." +
                std::string(digits.substr(static_cast<std::size_t>(point)));
    }
    return text;
}

TEST(PlainDecimal, ParsesAsTheFullText) {
    const char* digit_cases[] = {"1", "5", "15", "00012", "123456789", "79228162514264337593543950335",
                                 "79228162514264337593543950336", "0", "000"};
    const long long points[] = {-45, -30, -29, -28, -27, -1, 0, 1, 3, 28, 29, 30, 31, 45};
    for (const char* digits : digit_cases) {
        for (const long long point : points) {
            for (const bool negative : {false, true}) {
                const std::string full = full_text(negative, digits, point);
                const std::string plain = plain_decimal(negative, digits, point);
                const ParseResult expected = from_str(full);
                const ParseResult got = from_str(plain);
                SCOPED_TRACE(full + " as " + plain);
                ASSERT_EQ(got.ok(), expected.ok());
                if (expected.ok()) {
                    EXPECT_EQ(got.value, expected.value);
                    EXPECT_EQ(got.value.scale(), expected.value.scale());
                    EXPECT_EQ(got.value.is_negative(), expected.value.is_negative());
                }
                EXPECT_LE(plain.size(), std::string_view(digits).size() + 33);  // short whatever the exponent
            }
        }
    }
}

TEST(PlainDecimal, Forms) {
    EXPECT_EQ(plain_decimal(false, "15", 1), "1.5");
    EXPECT_EQ(plain_decimal(true, "15", -2), "-0.0015");
    EXPECT_EQ(plain_decimal(false, "15", 4), "1500");
    EXPECT_EQ(plain_decimal(false, "0015", 2), "0.15");
    EXPECT_EQ(plain_decimal(true, "000", 1), "0.00");  // zero: its scale, never a sign
    EXPECT_EQ(plain_decimal(false, "", 0), "0");
}

TEST(PlainFloatText, ReprFormsInPlainNotation) {
    EXPECT_EQ(plain_float_text("0.1"), "0.1");
    EXPECT_EQ(plain_float_text("-2.5"), "-2.5");
    EXPECT_EQ(plain_float_text("1e-05"), "0.00001");
    EXPECT_EQ(plain_float_text("1.5e+16"), "15000000000000000");
    EXPECT_EQ(plain_float_text("1.2345e-07"), "0.00000012345");
    EXPECT_EQ(plain_float_text("-0.0"), "0.0");
    EXPECT_EQ(plain_float_text("100.0"), "100.0");
    EXPECT_FALSE(from_str(plain_float_text("1e+29")).ok());                     // beyond 2^96
    EXPECT_EQ(from_str(plain_float_text("5e-324")).value, Decimal::zero());  // below the last digit
    EXPECT_EQ(from_str(plain_float_text("7.922816251426434e+28")).ok(), false);
}

TEST(PriceMessages, NameThePlaceTheValueAndTheReason) {
    EXPECT_EQ(PricePlace({"prices", 3}).text(), "prices[3]");
    EXPECT_EQ(PricePlace({"low_price_threshold", {}}).text(), "low_price_threshold");
    EXPECT_EQ(invalid_price({"prices", 0}, "nan", not_finite_reason).invalid,
              "Invalid decimal: prices[0] is nan (not a finite number)");
    EXPECT_EQ(parse_price("1e29", {"prices", 7}, "1e+29", out_of_range_reason).invalid,
              std::string("Invalid decimal: prices[7] is 1e+29 (") + out_of_range_reason + ")");
    EXPECT_EQ(int_size_text(333), "an int of 333 bits");
    EXPECT_EQ(too_many_prices_message(2016), "prices cannot contain more than 2016 items");
}

TEST(ParsePriceText, ValueOrTheParsersMessage) {
    const PriceReading read = parse_price_text("-1_000.250");
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value, from_str("-1000.25").value);
    EXPECT_EQ(read.value.scale(), 3u);
    for (const char* text : {"abc", "", "1e3", "--1", "1.2.3"}) {
        const PriceReading failed = parse_price_text(text);
        EXPECT_FALSE(failed.ok()) << text;
        EXPECT_EQ(std::string_view(failed.invalid).substr(0, 17), "Invalid decimal: ") << text;
        EXPECT_EQ(parser_reason(failed.invalid), std::string_view(failed.invalid).substr(17)) << text;
    }
    EXPECT_EQ(parser_reason(parse_price_text("abc").invalid), "unknown character");
    EXPECT_EQ(parser_reason(parse_price_text("").invalid), "empty");
    EXPECT_EQ(parser_reason("no lead"), "no lead");
}

}  // namespace
}  // namespace tariffsieve::py
