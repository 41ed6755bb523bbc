// Fuzz target of Decimal addition, division and comparison: two operands
// decoded from the bytes, every result checked against exact wide-integer
// models of the value rules written here.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "byte_reader.h"
#include "format_decimal.h"
#include "wide_int.h"

namespace tariffsieve::fuzz {
namespace {

// A header byte (bit 7: sign, bits 0-4: scale, 29 to 31 read as 28), a
// length byte (0 to 12 mantissa bytes, so that small values are common),
// then the mantissa bytes, least significant first.
Decimal read_decimal(ByteReader& in) {
    const std::uint8_t header = in.next();
    const std::uint32_t scale = std::min<std::uint32_t>(header & 0x1Fu, Decimal::max_scale);
    const std::size_t length = in.next() % 13u;
    std::uint8_t bytes[12] = {};
    for (std::size_t i = 0; i < length; ++i) bytes[i] = in.next();
    std::uint32_t w[3] = {};
    for (std::size_t i = 0; i < 12; ++i) w[i / 4] |= std::uint32_t{bytes[i]} << (8 * (i % 4));
    return Decimal::from_parts((header & 0x80u) != 0, w[2], (std::uint64_t{w[1]} << 32) | w[0], scale);
}

// A result as the models see it: an abort message, or sign, mantissa, scale.
struct Outcome {
    const char* abort = nullptr;
    bool negative = false;
    WideInt mantissa;
    unsigned scale = 0;
};

Outcome value(bool negative, const WideInt& mantissa, unsigned scale) {
    Outcome o;
    o.negative = negative && !mantissa.is_zero();
    o.mantissa = mantissa;
    o.scale = scale;
    return o;
}
Outcome aborted(const char* message) {
    Outcome o;
    o.abort = message;
    return o;
}
// Exactly as stored: a negative zero stays visible.
Outcome of(const Decimal& d) {
    Outcome o;
    o.negative = d.is_negative();
    o.mantissa = WideInt::mantissa(d);
    o.scale = d.scale();
    return o;
}

std::string show(const Outcome& o) {
    if (o.abort != nullptr) return std::string("abort ") + o.abort;
    WideInt m = o.mantissa;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + m.div_small(10)));
    } while (!m.is_zero());
    return (o.negative ? "-" : "") + digits + "E-" + std::to_string(o.scale);
}

// m at scale s (with more nonzero digits below it when `sticky`) does not
// fit 96 bits, or its rounding does not: cuts digits until the value rounded
// half to even fits, or scale 0 is passed.
Outcome reduce(bool negative, WideInt m, int s, bool sticky, const char* overflow) {
    for (;;) {
        if (s == 0) return aborted(overflow);
        const std::uint32_t digit = m.div_small(10);
        --s;
        WideInt rounded = m;
        if (digit > 5 || (digit == 5 && (sticky || m.is_odd()))) rounded.add(WideInt::of(1));
        if (rounded.below_2_96()) return value(negative, rounded, static_cast<unsigned>(s));
        sticky = sticky || digit != 0;
    }
}

// a + b: exact at the larger scale when it fits, else reduced.
Outcome model_add(const Decimal& a, const Decimal& b) {
    if (a.is_zero()) return of(b);
    if (b.is_zero()) return of(a);
    const unsigned s = std::max(a.scale(), b.scale());
    WideInt x = scaled(WideInt::mantissa(a), s - a.scale());
    WideInt y = scaled(WideInt::mantissa(b), s - b.scale());
    bool negative = a.is_negative();
    if (a.is_negative() == b.is_negative()) {
        x.add(y);
    } else {
        const int c = compare(x, y);
        if (c == 0) return value(false, WideInt{}, s);
        if (c < 0) {
            y.sub(x);
            x = y;
            negative = b.is_negative();
        } else {
            x.sub(y);
        }
    }
    if (x.below_2_96()) return value(negative, x, s);
    return reduce(negative, x, static_cast<int>(s), false, "Addition overflowed");
}

// a / b rounded half to even at the largest scale from 0 to 28 that fits.
Outcome model_divide(const Decimal& a, const Decimal& b) {
    if (b.is_zero()) return aborted("Division by zero");
    if (a.is_zero()) return value(false, WideInt{}, 0);
    const bool negative = a.is_negative() != b.is_negative();
    // a / b * 10^28 = Ma * 10^(sb + 28) / (Mb * 10^sa).
    const WideInt n = scaled(WideInt::mantissa(a), b.scale() + Decimal::max_scale);
    const WideInt d = scaled(WideInt::mantissa(b), a.scale());
    WideInt q;
    WideInt r;
    divide(n, d, q, r);
    WideInt twice = r;
    twice.shift_left1();
    const int c = compare(twice, d);
    WideInt rounded = q;
    if (c > 0 || (c == 0 && q.is_odd())) rounded.add(WideInt::of(1));
    if (rounded.below_2_96()) return value(negative, rounded, Decimal::max_scale);
    // Does not fit at 28: a lower scale, the remainder standing for the
    // digits below q.
    return reduce(negative, q, static_cast<int>(Decimal::max_scale), !r.is_zero(), "Division overflowed");
}

template <class F>
Outcome run(F&& f) {
    try {
        return of(f());
    } catch (const Abort& abort) {
        return aborted(abort.what());
    }
}

bool same(const Outcome& a, const Outcome& b) {
    if (a.abort != nullptr || b.abort != nullptr) {
        return a.abort != nullptr && b.abort != nullptr && std::strcmp(a.abort, b.abort) == 0;
    }
    return a.negative == b.negative && a.scale == b.scale && a.mantissa == b.mantissa;
}

// Equal in value, whatever the scales (a quotient's scale is free).
bool same_value(const Outcome& a, const Outcome& b) {
    if (a.abort != nullptr || b.abort != nullptr) return same(a, b);
    const unsigned s = std::max(a.scale, b.scale);
    return a.negative == b.negative && scaled(a.mantissa, s - a.scale) == scaled(b.mantissa, s - b.scale);
}

int model_cmp(const Decimal& a, const Decimal& b) {
    const int sa = a.is_zero() ? 0 : (a.is_negative() ? -1 : 1);
    const int sb = b.is_zero() ? 0 : (b.is_negative() ? -1 : 1);
    if (sa != sb || sa == 0) return sa < sb ? -1 : (sa > sb ? 1 : 0);
    const unsigned s = std::max(a.scale(), b.scale());
    const int m = compare(scaled(WideInt::mantissa(a), s - a.scale()), scaled(WideInt::mantissa(b), s - b.scale()));
    return sa < 0 ? -m : m;
}

[[noreturn]] void fail(const char* what, const Decimal& a, const Decimal& b, const Outcome& got, const Outcome& want) {
    std::fprintf(stderr, "%s of %s and %s: got %s, want %s\n", what, format_decimal(a).c_str(),
                 format_decimal(b).c_str(), show(got).c_str(), show(want).c_str());
    std::abort();
}

bool well_formed(const Outcome& o) { return o.abort != nullptr || o.scale <= Decimal::max_scale; }

void check(const Decimal& a, const Decimal& b) {
    const Outcome sum = run([&] {
        Decimal s = a;
        s += b;
        return s;
    });
    const Outcome want_sum = model_add(a, b);
    if (!well_formed(sum) || !same(sum, want_sum)) fail("sum", a, b, sum, want_sum);

    const Outcome quotient = run([&] { return a / b; });
    const Outcome want_quotient = model_divide(a, b);
    if (!well_formed(quotient) || !same_value(quotient, want_quotient) ||
        (quotient.abort == nullptr && quotient.mantissa.is_zero() && quotient.negative)) {
        fail("quotient", a, b, quotient, want_quotient);
    }

    const std::strong_ordering order = a <=> b;
    const int got = order < 0 ? -1 : (order > 0 ? 1 : 0);
    if (got != model_cmp(a, b)) fail("order", a, b, aborted(got < 0 ? "less" : got > 0 ? "greater" : "equal"), Outcome{});
}

}  // namespace
}  // namespace tariffsieve::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tariffsieve::fuzz;
    ByteReader in{data, size};
    const tariffsieve::Decimal a = read_decimal(in);
    const tariffsieve::Decimal b = read_decimal(in);
    check(a, b);
    check(b, a);
    check(a, a);
    const Outcome got = run([&] {  // the sum into itself: both operands one object
        tariffsieve::Decimal twice = a;
        twice += twice;
        return twice;
    });
    const Outcome want = model_add(a, a);
    if (!same(got, want)) fail("sum into itself", a, a, got, want);
    return 0;
}
