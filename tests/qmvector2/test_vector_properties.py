"""Property tests: every QmVector2 operation against the same formula evaluated with Python
floats, bit for bit (any NaN matches any NaN, since IEEE arithmetic fixes no NaN payload)."""

import math
import operator
import struct

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

# No deadline: the machine running the suite is shared.
relaxed = settings(deadline=None)

floats = st.floats()                     # NaN and infinities included
finite = st.floats(allow_nan=False, allow_infinity=False)
ints = st.integers(min_value=-(2**1100), max_value=2**1100)
int32_range = st.floats(min_value=-2147483648.0, max_value=2147483647.0)


def bits(value: float) -> bytes:
    return struct.pack("<d", value)


def same(got: float, expected: float) -> bool:
    return bits(got) == bits(expected) or (math.isnan(got) and math.isnan(expected))


def assert_pair(vector, x, y, exact=False):
    assert type(vector) is QmVector2
    if exact:
        assert (bits(vector.x), bits(vector.y)) == (bits(x), bits(y)), (vector, x, y)
    else:
        assert same(vector.x, x) and same(vector.y, y), (vector, x, y)


# ---- reference formulas on Python floats ----

def ieee_div(a: float, b: float) -> float:
    """a / b as IEEE division: Python raises ZeroDivisionError where IEEE gives inf or NaN."""
    if b == 0.0:
        if a == 0.0 or math.isnan(a):
            return math.nan
        return math.copysign(math.inf, a) * math.copysign(1.0, b)
    return a / b


def keep_zero_sign(result: float, source: float) -> float:
    return math.copysign(result, source) if result == 0.0 else result


def ieee_floor(q: float) -> float:
    return q if not math.isfinite(q) else keep_zero_sign(float(math.floor(q)), q)


def ieee_trunc(q: float) -> float:
    return q if not math.isfinite(q) else keep_zero_sign(float(math.trunc(q)), q)


PAIR_FORMULAS = {
    "+": (operator.add, lambda a, b: a + b),
    "-": (operator.sub, lambda a, b: a - b),
    "*": (operator.mul, lambda a, b: a * b),
    "/": (operator.truediv, ieee_div),
    "//": (operator.floordiv, lambda a, b: ieee_floor(ieee_div(a, b))),
}
SCALING = ["*", "/", "//"]
IN_PLACE = {"+": operator.iadd, "-": operator.isub, "*": operator.imul}


@pytest.mark.parametrize("symbol", PAIR_FORMULAS)
@relaxed
@given(floats, floats, floats, floats)
def test_vector_by_vector(symbol, ax, ay, bx, by):
    op, formula = PAIR_FORMULAS[symbol]
    assert_pair(op(QmVector2(ax, ay), QmVector2(bx, by)), formula(ax, bx), formula(ay, by))


@pytest.mark.parametrize("symbol", SCALING)
@relaxed
@given(floats, floats, floats)
def test_vector_by_float(symbol, x, y, s):
    op, formula = PAIR_FORMULAS[symbol]
    assert_pair(op(QmVector2(x, y), s), formula(x, s), formula(y, s))


@pytest.mark.parametrize("symbol", SCALING)
@relaxed
@given(floats, floats, ints)
def test_vector_by_int(symbol, x, y, n):
    op, formula = PAIR_FORMULAS[symbol]
    try:
        s = float(n)
    except OverflowError:
        with pytest.raises(OverflowError):
            op(QmVector2(x, y), n)
        return
    assert_pair(op(QmVector2(x, y), n), formula(x, s), formula(y, s))


@pytest.mark.parametrize("symbol", IN_PLACE)
@relaxed
@given(floats, floats, floats, floats)
def test_in_place(symbol, ax, ay, bx, by):
    formula = PAIR_FORMULAS[symbol][1]
    v = QmVector2(ax, ay)
    assert IN_PLACE[symbol](v, QmVector2(bx, by)) is v
    assert_pair(v, formula(ax, bx), formula(ay, by))


@relaxed
@given(floats, floats, floats, floats, floats, floats)
def test_sadd(x, y, nx, ny, ox, oy):
    v = QmVector2(x, y)
    v.sadd(QmVector2(nx, ny), QmVector2(ox, oy))
    assert_pair(v, ox + nx, oy + ny)


@relaxed
@given(floats, floats)
def test_sign_operations_are_exact_bit_operations(x, y):
    assert_pair(-QmVector2(x, y), -x, -y, exact=True)
    assert_pair(QmVector2(x, y).get_neg(), -x, -y, exact=True)
    assert_pair(QmVector2(x, y).get_abs(), math.copysign(x, 1.0), math.copysign(y, 1.0),
                exact=True)


@relaxed
@given(floats, floats)
def test_truncation(x, y):
    assert_pair(QmVector2(x, y).get_int(), ieee_trunc(x), ieee_trunc(y))
    assert_pair(QmVector2(x, y).to_int(), ieee_trunc(x), ieee_trunc(y))


def python_round(value: float):
    """(result, None) or (None, exception type) for the built-in round of one component."""
    try:
        return float(round(value)), None
    except (OverflowError, ValueError) as error:
        return None, type(error)


@relaxed
@given(floats, floats)
def test_rounding(x, y):
    (rx, x_error), (ry, y_error) = python_round(x), python_round(y)
    v = QmVector2(x, y)
    error = x_error or y_error
    if error is None:
        assert_pair(v.get_round(), rx, ry, exact=True)
        assert_pair(v.to_round(), rx, ry, exact=True)
        return
    with pytest.raises(error):
        v.get_round()
    assert_pair(v, x, y, exact=True)
    with pytest.raises(error):
        v.to_round()
    assert_pair(v, x if x_error else rx, y, exact=True)


@relaxed
@given(int32_range, int32_range)
def test_int_tuple(x, y):
    assert QmVector2(x, y).get_int_tuple() == (int(x), int(y))


@relaxed
@given(floats, floats, floats, floats)
def test_equality(ax, ay, bx, by):
    a, b = QmVector2(ax, ay), QmVector2(bx, by)
    assert (a == b) is (ax == bx and ay == by)
    assert (a != b) is not (ax == bx and ay == by)


class Lane:
    """An item whose hash is given: stands in for a float NaN, which hashes by identity."""

    def __init__(self, value):
        self.value = value

    def __hash__(self):
        return self.value


@relaxed
@given(floats, floats)
def test_hash_is_the_tuple_hash(x, y):
    v = QmVector2(x, y)
    if not (math.isnan(x) or math.isnan(y)):
        assert hash(v) == hash((x, y))
    else:
        # The vector is the object that holds the NaN, so its identity stands in.
        lanes = tuple(Lane(object.__hash__(v)) if math.isnan(c) else c for c in (x, y))
        assert hash(v) == hash(lanes)


@relaxed
@given(floats, floats)
def test_repr(x, y):
    assert repr(QmVector2(x, y)) == f"QmVector2({x!r}, {y!r})"


@relaxed
@given(floats, floats)
def test_length(x, y):
    assert same(QmVector2(x, y).length, math.sqrt(x * x + y * y))


def normalized(x: float, y: float) -> tuple[float, float]:
    squared = x * x + y * y
    if squared == 0.0:
        return 0.0, 0.0
    inverse = 1.0 / math.sqrt(squared)
    return x * inverse, y * inverse


@relaxed
@given(floats, floats)
def test_normalize(x, y):
    assert_pair(QmVector2(x, y).normalize(), *normalized(x, y))
    v = QmVector2(x, y)
    v.normalize_ip()
    assert_pair(v, *normalized(x, y))


@relaxed
@given(floats, floats, floats, floats)
def test_distances_and_dot(ax, ay, bx, by):
    a, b = QmVector2(ax, ay), QmVector2(bx, by)
    dx, dy = ax - bx, ay - by
    assert same(a.distance_squared_to(b), dx * dx + dy * dy)
    assert same(a.distance_to(b), math.sqrt(dx * dx + dy * dy))
    assert same(a.dot(b), ax * bx + ay * by)


@relaxed
@given(floats, floats, st.sampled_from([0, 1]), floats)
def test_item_round_trip(x, y, index, value):
    v = QmVector2(x, y)
    v[index] = value
    assert bits(v[index]) == bits(value)
    assert bits(v[1 - index]) == bits((x, y)[1 - index])
    assert [bits(c) for c in v] == [bits(v.x), bits(v.y)]
