"""QmVector2 conversions: the to_/get_ pairs, rounding, tuples, to_pygame, copying, repr and
the refusal to pickle."""

import builtins
import contextlib
import copy
import math
import pickle
import struct
import types

import pytest

from quelm_ui.fast.qmvector2 import qmvector2 as module
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

TYPE_NAME = "quelm_ui.fast.qmvector2.qmvector2.QmVector2"
ENTRY = TYPE_NAME + "."
SOURCE = "src/quelm_ui/fast/qmvector2/qmvector2"
PICKLING_REFUSED = ("Pickling of struct members such as self.data must be explicitly requested "
                    "with @auto_pickle(True)")
INF = math.inf
NAN = math.nan
V = QmVector2


def bits(value: float) -> bytes:
    return struct.pack("<d", value)


def snapshot(vector) -> tuple[bytes, bytes]:
    return bits(vector.x), bits(vector.y)


def assert_pair(vector, x, y):
    assert type(vector) is QmVector2
    assert snapshot(vector) == (bits(float(x)), bits(float(y))), (vector, (x, y))


MISSING = object()


@contextlib.contextmanager
def patched(target, name, value):
    """Binds (or, for MISSING, removes) an attribute for the block and restores it afterwards.
    Not monkeypatch: the leak check repeats a test with one fixture instance, whose undo list
    would grow with every call."""
    old = getattr(target, name, MISSING)
    if value is MISSING:
        delattr(target, name)
    else:
        setattr(target, name, value)
    try:
        yield
    finally:
        if old is MISSING:
            if hasattr(target, name):
                delattr(target, name)
        else:
            setattr(target, name, old)


def fake_md(**pygame_attributes):
    return types.SimpleNamespace(pygame=types.SimpleNamespace(**pygame_attributes))


# ---- the to_/get_ pairs ----

PAIR_CASES = [
    ("int", (2.7, -2.7), (2.0, -2.0)),
    ("int", (-0.5, 0.5), (-0.0, 0.0)),
    ("int", (1e300, -1e300), (1e300, -1e300)),
    ("int", (INF, -INF), (INF, -INF)),
    ("int", (2147483648.5, -4e9), (2147483648.0, -4e9)),
    ("round", (0.5, 1.5), (0.0, 2.0)),
    ("round", (2.5, -2.5), (2.0, -2.0)),
    ("round", (-0.4, 0.4), (0.0, 0.0)),
    ("round", (-0.0, 1e300), (0.0, 1e300)),
    ("round", (2.675, -1.4999999999999998), (3.0, -1.0)),
    ("abs", (-3, -0.0), (3.0, 0.0)),
    ("abs", (-INF, 2), (INF, 2.0)),
    ("neg", (1, 0), (-1.0, -0.0)),
    ("neg", (-0.0, -INF), (0.0, INF)),
]


@pytest.mark.parametrize("kind, start, expected", PAIR_CASES)
def test_to_methods_change_the_vector_and_return_it(kind, start, expected):
    v = V(*start)
    assert getattr(v, "to_" + kind)() is v
    assert_pair(v, *expected)


@pytest.mark.parametrize("kind, start, expected", PAIR_CASES)
def test_get_methods_return_a_new_vector(kind, start, expected):
    v = V(*start)
    result = getattr(v, "get_" + kind)()
    assert result is not v
    assert_pair(result, *expected)
    assert snapshot(v) == snapshot(V(*start))


def test_get_neg_equals_unary_minus():
    v = V(0.0, -1.5)
    assert snapshot(v.get_neg()) == snapshot(-v)


@pytest.mark.parametrize("start, exception, message, after_to_round", [
    ((1.4, INF), OverflowError, "cannot convert float infinity to integer", (1.0, INF)),
    ((INF, 1.4), OverflowError, "cannot convert float infinity to integer", (INF, 1.4)),
    ((2.6, NAN), ValueError, "cannot convert float NaN to integer", (3.0, NAN)),
    ((NAN, 2.6), ValueError, "cannot convert float NaN to integer", (NAN, 2.6)),
])
def test_rounding_errors(start, exception, message, after_to_round, entries_of):
    v = V(*start)
    with pytest.raises(exception) as info:
        v.get_round()
    assert str(info.value) == message
    assert (ENTRY + "get_round", SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(*start))
    # to_round stores x before it rounds y.
    with pytest.raises(exception) as info:
        v.to_round()
    assert (ENTRY + "to_round", SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(*after_to_round))


def test_rounding_uses_the_round_captured_at_import():
    with patched(builtins, "round", lambda value: 99):
        assert_pair(V(1.4, 2.6).get_round(), 1.0, 3.0)
        assert_pair(V(1.4, 2.6).to_round(), 1.0, 3.0)


# ---- tuples ----

@pytest.mark.parametrize("start, expected", [
    ((1, 2), (1.0, 2.0)),
    ((-0.0, INF), (-0.0, INF)),
])
def test_to_tuple(start, expected):
    result = V(*start).to_tuple()
    assert type(result) is tuple and len(result) == 2
    assert all(type(item) is float for item in result)
    assert tuple(map(bits, result)) == tuple(map(bits, expected))


@pytest.mark.parametrize("start, expected", [
    ((2.9, -2.9), (2, -2)),
    ((-0.5, 0.0), (0, 0)),
    ((2147483647.9, -2147483648.9), (2147483647, -2147483648)),
    ((1e9, -1e9), (1000000000, -1000000000)),
])
def test_get_int_tuple(start, expected):
    v = V(*start)
    result = v.get_int_tuple()
    assert type(result) is tuple and all(type(item) is int for item in result)
    assert result == expected
    assert snapshot(v) == snapshot(V(*start))


# ---- to_pygame ----

def test_to_pygame_makes_a_pygame_vector():
    from pygame.math import Vector2

    result = V(1.5, -2).to_pygame()
    assert type(result) is Vector2
    assert (result.x, result.y) == (1.5, -2.0)


def test_to_pygame_calls_md_pygame_vector2_with_two_floats():
    received = []

    def vector2(x, y):  # two positional parameters: any other call shape raises
        received.extend((x, y))
        return received

    with patched(module, "md", fake_md(Vector2=vector2)):
        assert V(3, -0.0).to_pygame() is received
    assert [type(a) for a in received] == [float, float]
    assert list(map(bits, received)) == [bits(3.0), bits(-0.0)]


def test_to_pygame_returns_whatever_the_call_returns():
    sentinel = object()
    with patched(module, "md", fake_md(Vector2=lambda x, y: sentinel)):
        assert V(1, 2).to_pygame() is sentinel


def test_to_pygame_falls_back_to_builtins_for_md():
    sentinel = object()
    with patched(module, "md", MISSING), patched(builtins, "md",
                                                  fake_md(Vector2=lambda x, y: sentinel)):
        assert V(1, 2).to_pygame() is sentinel


def fail_in_vector2(x, y):
    raise RuntimeError("no display")


@pytest.mark.parametrize("md, exception, message", [
    (MISSING, NameError, "name 'md' is not defined"),
    (types.SimpleNamespace(), AttributeError, None),
    (fake_md(), AttributeError, None),
    (fake_md(Vector2=fail_in_vector2), RuntimeError, "no display"),
])
def test_to_pygame_errors(md, exception, message, entries_of):
    v = V(1, 2)
    with patched(module, "md", md), pytest.raises(exception) as info:
        v.to_pygame()
    if message is not None:
        assert str(info.value) == message
    assert (ENTRY + "to_pygame", SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(1, 2))


# ---- copying ----

@pytest.mark.parametrize("make_copy", [
    lambda v: v.copy(),
    lambda v: v.__copy__(),
    lambda v: v.__deepcopy__({}),
    lambda v: v.__deepcopy__(memo={}),
    lambda v: v.__deepcopy__(None),
    copy.copy,
    copy.deepcopy,
])
def test_copies_are_equal_and_independent(make_copy):
    v = V(1.5, -0.0)
    result = make_copy(v)
    assert type(result) is QmVector2 and result is not v
    assert snapshot(result) == snapshot(v)
    result.x = 7
    assert_pair(v, 1.5, -0.0)


def test_deepcopy_leaves_memo_alone():
    memo = {"key": "value"}
    V(1, 2).__deepcopy__(memo)
    assert memo == {"key": "value"}


def test_deepcopy_of_a_container_copies_the_vector():
    v = V(1, 2)
    copied = copy.deepcopy([v, v])
    assert copied[0] is not v and copied[0] == v


# ---- repr ----

@pytest.mark.parametrize("start, text", [
    ((1, 2), "QmVector2(1.0, 2.0)"),
    ((0.1, -3.5), "QmVector2(0.1, -3.5)"),
    ((1e16, 0), "QmVector2(1e+16, 0.0)"),
    ((-0.0, 1e-7), "QmVector2(-0.0, 1e-07)"),
    ((INF, -INF), "QmVector2(inf, -inf)"),
    ((NAN, 0.1 + 0.2), "QmVector2(nan, 0.30000000000000004)"),
    ((123456789012345.6, 5e-324), "QmVector2(123456789012345.6, 5e-324)"),
])
def test_repr_and_str(start, text):
    v = V(*start)
    assert repr(v) == text
    assert str(v) == text
    assert f"{v}" == text


# ---- pickling is refused ----

@pytest.mark.parametrize("attempt", [
    *[lambda v, p=protocol: pickle.dumps(v, protocol=p)
      for protocol in range(pickle.HIGHEST_PROTOCOL + 1)],
    lambda v: v.__reduce__(),
    lambda v: v.__reduce_ex__(2),
    lambda v: v.__setstate__((1.0, 2.0)),
    lambda v: v.__setstate__(state=None),
    lambda v: pickle.dumps([1, v]),
])
def test_pickling_is_refused(attempt):
    v = V(1, 2)
    with pytest.raises(TypeError) as info:
        attempt(v)
    assert str(info.value) == PICKLING_REFUSED
    assert snapshot(v) == snapshot(V(1, 2))


# ---- argument checking and annotations ----

NO_ARGUMENT_METHODS = [
    "to_int", "get_int", "to_round", "get_round", "to_abs", "get_abs", "to_neg", "get_neg",
    "to_tuple", "get_int_tuple", "to_pygame", "copy", "__copy__", "__reduce__",
    "normalize", "normalize_ip",
]


@pytest.mark.parametrize("name", NO_ARGUMENT_METHODS)
@pytest.mark.parametrize("args, kwargs, message", [
    ((1,), {}, "{}() takes no arguments (1 given)"),
    ((1, 2), {}, "{}() takes no arguments (2 given)"),
    ((), {"x": 1}, "{}() takes no keyword arguments"),
])
def test_methods_without_parameters_reject_arguments(name, args, kwargs, message, entries_of):
    v = V(-1.5, 2.5)
    with pytest.raises(TypeError) as info:
        getattr(v, name)(*args, **kwargs)
    assert str(info.value) == message.format(name)
    assert (ENTRY + name, SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(-1.5, 2.5))


@pytest.mark.parametrize("call, message", [
    (lambda v: v.__deepcopy__(), "__deepcopy__() takes exactly 1 positional argument (0 given)"),
    (lambda v: v.__deepcopy__({}, {}),
     "__deepcopy__() takes exactly 1 positional argument (2 given)"),
    (lambda v: v.__setstate__(), "__setstate__() takes exactly 1 positional argument (0 given)"),
])
def test_methods_with_parameters_check_their_count(call, message):
    with pytest.raises(TypeError) as info:
        call(V(1, 2))
    assert str(info.value) == message


@pytest.mark.parametrize("name, annotation", [
    *[(f"{prefix}_{kind}", "QmVector2") for prefix in ("to", "get")
      for kind in ("int", "round", "abs", "neg")],
    ("normalize", "QmVector2"),
    ("normalize_ip", "QmVector2"),
    ("__copy__", "QmVector2"),
    ("__deepcopy__", "QmVector2"),
    ("to_tuple", "tuple[float, float]"),
    ("get_int_tuple", "tuple[int, int]"),
    ("copy", None),
    ("sadd", None),
    ("to_pygame", None),
    ("distance_to", None),
    ("distance_squared_to", None),
    ("dot", None),
])
def test_return_annotations(name, annotation):
    expected = {} if annotation is None else {"return": annotation}
    assert getattr(QmVector2, name).__annotations__ == expected
