// Plain decimal text for numbers given by their digits, the one parse of a
// price, and the messages that report a price without an exact decimal.
#include "price_text.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace tariffsieve::py {
namespace {

// A decimal integer part of this many digits is at least 10^29, beyond 2^96:
// the parser refuses it whatever digits follow.
constexpr long long refused_integer_digits = 30;
// The 29th digit behind the point is the parser's rounding digit and the
// digits after it play no part, so 29 zeros behind the point say all.
constexpr long long significant_leading_zeros = 29;

// Zero, with as many zeros behind the point as its text would keep.
std::string plain_zero(long long fraction_digits) {
    std::string zero = "0";
    if (fraction_digits > 0) {
        zero += '.';
        zero.append(static_cast<std::size_t>(std::min(fraction_digits, significant_leading_zeros)), '0');
    }
    return zero;
}

}  // namespace

std::string PricePlace::text() const {
    return index ? std::string(parameter) + "[" + std::to_string(*index) + "]" : std::string(parameter);
}

PriceReading invalid_price(const PricePlace& place, std::string_view shown, std::string_view reason) {
    std::string message = "Invalid decimal: " + place.text() + " is ";
    message += shown;
    message += " (";
    message += reason;
    message += ')';
    return {Decimal{}, std::move(message)};
}

std::string_view parser_reason(std::string_view message) {
    constexpr std::string_view lead = "Invalid decimal: ";
    return message.substr(0, lead.size()) == lead ? message.substr(lead.size()) : message;
}

PriceReading parse_price(std::string_view text, const PricePlace& place, std::string_view shown,
                         std::string_view reason) {
    const PriceReading reading = parse_price_text(text);
    return reading.ok() ? reading : invalid_price(place, shown, reason);
}

std::string plain_decimal(bool negative, std::string_view digits, long long point) {
    const long long fraction_digits = static_cast<long long>(digits.size()) - point;
    while (!digits.empty() && digits.front() == '0') {
        digits.remove_prefix(1);
        --point;
    }
    if (digits.empty()) {
        return plain_zero(fraction_digits);
    }
    std::string text = negative ? "-" : "";
    const long long count = static_cast<long long>(digits.size());
    if (point >= count) {
        const long long integer_digits = std::min(point, refused_integer_digits);
        text += digits.substr(0, static_cast<std::size_t>(std::min(count, integer_digits)));
        text.append(static_cast<std::size_t>(std::max(0LL, integer_digits - count)), '0');
    } else if (point <= 0) {
        text += "0.";
        const long long zeros = -point;
        if (zeros >= significant_leading_zeros) {
            text.append(static_cast<std::size_t>(significant_leading_zeros), '0');
        } else {
            text.append(static_cast<std::size_t>(zeros), '0');
            text += digits;
        }
    } else {
        text += digits.substr(0, static_cast<std::size_t>(point));
        text += '.';
        text += digits.substr(static_cast<std::size_t>(point));
    }
    return text;
}

std::string plain_float_text(std::string_view shown) {
    const bool negative = !shown.empty() && shown.front() == '-';
    if (negative) {
        shown.remove_prefix(1);
    }
    const std::size_t e = shown.find('e');
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view power = shown.substr(e + 1);
        if (!power.empty() && power.front() == '+') {
            power.remove_prefix(1);  // from_chars takes no plus sign
        }
        std::from_chars(power.data(), power.data() + power.size(), exponent);
        shown = shown.substr(0, e);
    }
    std::string digits;
    std::size_t before_point = shown.size();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == '.') {
            before_point = i;
        } else {
            digits += shown[i];
        }
    }
    return plain_decimal(negative, digits, static_cast<long long>(before_point) + exponent);
}

std::string int_size_text(std::uint64_t bits) { return "an int of " + std::to_string(bits) + " bits"; }

std::string too_many_prices_message(std::uint64_t max_items) {
    return "prices cannot contain more than " + std::to_string(max_items) + " items";
}

}  // namespace tariffsieve::py
