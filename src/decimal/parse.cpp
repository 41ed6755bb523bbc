// Parsing decimal text into a Decimal.
//
// The grammar: an optional sign as the first byte, then ASCII digits with at
// most one point, underscores allowed anywhere after the first digit, at
// least one digit. The first failing byte, in text order, decides the error.
//
// At most 28 digits are kept behind the point, and a digit after the point
// that would make the mantissa reach 2^96 is not kept either. The first
// digit that is not kept is the rounding digit: 5 to 9 round the magnitude
// up (halves away from zero), 0 to 4 leave it. Underscores are skipped
// before it like everywhere else, and every byte after it must
// still be a digit or an underscore; their values play no part.
#include "decimal/decimal.h"
#include "decimal/words.h"

namespace tariffsieve {

namespace {

constexpr const char* err_empty = "Invalid decimal: empty";
constexpr const char* err_no_digits = "Invalid decimal: no digits found";
constexpr const char* err_lead = "Invalid decimal: must start lead with a number";
constexpr const char* err_two_points = "Invalid decimal: two decimal points";
constexpr const char* err_unknown = "Invalid decimal: unknown character";
constexpr const char* err_too_many_digits = "Invalid decimal: overflow from too many digits";
constexpr const char* err_round_overflow = "Invalid decimal: overflow from mantissa after rounding";

// Above this bound, 10 * m + 9 no longer fits 64 bits.
constexpr std::uint64_t bound64 = 1844674407370954905u;

constexpr bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

ParseResult failure(const char* message) { return ParseResult{Decimal{}, message}; }

ParseResult success(bool negative, const std::uint32_t (&m)[3], std::uint32_t scale) {
    return ParseResult{detail::make_decimal(negative, m, scale), nullptr};
}

// The mantissa: a 64-bit accumulator while it stays small, then three words.
struct Mantissa {
    std::uint64_t small = 0;
    std::uint32_t w[3] = {0, 0, 0};
    bool wide = false;

    // Appends digit d; false (and no change) when the result reaches 2^96.
    bool push(std::uint32_t d) {
        if (!wide) {
            if (small <= bound64) {
                small = small * 10 + d;
                return true;
            }
            w[0] = static_cast<std::uint32_t>(small);
            w[1] = static_cast<std::uint32_t>(small >> 32);
            w[2] = 0;
            wide = true;
        }
        std::uint64_t t = std::uint64_t{w[0]} * 10 + d;
        const std::uint32_t n0 = static_cast<std::uint32_t>(t);
        t = std::uint64_t{w[1]} * 10 + (t >> 32);
        const std::uint32_t n1 = static_cast<std::uint32_t>(t);
        t = std::uint64_t{w[2]} * 10 + (t >> 32);
        if ((t >> 32) != 0) return false;
        w[0] = n0;
        w[1] = n1;
        w[2] = static_cast<std::uint32_t>(t);
        return true;
    }

    void words(std::uint32_t (&out)[3]) const {
        if (wide) {
            detail::copy_words(out, w);
        } else {
            out[0] = static_cast<std::uint32_t>(small);
            out[1] = static_cast<std::uint32_t>(small >> 32);
            out[2] = 0;
        }
    }
};

// Finishes a parse at the rounding byte text[i], with the mantissa and the
// count of digits kept behind the point (the scale) as they stand.
ParseResult finish_rounding(std::string_view text, std::size_t i, bool negative, const Mantissa& mant,
                            std::uint32_t scale) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '.') return failure(err_two_points);  // the point has always been seen here
    if (!is_digit(c)) return failure(err_unknown);
    std::uint32_t m[3];
    mant.words(m);
    if (c >= '5') {
        if (detail::is_max96(m)) {
            if (scale == 0) return failure(err_round_overflow);
            detail::copy_words(m, detail::rounded_max_over_10);
            --scale;
        } else {
            detail::increment(m);
        }
    }
    // What follows the rounding digit must be digits and underscores.
    for (std::size_t j = i + 1; j < text.size(); ++j) {
        const unsigned char t = static_cast<unsigned char>(text[j]);
        if (is_digit(t) || t == '_') continue;
        return failure(t == '.' ? err_two_points : err_unknown);
    }
    return success(negative, m, scale);
}

// Digits that always fit the 64-bit accumulator: 10^19 - 1 < 2^64.
constexpr std::size_t short_digits = 19;

// Reads digits from text[i] on into m; returns where they end.
std::size_t read_digits(std::string_view text, std::size_t i, std::uint64_t& m) {
    for (; i < text.size() && is_digit(static_cast<unsigned char>(text[i])); ++i) {
        m = m * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    return i;
}

// Prices are nearly always short plain text such as "0.09213": a sign, at
// most 19 digits, at most one point, no underscores. Such a text can reach
// neither 2^64 nor the 28-digit scale, so none of the general loop's
// per-digit checks apply. Any other text (a longer one, an underscore, an
// error) is left to the general loop, which alone words the errors.
bool parse_short(std::string_view text, ParseResult& out) {
    if (text.size() > short_digits + 2) return false;
    const bool negative = text[0] == '-';
    const std::size_t start = (negative || text[0] == '+') ? 1 : 0;
    std::uint64_t m = 0;
    const std::size_t integer_end = read_digits(text, start, m);
    std::size_t end = integer_end;
    if (end < text.size() && text[end] == '.') {
        end = read_digits(text, end + 1, m);
    }
    const std::size_t fraction = end > integer_end ? end - integer_end - 1 : 0;
    const std::size_t digits = integer_end - start + fraction;
    if (end != text.size() || digits == 0 || digits > short_digits) return false;
    const std::uint32_t words[3] = {static_cast<std::uint32_t>(m), static_cast<std::uint32_t>(m >> 32), 0};
    out = success(negative, words, static_cast<std::uint32_t>(fraction));
    return true;
}

}  // namespace

ParseResult from_str(std::string_view text) {
    const std::size_t n = text.size();
    if (n == 0) return failure(err_empty);
    if (ParseResult quick; parse_short(text, quick)) return quick;

    std::size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }

    Mantissa mant;
    bool point = false;
    bool any_digit = false;
    std::uint32_t frac = 0;  // digits kept behind the point

    for (; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (is_digit(c)) {
            if (!mant.push(static_cast<std::uint32_t>(c - '0'))) {
                if (!point) return failure(err_too_many_digits);
                return finish_rounding(text, i, negative, mant, frac);
            }
            any_digit = true;
            if (point && ++frac == Decimal::max_scale) {
                // Cut-off: skip the underscores that follow; the
                // next byte, if any, is the rounding byte.
                std::size_t j = i + 1;
                while (j < n && text[j] == '_') ++j;
                if (j < n) return finish_rounding(text, j, negative, mant, frac);
                break;
            }
        } else if (c == '.') {
            if (point) return failure(err_two_points);
            point = true;
        } else if (c == '_') {
            if (!any_digit) return failure(err_lead);
        } else {
            return failure(err_unknown);
        }
    }

    if (!any_digit) return failure(err_no_digits);
    std::uint32_t m[3];
    mant.words(m);
    return success(negative, m, frac);
}

}  // namespace tariffsieve
