// Prints how long get_cheapest_periods and the exhaustive reference take on a
// typical day, on worst cases at 28 periods, as the series grows, and on
// prices whose sums round (where the search is the literal search). The
// exhaustive search runs in a child process under a time cap ("> cap").
// Usage: search_bench [cap_seconds]   (POSIX only)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "decimal/abort.h"
#include "decimal/decimal.h"
#include "engine/reference/cheapest_periods.h"
#include "engine/request.h"
#include "engine/timing_rules.h"

using namespace tariffsieve;

namespace {

struct Request {
    std::vector<Decimal> prices;
    Decimal threshold;
    TimingRules rules;
    bool aggressive = true;
};

Decimal parse(const std::string& text) { return from_str(text).value; }

enum class Answerer { entry, reference };

// An overflowing sum aborts the call: that is its answer, and it is timed too.
SelectionResult run(const Request& r, Answerer answerer) {
    try {
        return answerer == Answerer::entry ? get_cheapest_periods(r.prices, r.threshold, r.rules, r.aggressive)
                                      : reference::cheapest_periods(r.prices, r.threshold, r.rules, r.aggressive);
    } catch (const Abort& abort) {
        return SelectionResult::failure(abort.what());
    }
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Median of a few runs, enough repetitions to rise above the clock.
double time_search(const Request& r) {
    std::vector<double> samples;
    for (int round = 0; round < 5; ++round) {
        int repeats = 0;
        const auto start = std::chrono::steady_clock::now();
        do {
            volatile std::size_t sink = run(r, Answerer::entry).indices.size();
            (void)sink;
            ++repeats;
        } while (seconds_since(start) < 0.002);
        samples.push_back(seconds_since(start) / repeats);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Seconds for one exhaustive run, or a negative number when it hit the cap.
double time_exhaustive(const Request& r, unsigned cap_seconds) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        alarm(cap_seconds);
        const auto start = std::chrono::steady_clock::now();
        volatile std::size_t sink = run(r, Answerer::reference).indices.size();
        (void)sink;
        const double elapsed = seconds_since(start);
        if (write(channel[1], &elapsed, sizeof elapsed) != sizeof elapsed) {
            _exit(1);
        }
        _exit(0);
    }
    close(channel[1]);
    double elapsed = -1;
    if (read(channel[0], &elapsed, sizeof elapsed) != sizeof elapsed) {
        elapsed = -1;
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return elapsed;
}

std::string show_time(double seconds) {
    char text[32];
    if (seconds < 0) {
        return "> cap";
    }
    if (seconds < 1e-3) {
        std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    } else if (seconds < 1) {
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    }
    return text;
}

// A made-up winter day in EUR/kWh: cheap at night and around noon.
const std::vector<std::string> typical_day = {
    "0.2143", "0.1987", "0.1872", "0.1811", "0.1836", "0.1954", "0.2398", "0.2911",
    "0.3176", "0.2894", "0.2517", "0.2232", "0.2089", "0.2015", "0.2102", "0.2356",
    "0.2779", "0.3312", "0.3598", "0.3421", "0.3027", "0.2688", "0.2417", "0.2236",
};

std::vector<Decimal> prices_of(const std::vector<std::string>& texts) {
    std::vector<Decimal> prices;
    for (const std::string& text : texts) {
        prices.push_back(parse(text));
    }
    return prices;
}

std::vector<std::string> random_prices(int n, std::mt19937_64& random) {
    std::vector<std::string> texts;
    for (int i = 0; i < n; ++i) {
        texts.push_back("0." + std::to_string(1000 + random() % 9000));
    }
    return texts;
}

void typical_day_grid(unsigned cap) {
    std::printf("1. Typical day: 24 prices, threshold 0.2089 (30th percentile), min_selections 2-10,\n"
                "   min_consecutive_periods 1-3, max_gap_between_periods 2-8 (max_gap_from_start the same)\n");
    std::vector<double> ratios;
    std::vector<double> search_times;
    int capped = 0;
    double slowest_search = 0;
    for (const bool aggressive : {true, false}) {
        for (std::uint64_t k = 2; k <= 10; ++k) {
            for (std::uint64_t c = 1; c <= 3; ++c) {
                for (std::uint64_t gap = 2; gap <= 8; ++gap) {
                    const Request r{prices_of(typical_day), parse("0.2089"),
                                    {.min_selections = k,
                                     .min_consecutive_periods = c,
                                     .max_gap_between_periods = gap,
                                     .max_gap_from_start = gap},
                                    aggressive};
                    const double searched = time_search(r);
                    const double exhaustive = time_exhaustive(r, cap);
                    search_times.push_back(searched);
                    slowest_search = std::max(slowest_search, searched);
                    if (exhaustive < 0) {
                        ++capped;
                    }
                    ratios.push_back((exhaustive < 0 ? cap : exhaustive) / searched);
                }
            }
        }
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(search_times.begin(), search_times.end());
    std::printf("   %zu requests: search median %s, slowest %s; exhaustive hit the %u s cap %d times\n",
                ratios.size(), show_time(search_times[search_times.size() / 2]).c_str(), show_time(slowest_search).c_str(), cap,
                capped);
    std::printf("   speed-up exhaustive/search: median %.0fx, lowest %.0fx (capped runs count as the cap)\n\n",
                ratios[ratios.size() / 2], ratios.front());
}

void print_row(const char* label, const Request& r, unsigned cap) {
    const double searched = time_search(r);
    const double exhaustive = time_exhaustive(r, cap);
    std::printf("   %-44s %-11s search %10s   exhaustive %10s\n", label, r.aggressive ? "aggressive" : "conservative",
                show_time(searched).c_str(), show_time(exhaustive).c_str());
}

void worst_cases(unsigned cap) {
    std::printf("2. Worst cases at 28 periods\n");
    std::mt19937_64 random(14);
    std::vector<std::string> near_tie;
    for (int i = 0; i < 28; ++i) {
        near_tie.push_back("0.012345678901234567890123456" + std::to_string(random() % 10));
    }
    std::vector<std::string> two_decimals;
    for (int i = 0; i < 28; ++i) {
        two_decimals.push_back(std::to_string(5 + random() % 30) + "." + std::to_string(10 + random() % 90));
    }
    const struct {
        const char* label;
        std::vector<std::string> prices;
        std::string threshold;
    } families[] = {
        {"random prices", random_prices(28, random), "0.3500"},
        {"all-equal prices", std::vector<std::string>(28, "0.25"), "0.2"},
        {"near-tie prices (differ in the 28th place)", near_tie, "0.0123456789012345678901234564"},
        {"random prices, 2 decimals", two_decimals, "15"},
    };
    for (const auto& family : families) {
        for (const bool aggressive : {true, false}) {
            // min_selections 14, every combination valid.
            print_row(family.label,
                      Request{prices_of(family.prices), parse(family.threshold),
                              {.min_selections = 14,
                               .min_consecutive_periods = 1,
                               .max_gap_between_periods = 27,
                               .max_gap_from_start = 27},
                              aggressive},
                      cap);
        }
    }
    // Blocks of 9 with gaps of at most 1: nothing below 27 periods is valid.
    const struct {
        const char* label;
        std::uint64_t gap, start;
    } large_only[] = {{"only large sizes valid (9, 9, gap 1, start 0)", 1, 0},
                      {"only large sizes valid (9, 9, gap 2, start 2)", 2, 2}};
    for (const bool aggressive : {true, false}) {
        for (const auto& row : large_only) {
            const TimingRules rules{.min_selections = 9,
                                    .min_consecutive_periods = 9,
                                    .max_gap_between_periods = row.gap,
                                    .max_gap_from_start = row.start};
            print_row(row.label, Request{prices_of(families[0].prices), parse("0.3500"), rules, aggressive}, cap);
        }
    }
    std::printf("\n");
}

void growth(unsigned cap) {
    std::printf("3. Growth: random prices, threshold 0.4, min_selections n/2, min_consecutive_periods 2,\n"
                "   max_gap_between_periods 3, max_gap_from_start 2\n");
    std::mt19937_64 random(8);
    const std::vector<std::string> texts = random_prices(28, random);
    for (int n = 8; n <= 28; n += 2) {
        const std::vector<std::string> head(texts.begin(), texts.begin() + n);
        for (const bool aggressive : {true, false}) {
            const Request r{prices_of(head), parse("0.4000"),
                            {.min_selections = static_cast<std::uint64_t>(n / 2),
                             .min_consecutive_periods = 2,
                             .max_gap_between_periods = 3,
                             .max_gap_from_start = 2},
                            aggressive};
            const double searched = time_search(r);
            const double exhaustive = time_exhaustive(r, cap);
            std::printf("   n = %2d %-12s search %10s   exhaustive %10s\n", n, aggressive ? "aggressive" : "conservative",
                        show_time(searched).c_str(), show_time(exhaustive).c_str());
        }
    }
}

// (2^96 - 1) / k, rounded down, as decimal text: long division in 32-bit words.
std::string whole_part_of_max_over(std::uint32_t k) {
    std::uint32_t words[3] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};  // most significant first
    std::uint64_t remainder = 0;
    for (std::uint32_t& word : words) {
        const std::uint64_t current = (remainder << 32) | word;
        word = static_cast<std::uint32_t>(current / k);
        remainder = current % k;
    }
    std::string text;
    while (words[0] != 0 || words[1] != 0 || words[2] != 0) {
        remainder = 0;
        for (std::uint32_t& word : words) {
            const std::uint64_t current = (remainder << 32) | word;
            word = static_cast<std::uint32_t>(current / 10);
            remainder = current % 10;
        }
        text.insert(text.begin(), static_cast<char>('0' + remainder));
    }
    return text.empty() ? "0" : text;
}

// Prices whose sums round: the families a user of Python's decimal module meets.
std::vector<Decimal> rounding_prices(int family, int n, std::mt19937_64& random) {
    auto digits = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += static_cast<char>('0' + random() % 10);
        }
        return text;
    };
    static const char* const few[] = {"0.7013333333333333333333333333", "0.5013333333333333333333333335",
                                      "0.9027777777777777777777777777"};
    std::vector<Decimal> prices;
    for (int i = 0; i < n; ++i) {
        switch (family) {
            case 0: {
                Decimal value = parse("0." + std::to_string(10 + random() % 80) + digits(2));
                value += parse("1") / parse("3");
                prices.push_back(value);
                break;
            }
            case 1:
                prices.push_back(parse(std::to_string(random() % 3) + "." + std::to_string(5 + random() % 5) + digits(27)));
                break;
            case 2:
                prices.push_back(parse(std::to_string(1 + random() % 400)) / parse("7"));
                break;
            case 3: {
                const std::string sign = random() % 2 ? "-" : "";
                prices.push_back(parse(sign + std::to_string(random() % 3) + "." + digits(28)));
                break;
            }
            case 4:
                prices.push_back(parse(few[random() % 3]));
                break;
            default:
                prices.push_back(parse(whole_part_of_max_over(static_cast<std::uint32_t>(n / 2 + random() % (n / 2 + 8)))));
                break;
        }
    }
    return prices;
}

void rounding_sums(unsigned cap) {
    std::printf("4. Sums that round, 16 to 28 periods, both strategies; rule sets min_selections 2, n/4, n/2 x\n"
                "   min_consecutive_periods 1-3 x max_gap_between_periods 2, n/4, n/2 (max_gap_from_start the same);\n"
                "   threshold at the 30th percentile. Exhaustive timed on every 16th request.\n");
    const char* const names[] = {"tariff + 1/3", "random 28 decimals, 0.5 to 3", "whole numbers / 7",
                                 "both signs, 28 decimals", "three 28-digit values (ties)", "(2^96 - 1) / k at scale 0"};
    for (int family = 0; family < 6; ++family) {
        std::mt19937_64 random(100 + family);
        std::vector<double> times;
        std::vector<double> ratios;
        int capped = 0;
        int request = 0;
        for (int n = 16; n <= 28; n += 4) {
            const std::vector<Decimal> prices = rounding_prices(family, n, random);
            std::vector<Decimal> sorted = prices;
            std::sort(sorted.begin(), sorted.end());
            const Decimal threshold = sorted[static_cast<std::size_t>(n * 3 / 10)];
            for (const std::uint64_t k : {std::uint64_t{2}, std::uint64_t(n / 4), std::uint64_t(n / 2)}) {
                for (std::uint64_t c = 1; c <= 3; ++c) {
                    for (const std::uint64_t gap : {std::uint64_t{2}, std::uint64_t(n / 4), std::uint64_t(n / 2)}) {
                        for (const bool aggressive : {true, false}) {
                            const Request r{prices, threshold,
                                            {.min_selections = k,
                                             .min_consecutive_periods = std::min(c, k),
                                             .max_gap_between_periods = gap,
                                             .max_gap_from_start = gap},
                                            aggressive};
                            const double searched = time_search(r);
                            times.push_back(searched);
                            if (request++ % 16 == 0) {
                                const double exhaustive = time_exhaustive(r, cap);
                                capped += exhaustive < 0 ? 1 : 0;
                                ratios.push_back((exhaustive < 0 ? cap : exhaustive) / searched);
                            }
                        }
                    }
                }
            }
        }
        std::sort(times.begin(), times.end());
        std::sort(ratios.begin(), ratios.end());
        std::printf("   %-30s %3zu calls: median %9s, slowest %9s; speed-up median %.0fx, lowest %.0fx (%zu timed, %d capped)\n",
                    names[family], times.size(), show_time(times[times.size() / 2]).c_str(),
                    show_time(times.back()).c_str(), ratios[ratios.size() / 2], ratios.front(), ratios.size(), capped);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned cap = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 2;
    std::printf("get_cheapest_periods against the exhaustive reference (exhaustive capped at %u s per request)\n\n", cap);
    typical_day_grid(cap);
    worst_cases(cap);
    growth(cap);
    std::printf("\n");
    rounding_sums(cap);
    return 0;
}
