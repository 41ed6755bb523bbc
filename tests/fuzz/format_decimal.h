// Decimal to text in the form the parser reads back: sign, digits and, for a
// scale above zero, a point with exactly `scale` digits behind it.
#pragma once

#include <algorithm>
#include <string>

#include "decimal/decimal.h"
#include "wide_int.h"

namespace tariffsieve::fuzz {

inline std::string format_decimal(const Decimal& d) {
    WideInt m = WideInt::mantissa(d);
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + m.div_small(10)));
    } while (!m.is_zero());
    while (digits.size() <= d.scale()) digits.push_back('0');  // a zero before the point
    std::reverse(digits.begin(), digits.end());
    if (d.scale() > 0) digits.insert(digits.end() - d.scale(), '.');
    return (d.is_negative() ? "-" : "") + digits;
}

}  // namespace tariffsieve::fuzz
