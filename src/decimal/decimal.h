// Exact decimal number: sign, unsigned 96-bit mantissa, scale 0 to 28.
// Parsing from text and back, comparison by value, addition and division.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace tariffsieve {

namespace detail {
struct DecimalLayout;
}

class Decimal {
public:
    static constexpr std::uint32_t max_scale = 28;

    constexpr Decimal() = default;
    static constexpr Decimal zero() { return Decimal{}; }
    // 2^96 - 1 at scale 0: 79228162514264337593543950335.
    static constexpr Decimal max_value() { return Decimal(0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu); }
    static constexpr Decimal from_count(std::uint64_t n) {
        return Decimal(0, 0, static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(n >> 32));
    }
    // Assembles a value from its sign, mantissa (bits 64-95 in hi, bits 0-63
    // in mid_lo) and scale; a scale above 28 aborts.
    static Decimal from_parts(bool negative, std::uint32_t hi, std::uint64_t mid_lo, std::uint32_t scale);

    constexpr std::uint32_t scale() const { return (flags_ >> scale_shift) & 0xFFu; }
    constexpr bool is_negative() const { return (flags_ & sign_bit) != 0; }
    constexpr bool is_zero() const { return (hi_ | mid_ | lo_) == 0; }
    // The mantissa: bits 64-95, and bits 0-63.
    constexpr std::uint32_t hi() const { return hi_; }
    constexpr std::uint64_t mid_lo() const { return (std::uint64_t{mid_} << 32) | lo_; }

private:
    friend struct detail::DecimalLayout;

    // Bits 16-23 of the flags hold the scale, bit 31 the sign; every other
    // bit is zero.
    static constexpr std::uint32_t sign_bit = 0x80000000u;
    static constexpr std::uint32_t scale_shift = 16;

    constexpr Decimal(std::uint32_t flags, std::uint32_t hi, std::uint32_t lo, std::uint32_t mid)
        : flags_(flags), hi_(hi), lo_(lo), mid_(mid) {}

    // Only the decimal code (through detail::DecimalLayout) sees these.
    std::uint32_t flags_ = 0;
    std::uint32_t hi_ = 0;   // mantissa bits 64-95
    std::uint32_t lo_ = 0;   // mantissa bits 0-31
    std::uint32_t mid_ = 0;  // mantissa bits 32-63
};

// Outcome of from_str: a value, or the message of the first failing rule.
struct ParseResult {
    Decimal value;
    const char* error = nullptr;  // a string literal, or null on success
    constexpr bool ok() const { return error == nullptr; }
};

// Parses text such as "-1_000.25"; docs/exact-decimals.md gives the accepted form.
// Allocates nothing.
ParseResult from_str(std::string_view text);

// The value in plain notation at its own scale, as from_str reads it back:
// "-1.50", "0.05", "0" (never an exponent, a leading point or "-0").
std::string to_text(const Decimal& value);

// Total order by value: 1.50 == 1.5, and zero compares equal whatever its
// scale or sign bit.
std::strong_ordering cmp(const Decimal& a, const Decimal& b);

// The message of the abort of an addition whose sum fits at no scale: the
// one abort that a caller's prices can provoke.
inline constexpr char addition_overflowed_message[] = "Addition overflowed";

// sum := sum + x, exact when it fits, else rounded half to even at the
// largest scale that fits. Throws Abort(addition_overflowed_message).
void add_assign(Decimal& sum, const Decimal& x);

// a / b rounded half to even at the largest scale that fits. Throws
// Abort("Division by zero") or Abort("Division overflowed").
Decimal divide(const Decimal& a, const Decimal& b);

inline std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) { return cmp(a, b); }
inline bool operator==(const Decimal& a, const Decimal& b) { return cmp(a, b) == 0; }
inline Decimal& operator+=(Decimal& sum, const Decimal& x) {
    add_assign(sum, x);
    return sum;
}
inline Decimal operator/(const Decimal& a, const Decimal& b) { return divide(a, b); }

}  // namespace tariffsieve
