"""Cost of one Python call: a typical request against the trivial one.

The trivial call (min_selections equal to the number of prices) costs only
argument conversion, so the ratio shows what the search adds on top.
Run after installing the module: python bench/python_call.py
"""
import timeit

import tariffsieve

PRICES = [
    "0.2143", "0.1987", "0.1872", "0.1811", "0.1836", "0.1954", "0.2398", "0.2911",
    "0.3176", "0.2894", "0.2517", "0.2232", "0.2089", "0.2015", "0.2102", "0.2356",
    "0.2779", "0.3312", "0.3598", "0.3421", "0.3027", "0.2688", "0.2417", "0.2236",
]


def best_of(statement, number=2000, repeat=7):
    return min(timeit.repeat(statement, number=number, repeat=repeat)) / number


def main():
    call = tariffsieve.get_cheapest_periods
    # (min_selections, min_consecutive_periods, max_gap_between_periods, max_gap_from_start)
    requests = [(4, 1, 6, 6), (6, 2, 4, 2), (8, 3, 8, 8)]
    trivial = best_of(lambda: call(PRICES, "0.2089", len(PRICES), 1))
    print("Python call, 24 prices, threshold 0.2089 (best of 7 x 2000 calls)")
    print(f"  trivial call (min_selections = 24):      {trivial * 1e6:8.2f} us")
    for request in requests:
        for aggressive in (True, False):
            seconds = best_of(lambda: call(PRICES, "0.2089", *request, aggressive))
            name = "aggressive" if aggressive else "conservative"
            print(f"  {name:<12} {str(request):<15}        {seconds * 1e6:8.2f} us  = {seconds / trivial:5.2f} x trivial")


if __name__ == "__main__":
    main()
