// Checks every case that make_cases.py wrote (seeded random operands, with
// results from its exact-arithmetic and grammar models) against the C++ code:
// value and scale of every result, the message of every failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

#ifndef TARIFFSIEVE_DECIMAL_CASES
#error "TARIFFSIEVE_DECIMAL_CASES must name the case file written by make_cases.py"
#endif

namespace tariffsieve {
namespace {

using test::raw_decimal;
using test::scale_shift;
using test::sign_bit;

using test::abort_message;
using test::describe;

struct Case {
    int line = 0;
    std::string raw;
    std::vector<std::string> fields;  // kind, operands..., then V/E
    std::string message;              // after "E "
};

// The case file, read once.
const std::vector<Case>& cases() {
    static const std::vector<Case> all = [] {
        std::vector<Case> out;
        std::ifstream in(TARIFFSIEVE_DECIMAL_CASES);
        if (!in) {
            ADD_FAILURE() << "cannot open " << TARIFFSIEVE_DECIMAL_CASES;
            return out;
        }
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (line.empty()) continue;
            Case c;
            c.line = number;
            c.raw = line;
            const std::size_t e = line.find(" E ");
            std::string head = line;
            if (e != std::string::npos) {
                c.message = line.substr(e + 3);
                head = line.substr(0, e + 2);
            }
            std::istringstream fields(head);
            std::string f;
            while (fields >> f) c.fields.push_back(f);
            out.push_back(std::move(c));
        }
        return out;
    }();
    return all;
}

std::uint32_t hex_word(const std::string& s, std::size_t pos) {
    return static_cast<std::uint32_t>(std::stoul(s.substr(pos, 8), nullptr, 16));
}

// <sign><24 hex digits>s<scale>, assembled word by word.
Decimal decode(const std::string& token) {
    if (token.size() < 27 || (token[0] != '+' && token[0] != '-') || token[25] != 's') {
        ADD_FAILURE() << "bad operand " << token;
        return Decimal{};
    }
    const std::uint32_t scale = static_cast<std::uint32_t>(std::stoul(token.substr(26)));
    const std::uint32_t flags = (token[0] == '-' ? sign_bit : 0u) | (scale << scale_shift);
    return raw_decimal(flags, hex_word(token, 1), hex_word(token, 17), hex_word(token, 9));
}

std::string decode_text(const std::string& token) {
    std::string text;
    for (std::size_t i = 1; i + 1 < token.size(); i += 2) {
        text.push_back(static_cast<char>(std::stoul(token.substr(i, 2), nullptr, 16)));
    }
    return text;
}

// Runs every case of one kind through check; stops reporting after a few
// failures so that a broken build does not flood the log.
template <class Check>
void run_kind(char kind, std::size_t minimum, Check check) {
    std::size_t count = 0;
    int failures = 0;
    for (const Case& c : cases()) {
        if (c.fields.empty() || c.fields[0][0] != kind) continue;
        ++count;
        const std::string problem = check(c);
        if (!problem.empty() && ++failures <= 20) {
            ADD_FAILURE() << "case line " << c.line << ": " << c.raw << "\n  " << problem;
        }
    }
    EXPECT_EQ(failures, 0) << "failing cases of kind " << kind;
    EXPECT_GE(count, minimum) << "too few cases of kind " << kind;
}

std::string expect_result(const Case& c, std::size_t at, const std::string& got_message, const Decimal& got) {
    if (c.fields.size() <= at) return "malformed case";
    if (c.fields[at] == "E") {
        if (got_message != c.message) {
            return "want failure \"" + c.message + "\", got " +
                   (got_message.empty() ? describe(got) : "\"" + got_message + "\"");
        }
        return "";
    }
    const Decimal want = decode(c.fields.at(at + 1));
    if (!got_message.empty()) return "want " + describe(want) + ", got failure \"" + got_message + "\"";
    if (describe(got) != describe(want)) return "want " + describe(want) + ", got " + describe(got);
    if (cmp(got, want) != 0) return "not equal by value";
    return "";
}

TEST(DecimalGenerated, CaseFileHoldsEnoughCases) {
    EXPECT_GE(cases().size(), 10000u);
}

TEST(DecimalGenerated, Parse) {
    run_kind('P', 2500, [](const Case& c) {
        const std::string text = decode_text(c.fields.at(1));
        const ParseResult r = from_str(text);
        return expect_result(c, 2, r.ok() ? "" : r.error, r.value);
    });
}

TEST(DecimalGenerated, Compare) {
    run_kind('C', 2500, [](const Case& c) -> std::string {
        const Decimal a = decode(c.fields.at(1));
        const Decimal b = decode(c.fields.at(2));
        const int want = std::stoi(c.fields.at(3));
        const std::strong_ordering got = cmp(a, b);
        const int g = got < 0 ? -1 : (got > 0 ? 1 : 0);
        if (g != want) return "want " + std::to_string(want) + ", got " + std::to_string(g);
        const std::strong_ordering back = cmp(b, a);
        if ((back < 0 ? -1 : (back > 0 ? 1 : 0)) != -want) return "cmp(b, a) is not the reverse";
        if ((a == b) != (want == 0) || (a < b) != (want < 0)) return "operators disagree with cmp";
        return "";
    });
}

TEST(DecimalGenerated, Add) {
    run_kind('A', 2500, [](const Case& c) {
        Decimal sum = decode(c.fields.at(1));
        const Decimal x = decode(c.fields.at(2));
        const std::string message = abort_message([&] { add_assign(sum, x); });
        return expect_result(c, 3, message, sum);
    });
}

TEST(DecimalGenerated, Divide) {
    run_kind('D', 2500, [](const Case& c) {
        const Decimal a = decode(c.fields.at(1));
        const Decimal b = decode(c.fields.at(2));
        Decimal q;
        const std::string message = abort_message([&] { q = divide(a, b); });
        return expect_result(c, 3, message, q);
    });
}

// Every operand of every width and scale: its text reads back as the same
// mantissa and scale, and the same sign unless it is zero.
TEST(DecimalGenerated, TextReadsBackAsTheSameDecimal) {
    run_kind('C', 2500, [](const Case& c) -> std::string {
        for (const Decimal& value : {decode(c.fields.at(1)), decode(c.fields.at(2))}) {
            const std::string text = to_text(value);
            const ParseResult back = from_str(text);
            const bool same = back.ok() && back.value.hi() == value.hi() && back.value.mid_lo() == value.mid_lo() &&
                              back.value.scale() == value.scale() &&
                              (back.value.is_negative() == value.is_negative() || value.is_zero());
            if (!same) return "\"" + text + "\" for " + describe(value);
        }
        return "";
    });
}

// The generator must reach every outcome, or the random check proves little.
TEST(DecimalGenerated, EveryOutcomeIsCovered) {
    std::map<std::string, int> seen;
    for (const Case& c : cases()) {
        if (c.fields.empty()) continue;
        if (!c.message.empty()) {
            ++seen[c.fields[0] + " " + c.message];
        } else if (c.fields[0] == "C") {
            ++seen["C " + c.fields.back()];
        } else {
            ++seen[c.fields[0] + " value"];
        }
    }
    const char* expected[] = {
        "P value",
        "P Invalid decimal: empty",
        "P Invalid decimal: no digits found",
        "P Invalid decimal: must start lead with a number",
        "P Invalid decimal: two decimal points",
        "P Invalid decimal: unknown character",
        "P Invalid decimal: overflow from too many digits",
        "P Invalid decimal: overflow from mantissa after rounding",
        "C -1",
        "C 0",
        "C 1",
        "A value",
        "A Addition overflowed",
        "D value",
        "D Division by zero",
        "D Division overflowed",
    };
    for (const char* key : expected) EXPECT_GT(seen[key], 0) << key;
}

}  // namespace
}  // namespace tariffsieve
