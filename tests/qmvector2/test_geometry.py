"""QmVector2 geometry: length, normalisation, distances and the dot product."""

import math
import struct

import pytest

from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

TYPE_NAME = "quelm_ui.fast.qmvector2.qmvector2.QmVector2"
ENTRY = TYPE_NAME + "."
SOURCE = "src/quelm_ui/fast/qmvector2/qmvector2"
INF = math.inf
V = QmVector2


def bits(value: float) -> bytes:
    return struct.pack("<d", value)


def snapshot(vector) -> tuple[bytes, bytes]:
    return bits(vector.x), bits(vector.y)


def assert_pair(vector, x, y):
    assert type(vector) is QmVector2
    assert snapshot(vector) == (bits(float(x)), bits(float(y))), (vector, (x, y))


@pytest.mark.parametrize("start, expected", [
    ((3, 4), (0.6000000000000001, 0.8)),    # 3 * (1/5), not 3 / 5
    ((0, -5), (0.0, -1.0)),
    ((0, 0), (0.0, 0.0)),
    ((-0.0, -0.0), (0.0, 0.0)),
    ((1e-200, -1e-200), (0.0, 0.0)),         # the squared length underflows to zero
    ((1e200, 1e200), (0.0, 0.0)),            # it overflows: the reciprocal is zero
    ((1e200, -1e200), (0.0, -0.0)),
])
def test_normalize(start, expected):
    v = V(*start)
    result = v.normalize()
    assert result is not v
    assert_pair(result, *expected)
    assert snapshot(v) == snapshot(V(*start))
    assert v.normalize_ip() is v
    assert snapshot(v) == snapshot(result)


@pytest.mark.parametrize("start, expected", [
    ((3, 4), 5.0), ((-3, -4), 5.0), ((0, 0), 0.0), ((1e200, 0), INF), ((1e-200, 0), 0.0),
    ((1, 1), math.sqrt(2.0)),
])
def test_length(start, expected):
    value = V(*start).length
    assert type(value) is float and bits(value) == bits(expected)


@pytest.mark.parametrize("a, b, distance, squared, dot", [
    ((1, 1), (4, 5), 5.0, 25.0, 9.0),
    ((1, 2), (3, 4), math.sqrt(8.0), 8.0, 11.0),
    ((0, 0), (0, 0), 0.0, 0.0, 0.0),
    ((-1e200, 0), (1e200, 0), INF, INF, -INF),
])
def test_distances_and_dot(a, b, distance, squared, dot):
    v, w = V(*a), V(*b)
    for call in (lambda name: getattr(v, name)(w), lambda name: getattr(v, name)(other=w)):
        results = (call("distance_to"), call("distance_squared_to"), call("dot"))
        assert all(type(r) is float for r in results)
        assert tuple(map(bits, results)) == (bits(distance), bits(squared), bits(dot))
    assert snapshot(v) == snapshot(V(*a)) and snapshot(w) == snapshot(V(*b))


def arg_type_message(got: str) -> str:
    return f"Argument 'other' has incorrect type (expected {TYPE_NAME}, got {got})"


@pytest.mark.parametrize("name", ["distance_to", "distance_squared_to", "dot"])
@pytest.mark.parametrize("args, kwargs, message", [
    ((None,), {}, arg_type_message("NoneType")),
    (((1, 2),), {}, arg_type_message("tuple")),
    (([1, 2],), {}, arg_type_message("list")),
    ((3,), {}, arg_type_message("int")),
    (("ab",), {}, arg_type_message("str")),
    ((), {"other": None}, arg_type_message("NoneType")),
    ((), {}, "{}() takes exactly 1 positional argument (0 given)"),
    ((V(1, 1), V(1, 1)), {}, "{}() takes exactly 1 positional argument (2 given)"),
    ((V(1, 1),), {"o": 1}, "{}() got an unexpected keyword argument 'o'"),
])
def test_geometry_rejects_bad_arguments(name, args, kwargs, message, entries_of):
    v = V(1, 2)
    with pytest.raises(TypeError) as info:
        getattr(v, name)(*args, **kwargs)
    assert str(info.value) == message.format(name)
    assert (ENTRY + name, SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(1, 2))
