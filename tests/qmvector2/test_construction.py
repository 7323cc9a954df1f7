"""QmVector2 construction: constructor, __new__, the static factories, x/y, the free list."""

import array
import ctypes
import math
import struct
import sys

import pytest

from quelm_ui.fast.qmvector2 import qmvector2 as module
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

TYPE_NAME = "quelm_ui.fast.qmvector2.qmvector2.QmVector2"
INIT_ENTRY = "quelm_ui.fast.qmvector2.qmvector2.QmVector2.__init__"
SOURCE = "src/quelm_ui/fast/qmvector2/qmvector2"


def bits(value: float) -> bytes:
    return struct.pack("<d", value)


def assert_pair(vector, x, y):
    assert (bits(vector.x), bits(vector.y)) == (bits(float(x)), bits(float(y)))


class PygameLike:
    def __init__(self, x, y):
        self.x, self.y = x, y

    def clamp_magnitude_ip(self):  # pragma: no cover - only its presence matters
        pass


class OnlyXY:
    x, y = 1.0, 2.0


class RaisingFloat:
    def __float__(self):
        raise ZeroDivisionError("no float here")


class TupleSub(tuple):
    pass


class ListSub(list):
    pass


class LengthlessList(list):
    def __len__(self):
        raise ZeroDivisionError("no length here")


class ItemlessList(list):
    def __getitem__(self, index):
        raise ZeroDivisionError("no item here")


class PygameLikeWithoutY(PygameLike):
    def __init__(self, x):
        self.x = x


class PygameLikeWithoutX(PygameLike):
    def __init__(self):
        pass


@pytest.mark.parametrize("args, expected", [
    ((), (0.0, 0.0)),
    ((3, 4), (3.0, 4.0)),
    ((True, 2), (1.0, 2.0)),
    ((1.5, -2.25), (1.5, -2.25)),
    (([1, 2],), (1.0, 2.0)),
    (((1, 2),), (1.0, 2.0)),
    ((TupleSub((5, 6)),), (5.0, 6.0)),
    ((ListSub([7, 8]),), (7.0, 8.0)),
    ((PygameLike(9, -1),), (9.0, -1.0)),
    ((QmVector2(2.5, 3.5),), (2.5, 3.5)),
])
def test_constructor_accepts(args, expected):
    assert_pair(QmVector2(*args), *expected)


@pytest.mark.parametrize("args, kwargs, message", [
    ((1, 2, 3), {}, "QmVector2() takes 0, 1, or 2 arguments, but 3 were given"),
    ((), {"x": 1}, "__init__() got an unexpected keyword argument 'x'"),
    (([1, 2, 3],), {}, "QmVector2() takes a sequence of length 2, but got 3"),
    (([],), {}, "QmVector2() takes a sequence of length 2, but got 0"),
    ((TupleSub((1,)),), {}, "QmVector2() takes a sequence of length 2, but got 1"),
    ((5,), {}, "QmVector2() invalid constructor argument: int"),
    (({},), {}, "QmVector2() invalid constructor argument: dict"),
    (("ab",), {}, "QmVector2() invalid constructor argument: str"),
    ((OnlyXY(),), {}, "QmVector2() invalid constructor argument: OnlyXY"),
    ((None,), {}, "QmVector2() invalid constructor argument: NoneType"),
])
def test_constructor_rejects(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        QmVector2(*args, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize("args, error", [
    (("a", 1), TypeError),
    ((1, "b"), TypeError),
    ((2**2000, 1), OverflowError),
    ((RaisingFloat(), 1), ZeroDivisionError),
    (([1, "b"],), TypeError),
    ((["a", 1],), TypeError),
    ((LengthlessList([1, 2]),), ZeroDivisionError),
    ((ItemlessList([1, 2]),), ZeroDivisionError),
    ((PygameLikeWithoutY(1),), AttributeError),
    ((PygameLikeWithoutX(),), AttributeError),
    ((PygameLike("a", 1),), TypeError),
])
def test_component_conversion_errors_propagate(args, error):
    with pytest.raises(error):
        QmVector2(*args)


def native_call(func, args, kwnames):
    """PyObject_Vectorcall as another extension module makes it: keyword names unchecked."""
    vectorcall = ctypes.pythonapi.PyObject_Vectorcall
    vectorcall.restype = ctypes.py_object
    vectorcall.argtypes = [ctypes.py_object, ctypes.POINTER(ctypes.py_object), ctypes.c_size_t,
                           ctypes.py_object]
    stack = (ctypes.py_object * max(1, len(args)))(*args)
    return vectorcall(func, stack, len(args) - len(kwnames), kwnames)


@pytest.mark.parametrize("call", [
    lambda v: v.__init__(**{1: 2}),
    lambda v: v.__init__(3, **{1: 2}),
    lambda v: v.__init__(3, 4, **{1: 2}),
    lambda v: v.__init__(3, 4, 5, **{1: 2}),
    lambda v: v.__init__(**{1: 2, "x": 3}),
    lambda v: native_call(QmVector2, (2,), (1,)),
    lambda v: native_call(QmVector2, (3, 4, 2), (None,)),
], ids=["none", "one", "two", "three", "before a str", "native", "native, two"])
def test_keyword_that_is_not_a_string(call):
    vector = QmVector2(1, 2)
    with pytest.raises(TypeError) as info:
        call(vector)
    assert str(info.value) == "__init__() keywords must be strings"
    assert_pair(vector, 1, 2)


@pytest.mark.parametrize("args, expected_after", [
    # x is stored before y is converted, so a failing y leaves the new x behind.
    ((5, "b"), (5.0, 2.0)),
    (("a", 5), (1.0, 2.0)),
    (([7, None],), (7.0, 2.0)),
    ((PygameLike(8, None),), (8.0, 2.0)),
])
def test_reinit_partial_update(args, expected_after):
    vector = QmVector2(1, 2)
    with pytest.raises(TypeError):
        vector.__init__(*args)
    assert_pair(vector, *expected_after)


@pytest.mark.parametrize("bad_init", [
    lambda v: v.__init__(1, 2, 3),
    lambda v: v.__init__(x=1),
    lambda v: v.__init__([1]),
    lambda v: v.__init__(object()),
])
def test_rejected_init_leaves_vector_unchanged(bad_init):
    vector = QmVector2(1, 2)
    with pytest.raises(TypeError):
        bad_init(vector)
    assert_pair(vector, 1, 2)


def test_vector_marker_lookup_only_swallows_attribute_error():
    class Exploding:
        def __getattr__(self, name):
            raise KeyError(name)

    with pytest.raises(KeyError):
        QmVector2(Exploding())


def test_list_mutated_by_item_conversion_is_not_read_past_its_end():
    items = []

    class Shrinker:
        def __float__(self):
            items.clear()
            return 1.0

    items.extend([Shrinker(), 2.0])
    with pytest.raises(IndexError):
        QmVector2(items)


def test_copy_from_vector_is_independent():
    original = QmVector2(1, 2)
    copy = QmVector2(original)
    copy.x = 10
    assert_pair(original, 1, 2)


def test_new_without_init_is_zero_even_when_recycled():
    for _ in range(10):
        QmVector2(123.0, 456.0)  # released straight to the free list
    assert_pair(QmVector2.__new__(QmVector2), 0, 0)
    assert_pair(QmVector2.__new__(QmVector2, 1, 2), 0, 0)


def test_init_error_has_traceback_entry(entries_of):
    with pytest.raises(TypeError) as info:
        QmVector2(1, 2, 3)
    assert (INIT_ENTRY, SOURCE) in entries_of(info.value)


@pytest.mark.parametrize("factory, args, kwargs, expected", [
    ("from_qmvector2", (QmVector2(1, 2),), {}, (1.0, 2.0)),
    ("from_qmvector2", (), {"other": QmVector2(3, 4)}, (3.0, 4.0)),
    ("from_tuple", ((1, 2, 3),), {}, (1.0, 2.0)),
    ("from_tuple", (), {"other": (1.5, 2)}, (1.5, 2.0)),
    ("from_list", ([1, 2, 3],), {}, (1.0, 2.0)),
    ("from_ints", (2.9, -2.9), {}, (2.0, -2.0)),
    ("from_ints", (True, -2147483648), {}, (1.0, -2147483648.0)),
    ("from_ints", (), {"y": 4, "x": 3}, (3.0, 4.0)),
    ("from_floats", (0.1, 0.2), {}, (0.10000000149011612, 0.20000000298023224)),
    ("from_floats", (1e300, -1e300), {}, (math.inf, -math.inf)),
    ("from_floats", (3, 4), {}, (3.0, 4.0)),
    ("from_xy", (0.1, 0.2), {}, (0.1, 0.2)),
    ("from_xy", (1, 2), {"y": 2}, None),
])
def test_factories(factory, args, kwargs, expected):
    func = getattr(QmVector2, factory)
    if expected is None:
        with pytest.raises(TypeError):
            func(*args, **kwargs)
        return
    result = func(*args, **kwargs)
    assert type(result) is QmVector2
    assert_pair(result, *expected)


def test_from_floats_narrows_both_components_independently():
    # Two adjacent (double)(float) stores: an optimiser that drops the narrowing shows here.
    for x, y in [(0.1, 0.2), (1 / 3, 2 / 3), (1e-40, 16777217.0)]:
        result = QmVector2.from_floats(x, y)
        expected = struct.unpack("<2f", struct.pack("<2f", x, y))
        assert_pair(result, *expected)


@pytest.mark.parametrize("call, message", [
    (lambda: QmVector2.from_tuple([1, 2]),
     "Argument 'other' has incorrect type (expected tuple, got list)"),
    (lambda: QmVector2.from_tuple(TupleSub((1, 2))),
     "Argument 'other' has incorrect type (expected tuple, got TupleSub)"),
    (lambda: QmVector2.from_tuple(None),
     "Argument 'other' has incorrect type (expected tuple, got NoneType)"),
    (lambda: QmVector2.from_list((1, 2)),
     "Argument 'other' has incorrect type (expected list, got tuple)"),
    (lambda: QmVector2.from_list(None),
     "Argument 'other' has incorrect type (expected list, got NoneType)"),
    (lambda: QmVector2.from_qmvector2((1, 2)),
     f"Argument 'other' has incorrect type (expected {TYPE_NAME}, got tuple)"),
    (lambda: QmVector2.from_qmvector2(None),
     f"Argument 'other' has incorrect type (expected {TYPE_NAME}, got NoneType)"),
    (lambda: QmVector2.from_xy(1),
     "from_xy() takes exactly 2 positional arguments (1 given)"),
    (lambda: QmVector2.from_xy(1, 2, 3),
     "from_xy() takes exactly 2 positional arguments (3 given)"),
    (lambda: QmVector2.from_ints(x=1),
     "from_ints() takes exactly 2 positional arguments (1 given)"),
    (lambda: QmVector2.from_ints(y=1),
     "from_ints() takes exactly 2 positional arguments (0 given)"),
    (lambda: QmVector2.from_floats(1, 2, z=3),
     "from_floats() got an unexpected keyword argument 'z'"),
    (lambda: QmVector2.from_floats(1, x=2),
     "from_floats() takes exactly 2 positional arguments (1 given)"),
    (lambda: QmVector2.from_floats(1, 2, x=2),
     "from_floats() got multiple values for keyword argument 'x'"),
    (lambda: QmVector2.from_tuple(),
     "from_tuple() takes exactly 1 positional argument (0 given)"),
    (lambda: QmVector2.from_ints("a", 1), "an integer is required"),
    (lambda: QmVector2.from_xy("a", 1), "must be real number, not str"),
])
def test_factory_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("args, message", [
    ((2147483648, 0), "value too large to convert to int"),
    ((0, -2147483649), "value too large to convert to int"),
    ((2**64, 0), "Python int too large to convert to C long"),
    ((1e10, 0), "value too large to convert to int"),
])
def test_from_ints_range(args, message):
    with pytest.raises(OverflowError) as info:
        QmVector2.from_ints(*args)
    assert str(info.value) == message


@pytest.mark.parametrize("factory, arg", [("from_tuple", (1,)), ("from_tuple", ()),
                                          ("from_list", [1]), ("from_list", [])])
def test_short_containers_raise_index_error(factory, arg):
    with pytest.raises(IndexError):
        getattr(QmVector2, factory)(arg)


def test_factory_error_traceback_entry(entries_of):
    with pytest.raises(OverflowError) as info:
        QmVector2.from_ints(2**31, 0)
    assert entries_of(info.value)[-1] == (
        "quelm_ui.fast.qmvector2.qmvector2.QmVector2.from_ints", SOURCE)


def test_factories_are_static_with_return_annotations():
    vector = QmVector2(1, 2)
    for name in ["from_qmvector2", "from_tuple", "from_list", "from_ints", "from_floats",
                 "from_xy"]:
        assert isinstance(QmVector2.__dict__[name], staticmethod)
        assert getattr(QmVector2, name).__annotations__ == {"return": "QmVector2"}
        assert getattr(vector, name) is getattr(QmVector2, name)
    assert_pair(vector.from_xy(5, 6), 5, 6)


@pytest.mark.parametrize("value, expected", [(2, 2.0), (True, 1.0), (-0.0, -0.0), (1e308, 1e308)])
def test_property_assignment(value, expected):
    vector = QmVector2(1, 2)
    vector.x = value
    vector.y = value
    assert_pair(vector, expected, expected)


class IndexOnly:
    def __index__(self):
        return 7


@pytest.mark.parametrize("value, error", [
    ("a", TypeError), (None, TypeError), (2**2000, OverflowError), (RaisingFloat(), ZeroDivisionError),
])
def test_rejected_property_assignment_leaves_vector_unchanged(value, error):
    vector = QmVector2(1, 2)
    with pytest.raises(error):
        vector.x = value
    with pytest.raises(error):
        vector.y = value
    assert_pair(vector, 1, 2)


def test_property_accepts_index_objects():
    vector = QmVector2()
    vector.x = IndexOnly()
    assert vector.x == 7.0


@pytest.mark.parametrize("name", ["x", "y"])
def test_property_deletion(name):
    vector = QmVector2(1, 2)
    with pytest.raises(NotImplementedError) as info:
        delattr(vector, name)
    assert str(info.value) == "__del__"
    assert_pair(vector, 1, 2)


def test_type_shape():
    vector = QmVector2(1, 2)
    with pytest.raises(AttributeError):
        vector.z = 1
    with pytest.raises(TypeError):
        type("Sub", (QmVector2,), {})
    with pytest.raises(TypeError):
        import weakref
        weakref.ref(vector)
    assert not hasattr(vector, "__dict__")
    assert QmVector2.__basicsize__ == 40
    assert QmVector2.__module__ == "quelm_ui.fast.qmvector2.qmvector2"
    assert QmVector2.__qualname__ == "QmVector2"
    assert module.md is sys.modules["quelm_ui.core.modules"]


def test_free_list_reuses_most_recent_first_and_frees_the_excess():
    # Fill the pool: of 2000 released at once, 1000 are kept.
    batch = [QmVector2() for _ in range(2000)]
    del batch
    addresses = array.array("Q", bytes(8 * 1100))  # no per-item objects to count
    blocks_before = sys.getallocatedblocks()
    batch = [QmVector2(i, i) for i in range(1100)]
    for index, vector in enumerate(batch):
        addresses[index] = id(vector)
    del vector
    del batch  # a list releases its items from the end: 1099 first, ..., 0 last
    assert sys.getallocatedblocks() - blocks_before < 50
    recycled = [QmVector2() for _ in range(3)]
    assert [id(v) for v in recycled] == list(addresses[100:103])
    assert all(v.x == 0.0 and v.y == 0.0 for v in recycled)
