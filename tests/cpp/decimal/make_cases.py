#!/usr/bin/env python3
"""Writes the seeded random cases that decimal_tests checks the Decimal type against.

The expected results come from models written here, independently of the C++
code: exact rational arithmetic (fractions.Fraction) for comparison, addition
and division, and a straightforward reading of the accepted text grammar
for parsing. Standard library only.

Usage: make_cases.py OUTPUT_FILE [--stats]

It refuses to write a case file that misses one of the boundaries in REQUIRED
(--stats lists how many cases exercise each).

One case per line; a decimal operand or result is written as
<sign><24 hex digits of the mantissa>s<scale>, e.g. +00000000000000000000000fs1
for 1.5, and a text to parse as x<hex of its bytes>:

    P <text> V <decimal>          parse succeeds
    P <text> E <message>          parse fails with message
    C <a> <b> <-1|0|1>            cmp(a, b)
    A <a> <b> V <decimal>         a += b gives exactly this (value and scale)
    A <a> <b> E <message>         a += b aborts with message
    D <a> <b> V <decimal>         a / b gives exactly this
    D <a> <b> E <message>         a / b aborts with message
"""

import random
import sys
from collections import Counter
from fractions import Fraction

SEED = 20240607
MAX = 2**96 - 1
MAX_SCALE = 28

ERR_EMPTY = "Invalid decimal: empty"
ERR_NO_DIGITS = "Invalid decimal: no digits found"
ERR_LEAD = "Invalid decimal: must start lead with a number"
ERR_TWO_POINTS = "Invalid decimal: two decimal points"
ERR_UNKNOWN = "Invalid decimal: unknown character"
ERR_TOO_MANY = "Invalid decimal: overflow from too many digits"
ERR_ROUNDING = "Invalid decimal: overflow from mantissa after rounding"
ADD_OVERFLOW = "Addition overflowed"
DIV_ZERO = "Division by zero"
DIV_OVERFLOW = "Division overflowed"


class Dec:
    """A Decimal as the C++ code holds it: sign bit, mantissa, scale."""

    __slots__ = ("neg", "man", "scale")

    def __init__(self, neg, man, scale):
        assert 0 <= man <= MAX and 0 <= scale <= MAX_SCALE
        self.neg, self.man, self.scale = bool(neg), man, scale

    def value(self):
        return Fraction(-self.man if self.neg else self.man, 10**self.scale)

    def token(self):
        return "%s%024xs%d" % ("-" if self.neg else "+", self.man, self.scale)


def result(neg, man, scale):
    """A result of an operation: zero is never negative."""
    return Dec(neg and man != 0, man, scale)


# ---------------------------------------------------------------- models


def model_cmp(a, b):
    va, vb = a.value(), b.value()
    return (va > vb) - (va < vb)


def round_half_even(x):
    """Nearest integer to the non-negative Fraction x, ties to even."""
    return round(x)  # Fraction.__round__ without digits rounds half to even


def model_add(a, b):
    """The value rule for a + b: a Dec or an error message."""
    if a.man == 0:
        return b
    if b.man == 0:
        return a
    total = a.value() + b.value()
    neg, mag = total < 0, abs(total)
    s = max(a.scale, b.scale)
    exact = mag * 10**s
    assert exact.denominator == 1
    if exact.numerator <= MAX:
        return result(neg, exact.numerator, s)
    for s2 in range(s - 1, -1, -1):
        m = round_half_even(mag * 10**s2)
        if m <= MAX:
            return result(neg, m, s2)
    return ADD_OVERFLOW


def model_div(a, b):
    """The value rule for a / b, and the scale chosen for it:
    a terminating quotient at the smallest scale >= max(0, scale(a) - scale(b))
    that holds it exactly, a rounded one at the largest scale that fits, zero
    at scale 0."""
    if b.man == 0:
        return DIV_ZERO
    if a.man == 0:
        return Dec(False, 0, 0)
    q = a.value() / b.value()
    neg, mag = q < 0, abs(q)
    for s in range(MAX_SCALE, -1, -1):
        m = round_half_even(mag * 10**s)
        if m <= MAX:
            break
    else:
        return DIV_OVERFLOW
    if m == 0:
        return Dec(False, 0, 0)
    if mag * 10**s == m:  # exact: the fewest digits, but not below the natural scale
        t = max(0, a.scale - b.scale)
        while (mag * 10**t).denominator != 1:
            t += 1
        assert t <= s
        m, s = int(mag * 10**t), t
    return result(neg, m, s)


def model_parse(text):
    """The parser, read declaratively: a Dec or an
    error message. The first failing byte (in text order) decides; the
    rounding digit is the first digit behind the point that is not kept
    (the 29th, or one that would make the mantissa reach 2^96)."""
    if len(text) == 0:
        return ERR_EMPTY
    neg = False
    body = text
    if body[:1] in (b"+", b"-"):
        neg = body[:1] == b"-"
        body = body[1:]
    int_part = 0
    frac = ""  # kept digits behind the point
    point = seen_digit = False
    rounded = None  # (mantissa, scale) once the rounding digit was met
    for byte in body:
        ch = chr(byte)
        if ch in "0123456789":
            seen_digit = True
            if not point:
                int_part = int_part * 10 + int(ch)
                if int_part > MAX:
                    return ERR_TOO_MANY
            elif rounded is None:
                f = len(frac)
                if f == MAX_SCALE or int_part * 10 ** (f + 1) + int(frac + ch) > MAX:
                    man = int_part * 10**f + int(frac or "0")
                    if ch >= "5":
                        man += 1
                    if man > MAX:
                        if f == 0:
                            return ERR_ROUNDING
                        # 2^96 - 1, rounded up, one digit less: ...033.5 -> ...034
                        man, f = (MAX + 5) // 10, f - 1
                    rounded = (man, f)
                else:
                    frac += ch
            # after the rounding digit: digits are valid and ignored
        elif ch == ".":
            if point:
                return ERR_TWO_POINTS
            point = True
        elif ch == "_":
            if not seen_digit:
                return ERR_LEAD
        else:
            return ERR_UNKNOWN
    if not seen_digit:
        return ERR_NO_DIGITS
    if rounded is None:
        rounded = (int_part * 10 ** len(frac) + int(frac or "0"), len(frac))
    return result(neg, rounded[0], rounded[1])


# ---------------------------------------------------------------- coverage
#
# Each case is sorted into the boundaries it exercises; main() refuses to
# write a case file that misses one of them.


def rounding_kind(mag, scale):
    """How mag (a Fraction) rounds to an integer at scale: exact, below half,
    tie or above half."""
    x = mag * 10**scale
    frac = x - (x.numerator // x.denominator)
    if frac == 0:
        return "exact"
    return "below-half" if frac < Fraction(1, 2) else ("tie" if frac == Fraction(1, 2) else "above-half")


def classify_add(a, b, res):
    if a.man == 0 or b.man == 0:
        return ["add zero operand"]
    if isinstance(res, str):
        total = abs(a.value() + b.value())
        return ["add overflow"] + (["add overflow by a tie"] if rounding_kind(total, 0) == "tie" else [])
    s = max(a.scale, b.scale)
    tags = ["add same scale" if a.scale == b.scale else "add mixed scales"]
    if res.scale == s:
        tags.append("add exact" if res.man else "add cancels to zero")
        if res.man and a.neg != b.neg:
            tags.append("add exact opposite signs")
        return tags
    total = abs(a.value() + b.value())
    tags.append("add rounded")
    kind = rounding_kind(total, res.scale)
    if kind == "tie":
        tags.append("add tie rounds up" if res.man * 10 ** (s - res.scale) > total * 10**s else "add tie rounds down")
    else:
        tags.append("add " + kind)
    if round_half_even(total * 10 ** (res.scale + 1)) == MAX + 1:
        tags.append("add rounding reaches 2^96, one more digit")
    if s - res.scale > 1:
        tags.append("add several digits cut")
    return tags


def classify_div(a, b, res):
    if b.man == 0:
        return ["div by zero"]
    tags = ["div large divisor" if b.man >= 2**32 else "div small divisor"]
    if a.man == 0:
        return tags + ["div zero dividend"]
    if isinstance(res, str):
        return tags + ["div overflow"]
    mag = abs(a.value() / b.value())
    if res.man == 0:
        return tags + ["div rounds to zero"]
    if res.value() == (-mag if res.neg else mag):
        tags.append("div exact integer" if mag.denominator == 1 else "div exact fraction")
        if res.scale > max(0, a.scale - b.scale):
            tags.append("div exact with extra digits")
        return tags
    tags.append("div rounded at 28" if res.scale == MAX_SCALE else "div rounded below 28")
    for s in range(MAX_SCALE, res.scale, -1):
        if round_half_even(mag * 10**s) == MAX + 1:
            tags.append("div rounding reaches 2^96, one more digit")
    kind = rounding_kind(mag, res.scale)
    tags.append("div " + kind)
    if kind == "tie":
        tags.append("div tie rounds " + ("up" if res.man > mag * 10**res.scale else "down"))
    return tags


def classify_parse(text, res):
    tags = ["parse " + (res if isinstance(res, str) else "value")]
    if b"." in text:
        frac = text.split(b".", 1)[1]
        digits = [c for c in frac if chr(c).isdigit()]
        if len(digits) > 28:
            tags.append("parse more than 28 fraction digits")
            if isinstance(res, Dec):
                tags.append("parse 29th digit " + ("rounds up" if chr(digits[28]) >= "5" else "rounds down"))
        # underscores between the 28th digit and the rounding byte
        count = 0
        for i, c in enumerate(frac):
            if chr(c).isdigit():
                count += 1
                if count == 28 and frac[i + 1 : i + 2] == b"_" and frac[i + 1 :].strip(b"_"):
                    tags.append("parse underscore before the rounding byte")
        if isinstance(res, Dec) and res.man >= 10**27 and len(digits) <= 28 and len(digits) > res.scale:
            tags.append("parse digit reaching 2^96 rounds")
    if isinstance(res, str) and res in (ERR_UNKNOWN, ERR_TWO_POINTS) and b"." in text:
        frac = text.split(b".", 1)[1]
        if sum(1 for c in frac if chr(c).isdigit()) >= 28:
            tags.append("parse bad tail after the cut")
    return tags


REQUIRED = {
    "add zero operand": 20,
    "add overflow": 20,
    "add overflow by a tie": 5,
    "add same scale": 500,
    "add mixed scales": 500,
    "add exact": 500,
    "add exact opposite signs": 200,
    "add cancels to zero": 10,
    "add rounded": 500,
    "add tie rounds up": 30,
    "add tie rounds down": 30,
    "add below-half": 50,
    "add above-half": 50,
    "add rounding reaches 2^96, one more digit": 5,
    "add several digits cut": 100,
    "div by zero": 5,
    "div zero dividend": 5,
    "div small divisor": 1000,
    "div large divisor": 200,
    "div overflow": 50,
    "div rounds to zero": 5,
    "div exact integer": 50,
    "div exact fraction": 100,
    "div exact with extra digits": 50,
    "div rounded at 28": 300,
    "div rounded below 28": 300,
    "div rounding reaches 2^96, one more digit": 5,
    "div tie rounds up": 10,
    "div tie rounds down": 10,
    "div below-half": 100,
    "div above-half": 100,
    "parse value": 1000,
    "parse " + ERR_EMPTY: 5,
    "parse " + ERR_NO_DIGITS: 5,
    "parse " + ERR_LEAD: 20,
    "parse " + ERR_TWO_POINTS: 20,
    "parse " + ERR_UNKNOWN: 100,
    "parse " + ERR_TOO_MANY: 10,
    "parse " + ERR_ROUNDING: 10,
    "parse more than 28 fraction digits": 200,
    "parse 29th digit rounds up": 50,
    "parse 29th digit rounds down": 50,
    "parse underscore before the rounding byte": 50,
    "parse digit reaching 2^96 rounds": 20,
    "parse bad tail after the cut": 30,
}


# ---------------------------------------------------------------- operands


def rand_mantissa(rng):
    kind = rng.random()
    if kind < 0.06:
        return 0
    if kind < 0.30:  # a price-like mantissa
        return rng.randrange(1, 10 ** rng.randint(1, 8))
    if kind < 0.55:  # any width
        return rng.getrandbits(rng.randint(1, 96)) or 1
    if kind < 0.70:  # near 2^96 - 1
        return MAX - rng.randrange(0, 10 ** rng.randint(0, 6))
    if kind < 0.80:  # near a power of ten
        return max(1, 10 ** rng.randint(0, 28) + rng.randint(-3, 3))
    if kind < 0.90:  # a 5 followed by zeros (ties) or a digit string
        return 5 * 10 ** rng.randint(0, 27)
    return rng.randrange(1, 10 ** rng.randint(1, 29)) % (MAX + 1) or 1


def rand_dec(rng, allow_zero=True):
    man = rand_mantissa(rng)
    if not allow_zero and man == 0:
        man = 1
    return result(rng.random() < 0.5, man, rng.randint(0, MAX_SCALE))


def rescale(d, new_scale):
    """The same value at a larger scale, if the mantissa still fits."""
    m = d.man * 10 ** (new_scale - d.scale)
    return Dec(d.neg, m, new_scale) if m <= MAX and new_scale <= MAX_SCALE else None


def small_divisor(rng):
    kind = rng.random()
    if kind < 0.35:
        return rng.randint(1, 28)  # the engine's divisors: counts
    if kind < 0.55:  # 2^i 5^j: terminating quotients
        while True:
            v = 2 ** rng.randint(0, 31) * 5 ** rng.randint(0, 13)
            if v < 2**32:
                return v
    if kind < 0.70:
        return rng.choice([3, 6, 7, 9, 11, 12, 13, 21, 99, 999999937, 4294967291])
    if kind < 0.85:
        return rng.randrange(1, 2**32)
    return 2**32 - rng.randint(1, 1000)


# ---------------------------------------------------------------- cases


def gen_compare(rng, out):
    for _ in range(2200):
        a, b = rand_dec(rng), rand_dec(rng)
        out.append(("C", a, b))
    # Equal values at different scales, and neighbours of them.
    for _ in range(500):
        a = rand_dec(rng)
        b = rescale(a, rng.randint(a.scale, MAX_SCALE))
        if b is None:
            continue
        out.append(("C", a, b))
        out.append(("C", b, a))
        if b.man < MAX:
            out.append(("C", a, Dec(b.neg, b.man + 1, b.scale)))
        if b.man > 0:
            out.append(("C", Dec(a.neg, a.man, a.scale), Dec(b.neg, b.man - 1, b.scale)))
    # Zeros at every scale, with and without the sign bit.
    for s in range(MAX_SCALE + 1):
        z = Dec(rng.random() < 0.5, 0, s)
        for other in (Dec(False, 0, rng.randint(0, 28)), Dec(True, 0, 0), rand_dec(rng), Dec(True, 1, 28)):
            out.append(("C", z, other))
            out.append(("C", other, z))
    # Scaling that leaves 96 bits.
    for s in range(MAX_SCALE + 1):
        for t in range(MAX_SCALE + 1):
            out.append(("C", Dec(False, MAX - rng.randint(0, 5), s), Dec(False, MAX - rng.randint(0, 5), t)))
        out.append(("C", Dec(True, MAX, 0), Dec(True, MAX, s)))


def gen_add(rng, out):
    for _ in range(2400):
        out.append(("A", rand_dec(rng), rand_dec(rng)))
    # Same scale and sign near the top: one digit cut off, every digit 0-9.
    for _ in range(500):
        s = rng.randint(0, MAX_SCALE)
        neg = rng.random() < 0.5
        a = Dec(neg, rng.randrange(2**95, MAX + 1), s)
        b = Dec(neg, rng.randrange(MAX + 1 - a.man, MAX + 1) if rng.random() < 0.7 else rng.randrange(1, MAX + 1), s)
        out.append(("A", a, b))
    # Exact ties at the cut: (2^96 + x) with last digit 5, both parities.
    for s in range(1, MAX_SCALE + 1):
        for target in range(2**96, 2**96 + 200):
            if target % 10 != 5 or rng.random() < 0.6:
                continue
            a = rng.randrange(target - MAX, MAX + 1)
            out.append(("A", Dec(False, a, s), Dec(False, target - a, s)))
    # The maximum plus halves: 0.4, 0.5, just below and above, at every scale.
    fracs = ["0.4", "0.5", "0.49999999999999", "0.50000000000001", "0.6", "1", "1.5", "2.5", "0.0000000000000000000000000001"]
    for s in range(MAX_SCALE + 1):
        for f in fracs:
            fv = Fraction(f) / 10**s
            digits = 0
            while (fv * 10**digits).denominator != 1:
                digits += 1
            if digits > MAX_SCALE:
                continue
            for neg in (False, True):
                a = Dec(neg, MAX, s)
                b = Dec(neg, int(fv * 10**digits), digits)
                out.append(("A", a, b))
                out.append(("A", b, a))
    # Mixed scales with the smaller-scale operand huge: 192-bit sums.
    for _ in range(400):
        big = Dec(rng.random() < 0.5, rng.randrange(2**80, MAX + 1), rng.randint(0, 8))
        small = Dec(rng.random() < 0.5, rand_mantissa(rng) or 7, rng.randint(big.scale + 1, MAX_SCALE))
        if rng.random() < 0.5:
            out.append(("A", big, small))
        else:
            out.append(("A", small, big))
    # Opposite signs: cancellation to zero at every scale, and near-cancellation.
    for s in range(MAX_SCALE + 1):
        a = rand_dec(rng, allow_zero=False)
        b = rescale(a, rng.randint(a.scale, MAX_SCALE))
        if b is not None:
            out.append(("A", a, Dec(not b.neg, b.man, b.scale)))
            if b.man > 1:
                out.append(("A", a, Dec(not b.neg, b.man - 1, b.scale)))
    # Zero operands at several scales keep the other operand's scale.
    for s in range(0, MAX_SCALE + 1, 3):
        z = Dec(False, 0, s)
        d = rand_dec(rng, allow_zero=False)
        out.append(("A", z, d))
        out.append(("A", d, z))
        out.append(("A", z, Dec(False, 0, rng.randint(0, 28))))


def gen_divide(rng, out):
    for _ in range(2000):
        a = rand_dec(rng)
        b = result(rng.random() < 0.5, small_divisor(rng), rng.randint(0, MAX_SCALE))
        out.append(("D", a, b))
    # The engine's case: a sum divided by a count.
    for _ in range(300):
        out.append(("D", rand_dec(rng), Dec(False, rng.randint(1, 28), 0)))
    # Ties at scale 28: an odd mantissa at scale 28 halved.
    for _ in range(60):
        m = rng.randrange(1, 10**27) * 2 + 1
        out.append(("D", Dec(rng.random() < 0.5, m, 28), Dec(False, 2, 0)))
        out.append(("D", Dec(False, m * 5 % (MAX + 1) or 5, 28), Dec(False, 10, rng.randint(0, 1))))
    # Quotients around 2^96 - 1 at some scale: give back a digit, round to
    # ...034, or overflow.
    for _ in range(700):
        mb = rng.choice([1, 2, 3, 7, 9, 10, 11, rng.randrange(2, 2**32)])
        e = rng.randint(0, 9)
        ma = (MAX * mb) // 10**e + rng.randint(-3, 3) + rng.choice([0, 0, mb // 2])
        if not 1 <= ma <= MAX:
            continue
        sa = rng.randint(0, MAX_SCALE)
        if rng.random() < 0.8:  # the quotient's largest fitting scale is near e + sa - sb
            sb = rng.randint(max(0, e + sa - MAX_SCALE), min(MAX_SCALE, e + sa))
        else:
            sb = rng.randint(0, MAX_SCALE)
        out.append(("D", result(rng.random() < 0.5, ma, sa), result(rng.random() < 0.5, mb, sb)))
    # Quotients whose rounding at some scale reaches 2^96: found by search,
    # Ma * 10^e / Mb in [2^96 - 1/2, 2^96).
    found = 0
    while found < 40:
        e = rng.randint(1, 9)
        mb = rng.randrange(2, 10**e)
        ma = -(-(2 * MAX + 1) * mb // (2 * 10**e))  # ceil((MAX + 1/2) * mb / 10^e)
        if ma > MAX or Fraction(ma * 10**e, mb) >= MAX + 1:
            continue
        found += 1
        s = rng.randint(1, MAX_SCALE)  # the scale at which the quotient is ~2^96
        sa = rng.randint(max(0, s - e), min(MAX_SCALE, MAX_SCALE + s - e))
        out.append(("D", result(rng.random() < 0.5, ma, sa), result(rng.random() < 0.5, mb, sa + e - s)))
    # Negative scale difference: exact products, overflow.
    for _ in range(200):
        a = Dec(False, rand_mantissa(rng) or 1, rng.randint(0, 5))
        b = Dec(False, rng.choice([1, 2, 5, 3, rng.randrange(1, 2**32)]), rng.randint(a.scale, MAX_SCALE))
        out.append(("D", a, b))
    # Divisors of more than 32 bits (the engine never uses them).
    for _ in range(300):
        a = rand_dec(rng)
        bm = rng.randrange(2**32, 2 ** rng.randint(33, 96))
        if rng.random() < 0.3 and a.man:
            bm = max(2**32, a.man // rng.choice([1, 2, 4, 5, 8, 3]))  # terminating or short quotients
        out.append(("D", a, result(rng.random() < 0.5, bm, rng.randint(0, MAX_SCALE))))
    # Division by zero at several scales, zero dividends.
    for s in range(0, MAX_SCALE + 1, 4):
        out.append(("D", rand_dec(rng), Dec(False, 0, s)))
        out.append(("D", Dec(False, 0, s), Dec(rng.random() < 0.5, rng.randint(1, 30), rng.randint(0, 28))))


def format_text(d, rng, underscores=True):
    """A text for d, with the scale's digits, optional sign, underscores,
    leading zeros, a leading or trailing point."""
    digits = str(d.man).rjust(d.scale + 1, "0")
    int_part, frac = digits[: len(digits) - d.scale], digits[len(digits) - d.scale :]
    if rng.random() < 0.15:
        int_part = "0" * rng.randint(1, 12) + int_part
    if frac == "" and rng.random() < 0.2:
        text = int_part + "."
    elif int_part == "0" and frac and rng.random() < 0.3:
        text = "." + frac
    else:
        text = int_part + ("." + frac if frac else "")
    if underscores and rng.random() < 0.4:
        chars = list(text)
        first = next(i for i, c in enumerate(chars) if c.isdigit())
        for _ in range(rng.randint(1, 4)):
            pos = rng.randint(first + 1, len(chars))
            chars.insert(pos, "_" * rng.randint(1, 2))
        text = "".join(chars)
    sign = "-" if d.neg else rng.choice(["", "", "+"])
    return sign + text


def gen_parse(rng, out):
    texts = []
    # Valid texts of random values, every scale.
    for _ in range(1400):
        texts.append(format_text(rand_dec(rng), rng))
    # Long fractions: the cut after 28 digits, underscores around it, every
    # rounding digit, and a tail that is valid or not.
    tails = ["", "", "0", "9", "_", "__7", "123_456", "x", ".", "5.", "-", "+", " ", "e5", "\u00e9", ",1"]
    for _ in range(900):
        int_part = rng.choice(["0", "1", "7", str(rng.randrange(0, 10**rng.randint(1, 10))), "79228162514264337593543950335"])
        nfrac = rng.choice([27, 28, 28, 28, 29, 30])
        frac = "".join(rng.choice("0123456789") for _ in range(nfrac))
        if rng.random() < 0.3:
            frac = frac[:-1].replace("1", "0").replace("2", "0") + frac[-1:]
        text = int_part + "." + frac
        if rng.random() < 0.5:
            cut = len(int_part) + 1 + min(nfrac, 28)
            text = text[:cut] + "_" * rng.randint(1, 3) + text[cut:]
        if rng.random() < 0.5:
            text = text + rng.choice(tails)
        texts.append(rng.choice(["", "-", "+"]) + text)
    # Mantissas near 2^96 with the point anywhere: the digit that would reach
    # 2^96 becomes the rounding digit.
    for _ in range(500):
        m = str(MAX - rng.randrange(0, 10 ** rng.randint(0, 3)) + rng.choice([0, 0, 0, 1, 2]))
        extra = "".join(rng.choice("0123456789") for _ in range(rng.randint(0, 3)))
        digits = m + extra
        p = rng.randint(1, len(digits))
        text = digits[:p] + "." + digits[p:]
        if rng.random() < 0.3:
            text += rng.choice(tails)
        if rng.random() < 0.2:
            text = text.replace(".", "._", 1)
        texts.append(rng.choice(["", "-"]) + text)
    # Integer parts around 2^96.
    for delta in range(-3, 4):
        texts.append(str(MAX + delta))
        texts.append(str(MAX + delta) + ".4")
        texts.append(str(MAX + delta) + ".5")
        texts.append("-" + str(MAX + delta) + ".9x")
    texts.append("1" + "0" * 29)
    texts.append("0" * 40 + "1")
    # Short random byte strings: error order.
    alphabet = list("0123456789") + list("._+-") * 3 + ["_"] * 3 + list("e ,x") + ["\u00e9", "\x00"]
    for _ in range(700):
        texts.append("".join(rng.choice(alphabet) for _ in range(rng.randint(0, 8))))
    # Valid texts with one byte inserted or replaced.
    for _ in range(300):
        t = format_text(rand_dec(rng), rng)
        pos = rng.randint(0, len(t))
        t = t[:pos] + rng.choice(alphabet) + t[pos + rng.randint(0, 1) :]
        texts.append(t)
    for t in texts:
        out.append(("P", t.encode("utf-8")))


def write_case(f, case):
    """Writes one case; returns the boundaries it exercises."""
    kind = case[0]
    if kind == "P":
        text = case[1]
        expected = model_parse(text)
        head = "P x" + text.hex()
        tags = classify_parse(text, expected)
    elif kind == "C":
        a, b = case[1], case[2]
        want = model_cmp(a, b)
        f.write("C %s %s %d\n" % (a.token(), b.token(), want))
        tags = ["cmp %d" % want]
        if a.man and b.man and a.scale != b.scale and a.value() == b.value():
            tags.append("cmp equal at different scales")
        return tags
    else:
        a, b = case[1], case[2]
        expected = model_add(a, b) if kind == "A" else model_div(a, b)
        head = "%s %s %s" % (kind, a.token(), b.token())
        tags = classify_add(a, b, expected) if kind == "A" else classify_div(a, b, expected)
    if isinstance(expected, str):
        f.write("%s E %s\n" % (head, expected))
    else:
        f.write("%s V %s\n" % (head, expected.token()))
    return tags


def self_check():
    """A few known results, so that a model error shows here."""
    d = lambda s: model_parse(s.encode())
    assert model_parse(b"1.00000000000000000000000000005abc") == ERR_UNKNOWN
    r = d("0.0000000000000000000000000001_9")
    assert (r.man, r.scale) == (2, 28)
    r = d("7.92281625142643375935439503355")
    assert (r.man, r.scale) == (7922816251426433759354395034, 27)
    r = d("7922816251426433759354395033.55")
    assert (r.man, r.scale) == (7922816251426433759354395034, 0)
    assert d("79228162514264337593543950335.5") == ERR_ROUNDING
    r = model_div(Dec(False, MAX, 0), Dec(False, 2, 0))
    assert (r.man, r.scale) == (39614081257132168796771975168, 0)
    r = model_add(Dec(False, 5 * 10**28, 28), Dec(False, 5 * 10**28 + 5, 28))
    assert (r.man, r.scale) == (10**28, 27)
    assert model_add(Dec(False, MAX, 0), Dec(False, 5, 1)) == ADD_OVERFLOW


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: make_cases.py OUTPUT_FILE [--stats]")
    self_check()
    rng = random.Random(SEED)
    cases = []
    gen_parse(rng, cases)
    gen_compare(rng, cases)
    gen_add(rng, cases)
    gen_divide(rng, cases)
    seen = Counter()
    with open(sys.argv[1], "w", encoding="ascii", newline="\n") as f:
        for case in cases:
            seen.update(write_case(f, case))
    missing = [(k, seen[k], n) for k, n in REQUIRED.items() if seen[k] < n]
    missing += [(k, seen[k], 50) for k in ("cmp -1", "cmp 0", "cmp 1", "cmp equal at different scales") if seen[k] < 50]
    if "--stats" in sys.argv:
        for k in sorted(seen):
            print("%6d  %s" % (seen[k], k))
    if missing:
        sys.exit("make_cases.py: too few cases of " + "; ".join("%s (%d < %d)" % m for m in missing))


if __name__ == "__main__":
    main()
