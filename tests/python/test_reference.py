"""Both functions against the reference model (reference.py) on short series:
seeded random requests, well-formed and broken, and requests that Hypothesis
makes and shrinks."""
from collections import Counter

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from reference import expect_as_reference, requests

import tariffsieve

FUNCTIONS = [tariffsieve.get_cheapest_periods, tariffsieve.plan]


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
def test_seeded_requests_answer_as_the_reference(function, capfd):
    kinds = Counter()
    for seed in range(6):
        for request in requests(seed, 400, max_periods=12):
            kinds[expect_as_reference(function, request)] += 1
    capfd.readouterr()  # the aborts' diagnostics
    assert set(kinds) == {"answer", "error", "abort"}, kinds


@st.composite
def well_formed_requests(draw):
    prices = draw(st.lists(st.decimals(-100, 100, places=2).map("{:f}".format), min_size=1, max_size=9))
    n = len(prices)
    min_selections = draw(st.integers(1, n))
    gap = draw(st.integers(0, n))
    return (prices, draw(st.sampled_from(prices + ["0"])), min_selections, draw(st.integers(1, min_selections)),
            gap, draw(st.integers(0, gap)), draw(st.booleans()))


@settings(max_examples=150, deadline=None)
@given(well_formed_requests())
def test_drawn_requests_answer_as_the_reference(request):
    for function in FUNCTIONS:
        assert expect_as_reference(function, request) == "answer"
