// Price text that needs no interpreter: the plain decimal text a number's
// digits spell, the one parse of that text into a Decimal, and the messages
// that say which price holds no decimal and why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decimal/decimal.h"

namespace tariffsieve::py {

// get_cheapest_periods' whole message for text that is no decimal.
inline constexpr char invalid_decimal_message[] = "Invalid decimal";
// Reasons that plan's messages give for numbers without an exact decimal.
inline constexpr char not_finite_reason[] = "not a finite number";
inline constexpr char out_of_range_reason[] = "out of range: a price's magnitude must be below 2^96";

// Where a price stands, for messages: a parameter ("low_price_threshold") or
// an item of the prices ("prices[3]").
struct PricePlace {
    const char* parameter;
    std::optional<std::uint64_t> index;  // set for an item of the sequence

    std::string text() const;
};

// What a price object holds: its value, or, when it holds no exact decimal
// (not finite, out of range, text that does not parse), the whole message of
// the ValueError that reports it.
struct PriceReading {
    Decimal value;
    std::string invalid;  // empty when value holds the price

    bool ok() const { return invalid.empty(); }
};

// "Invalid decimal: <place> is <shown> (<reason>)".
PriceReading invalid_price(const PricePlace& place, std::string_view shown, std::string_view reason);

// The one parse of a price: the text's value, or the parser's message
// ("Invalid decimal: <reason>"). Inline: get_cheapest_periods parses every
// price through it.
inline PriceReading parse_price_text(std::string_view text) {
    const ParseResult parsed = from_str(text);
    if (parsed.ok()) {
        return {parsed.value, {}};
    }
    // A parser message is never empty, so that the reading reports a failure.
    return {Decimal{}, *parsed.error != '\0' ? parsed.error : invalid_decimal_message};
}

// The parser's reason: its message without the leading "Invalid decimal: ".
std::string_view parser_reason(std::string_view message);

// Parses text made from a number; a failure is reported as the object
// `shown`, with `reason`.
PriceReading parse_price(std::string_view text, const PricePlace& place, std::string_view shown,
                         std::string_view reason);

// Plain decimal text of the number sign · 0.digits · 10^point: `point`
// digits stand before the decimal point (fewer than none means zeros after
// it). Parses exactly as the full text would: integer parts long enough to
// be refused and zeros beyond the rounding digit are cut short.
std::string plain_decimal(bool negative, std::string_view digits, long long point);

// A float's shortest round-tripping text (as repr shows it: 0.1, 1e-05,
// 1.5e+16) in plain decimal notation.
std::string plain_float_text(std::string_view shown);

// An integer's decimal text as messages show it: "an int of <bits> bits".
std::string int_size_text(std::uint64_t bits);

// "prices cannot contain more than <max_items> items".
std::string too_many_prices_message(std::uint64_t max_items);

}  // namespace tariffsieve::py
