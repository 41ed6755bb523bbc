// Decimal to text: the plain notation of its value at its own scale.
#include <string>

#include "decimal/decimal.h"
#include "decimal/words.h"

namespace tariffsieve {

std::string to_text(const Decimal& value) {
    std::uint32_t w[3];
    detail::DecimalLayout::words(value, w);
    // At most 29 digits, a point, a sign and the zeros before the point.
    char digits[32];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + detail::div_small(w, 10));
    } while (!detail::is_zero_words(w));
    const std::size_t scale = value.scale();
    while (count <= scale) {
        digits[count++] = '0';  // a fraction below one: "0.05", never ".05"
    }
    std::string text;
    text.reserve(count + 2);
    if (value.is_negative() && !value.is_zero()) {
        text += '-';
    }
    for (std::size_t i = count; i-- > 0;) {
        text += digits[i];
        if (i == scale && scale > 0) {
            text += '.';
        }
    }
    return text;
}

}  // namespace tariffsieve
