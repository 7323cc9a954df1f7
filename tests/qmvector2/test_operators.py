"""QmVector2 operators: arithmetic and its in-place forms, sadd, equality, hashing, length,
indexing, iteration and the swizzle properties."""

import ctypes
import math
import operator
import struct

import pytest

from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

TYPE_NAME = "quelm_ui.fast.qmvector2.qmvector2.QmVector2"
ENTRY = TYPE_NAME + "."
SOURCE = "src/quelm_ui/fast/qmvector2/qmvector2"
INF = math.inf
NAN = math.nan


def bits(value: float) -> bytes:
    return struct.pack("<d", value)


def same(got: float, expected: float) -> bool:
    """Bit-identical, except that any NaN matches any NaN (IEEE fixes no payload)."""
    return bits(got) == bits(expected) or (math.isnan(got) and math.isnan(expected))


def assert_pair(vector, x, y):
    assert type(vector) is QmVector2
    assert same(vector.x, float(x)) and same(vector.y, float(y)), (vector, (x, y))


def arg_type_message(param: str, got: str) -> str:
    return f"Argument '{param}' has incorrect type (expected {TYPE_NAME}, got {got})"


def snapshot(vector) -> tuple[bytes, bytes]:
    return bits(vector.x), bits(vector.y)


class FloatSub(float):
    pass


class IntSub(int):
    pass


class RaisingFloat:
    def __float__(self):
        raise ZeroDivisionError("no float here")


class IntWithRaisingFloat(int):
    def __float__(self):
        raise ZeroDivisionError("no float here")


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Reflecting:
    """Implements every reflected operator and records which ones Python tried."""

    def __init__(self):
        self.calls = []

    def _reflected(name):
        def method(self, other):
            self.calls.append(name)
            return name

        return method

    __radd__ = _reflected("__radd__")
    __rsub__ = _reflected("__rsub__")
    __rmul__ = _reflected("__rmul__")
    __rtruediv__ = _reflected("__rtruediv__")
    __rfloordiv__ = _reflected("__rfloordiv__")


V = QmVector2


# ---- binary arithmetic ----

@pytest.mark.parametrize("op, a, b, expected", [
    (operator.add, V(1, 2), V(3, 4), (4.0, 6.0)),
    (operator.add, V(0.1, -0.0), V(0.2, -0.0), (0.1 + 0.2, -0.0)),
    (operator.sub, V(1, 2), V(3, 4), (-2.0, -2.0)),
    (operator.sub, V(0.0, 1), V(0.0, 1), (0.0, 0.0)),
    (operator.mul, V(2, 3), V(4, 5), (8.0, 15.0)),
    (operator.mul, V(2, 3), 2, (4.0, 6.0)),
    (operator.mul, V(2, 3), True, (2.0, 3.0)),
    (operator.mul, V(2, 3), False, (0.0, 0.0)),
    (operator.mul, V(2, 3), 0.5, (1.0, 1.5)),
    (operator.mul, V(2, 3), FloatSub(-1.0), (-2.0, -3.0)),
    (operator.mul, V(2, 3), IntSub(3), (6.0, 9.0)),
    (operator.mul, V(1, 1), 2**60 + 1, (2.0**60, 2.0**60)),
    (operator.truediv, V(1, 2), V(4, 8), (0.25, 0.25)),
    (operator.truediv, V(3, 7), 10, (0.3, 0.7)),
    (operator.truediv, V(1, 1), 0, (INF, INF)),
    (operator.truediv, V(0, 1), 0, (NAN, INF)),
    (operator.truediv, V(1, -1), 0.0, (INF, -INF)),
    (operator.truediv, V(1, -1), -0.0, (-INF, INF)),
    (operator.truediv, V(1, 1), V(0, -0.0), (INF, -INF)),
    (operator.floordiv, V(1, -1), 0.1, (10.0, -10.0)),
    (operator.floordiv, V(7, -7), V(2, 2), (3.0, -4.0)),
    (operator.floordiv, V(-0.5, 0.5), 1, (-1.0, 0.0)),
    (operator.floordiv, V(-0.0, 0.0), 1, (-0.0, 0.0)),
    (operator.floordiv, V(1, -1), 0, (INF, -INF)),
    (operator.floordiv, V(0, 1), V(0, 0), (NAN, INF)),
    (operator.floordiv, V(5, 5), True, (5.0, 5.0)),
])
def test_binary_operator_results(op, a, b, expected):
    before = snapshot(a), (snapshot(b) if type(b) is QmVector2 else None)
    result = op(a, b)
    assert_pair(result, *expected)
    assert result is not a and result is not b
    assert (snapshot(a), snapshot(b) if type(b) is QmVector2 else None) == before


def test_true_division_is_not_multiplication_by_the_reciprocal():
    # 3 * (1 / 10) is 0.30000000000000004; the quotient 3 / 10 is 0.3.
    assert (V(3, 3) / 10).x == 0.3


@pytest.mark.parametrize("a, expected", [
    (V(0, 0), (-0.0, -0.0)),
    (V(-0.0, 1), (0.0, -1.0)),
    (V(1, -2), (-1.0, 2.0)),
    (V(INF, -INF), (-INF, INF)),
])
def test_negation_flips_the_sign_bit(a, expected):
    result = -a
    assert_pair(result, *expected)
    assert result is not a


def test_negated_zero_still_equals_zero():
    assert -V(0, 0) == V(0, 0)


# ---- operand acceptance ----

BAD_OPERANDS = [None, 1, 1.5, True, (1, 2), [1, 2], "a", object()]


@pytest.mark.parametrize("op, entry", [
    (operator.add, "__add__"),
    (operator.sub, "__sub__"),
    (operator.iadd, "__iadd__"),
    (operator.isub, "__isub__"),
    (operator.imul, "__imul__"),
])
@pytest.mark.parametrize("bad", BAD_OPERANDS, ids=lambda b: type(b).__name__)
def test_vector_only_operators_raise_for_other_operands(op, entry, bad, entries_of):
    v = V(1, 2)
    with pytest.raises(TypeError) as info:
        op(v, bad)
    assert str(info.value) == arg_type_message("other", type(bad).__name__)
    assert (ENTRY + entry, SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(1, 2))


@pytest.mark.parametrize("op", [operator.add, operator.sub, operator.iadd, operator.isub,
                                operator.imul])
def test_vector_only_operators_never_try_the_reflected_method(op):
    other = Reflecting()
    with pytest.raises(TypeError):
        op(V(1, 2), other)
    assert other.calls == []


@pytest.mark.parametrize("op, reflected", [
    (operator.mul, "__rmul__"),
    (operator.truediv, "__rtruediv__"),
    (operator.floordiv, "__rfloordiv__"),
    (operator.itruediv, "__rtruediv__"),
    (operator.ifloordiv, "__rfloordiv__"),
])
def test_scaling_operators_let_the_right_operand_try(op, reflected):
    other = Reflecting()
    assert op(V(1, 2), other) == reflected
    assert other.calls == [reflected]


@pytest.mark.parametrize("expression, symbol", [
    (lambda v: 1 + v, "+"),
    (lambda v: 1.5 - v, "-"),
    (lambda v: 2 * v, "*"),
    (lambda v: 2.0 * v, "*"),
    (lambda v: 2 / v, "/"),
    (lambda v: 2 // v, "//"),
    (lambda v: None * v, "*"),
    (lambda v: v / None, "/"),
    (lambda v: v // "a", "//"),
    (lambda v: v * None, "*"),
    (lambda v: v * RaisingFloat(), "*"),
    (lambda v: v % 2, "%"),
    (lambda v: v ** 2, "** or pow()"),
    (lambda v: v @ v, "@"),
])
def test_unsupported_operands_get_pythons_operand_error(expression, symbol):
    with pytest.raises(TypeError, match=rf"^unsupported operand type\(s\) for {re_escape(symbol)}"):
        expression(V(1, 2))


def re_escape(text):
    import re

    return re.escape(text)


@pytest.mark.parametrize("expression", [
    lambda v: v * "a",   # str's repetition refuses a vector count
    lambda v: +v,
    lambda v: abs(v),
])
def test_other_missing_operations_raise_type_error(expression):
    with pytest.raises(TypeError):
        expression(V(1, 2))


@pytest.mark.parametrize("op, entry", [
    (operator.mul, "__mul__"),
    (operator.truediv, "__truediv__"),
    (operator.floordiv, "__floordiv__"),
])
@pytest.mark.parametrize("scalar, exception", [
    (10**400, OverflowError),
    (-(10**400), OverflowError),
    (IntWithRaisingFloat(2), ZeroDivisionError),
])
def test_scalar_conversion_errors(op, entry, scalar, exception, entries_of):
    v = V(1, 2)
    with pytest.raises(exception) as info:
        op(v, scalar)
    assert (ENTRY + entry, SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(1, 2))


def test_huge_int_scalar_message():
    with pytest.raises(OverflowError, match="^int too large to convert to float$"):
        V(1, 2) * 10**400


# ---- in-place forms ----

@pytest.mark.parametrize("op, b, expected", [
    (operator.iadd, V(3, 4), (4.0, 6.0)),
    (operator.isub, V(3, 4), (-2.0, -2.0)),
    (operator.imul, V(3, 4), (3.0, 8.0)),
])
def test_in_place_operators_change_the_left_vector(op, b, expected):
    v = V(1, 2)
    alias = v
    result = op(v, b)
    assert result is alias
    assert_pair(alias, *expected)
    assert snapshot(b) == snapshot(V(3, 4))


def test_in_place_with_itself():
    v = V(1.5, -2)
    v += v
    assert_pair(v, 3.0, -4.0)
    v *= v
    assert_pair(v, 9.0, 16.0)


@pytest.mark.parametrize("op, operand, expected", [
    (operator.itruediv, 2, (0.5, 1.0)),
    (operator.itruediv, V(2, 4), (0.5, 0.5)),
    (operator.ifloordiv, 2, (0.0, 1.0)),
    (operator.ifloordiv, V(2, 4), (0.0, 0.0)),
])
def test_in_place_division_rebinds_to_a_new_vector(op, operand, expected):
    v = V(1, 2)
    result = op(v, operand)
    assert result is not v
    assert_pair(result, *expected)
    assert_pair(v, 1.0, 2.0)


def test_in_place_multiplication_by_a_number_is_refused_but_rebinding_works():
    v = V(1, 2)
    with pytest.raises(TypeError, match=re_escape(arg_type_message("other", "int"))):
        v *= 2
    assert_pair(v, 1.0, 2.0)
    v = v * 2
    assert_pair(v, 2.0, 4.0)


# ---- sadd ----

@pytest.mark.parametrize("call", [
    lambda v, n, o: v.sadd(n, o),
    lambda v, n, o: v.sadd(n, old_vec=o),
    lambda v, n, o: v.sadd(old_vec=o, new_vec=n),
    lambda v, n, o: QmVector2.sadd(v, n, o),
])
def test_sadd_sets_old_plus_new_and_returns_none(call):
    v = V(-100, 55)
    new_vec, old_vec = V(1, 1), V(10, 20)
    assert call(v, new_vec, old_vec) is None
    assert_pair(v, 11.0, 21.0)
    assert snapshot(new_vec) == snapshot(V(1, 1)) and snapshot(old_vec) == snapshot(V(10, 20))


def test_sadd_with_itself_as_operand():
    v = V(1, 2)
    v.sadd(v, V(10, 10))
    assert_pair(v, 11.0, 12.0)


@pytest.mark.parametrize("args, kwargs, exception, message", [
    ((None, V(1, 1)), {}, TypeError, arg_type_message("new_vec", "NoneType")),
    ((V(1, 1), None), {}, TypeError, arg_type_message("old_vec", "NoneType")),
    (((1, 2), V(1, 1)), {}, TypeError, arg_type_message("new_vec", "tuple")),
    ((V(1, 1), [1, 2]), {}, TypeError, arg_type_message("old_vec", "list")),
    ((None, None), {}, TypeError, arg_type_message("new_vec", "NoneType")),
    ((V(1, 1),), {}, TypeError, "sadd() takes exactly 2 positional arguments (1 given)"),
    ((), {}, TypeError, "sadd() takes exactly 2 positional arguments (0 given)"),
    ((V(1, 1), V(1, 1), V(1, 1)), {}, TypeError,
     "sadd() takes exactly 2 positional arguments (3 given)"),
    ((V(1, 1), V(1, 1)), {"z": 1}, TypeError, "sadd() got an unexpected keyword argument 'z'"),
    ((V(1, 1), V(1, 1)), {"new_vec": V(1, 1)}, TypeError,
     "sadd() got multiple values for keyword argument 'new_vec'"),
])
def test_sadd_rejects_bad_arguments(args, kwargs, exception, message, entries_of):
    v = V(3, 4)
    with pytest.raises(exception) as info:
        v.sadd(*args, **kwargs)
    assert str(info.value) == message
    assert (ENTRY + "sadd", SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(3, 4))


# ---- equality and ordering ----

@pytest.mark.parametrize("a, b, equal", [
    (V(1, 2), V(1, 2), True),
    (V(1, 2), V(1, 3), False),
    (V(1, 2), V(0, 2), False),
    (V(0.0, -0.0), V(-0.0, 0.0), True),
    (V(INF, -INF), V(INF, -INF), True),
    (V(0.1 + 0.2, 0), V(0.3, 0), False),
    (V(NAN, 1), V(NAN, 1), False),
])
def test_equality_is_exact_per_component(a, b, equal):
    assert (a == b) is equal
    assert (a != b) is (not equal)
    assert (b == a) is equal


def test_a_vector_holding_nan_is_not_equal_to_itself():
    v = V(1, NAN)
    assert (v == v) is False and (v != v) is True


@pytest.mark.parametrize("bad", [None, (1, 2), [1, 2], 1, 1.0, "a", object()],
                         ids=lambda b: type(b).__name__)
@pytest.mark.parametrize("compare, entry", [
    (lambda v, o: v == o, "__eq__"),
    (lambda v, o: v != o, "__ne__"),
    (lambda v, o: o == v, "__eq__"),
    (lambda v, o: o != v, "__ne__"),
])
def test_equality_with_a_non_vector_raises(bad, compare, entry, entries_of):
    with pytest.raises(TypeError) as info:
        compare(V(1, 2), bad)
    assert str(info.value) == arg_type_message("other", type(bad).__name__)
    assert (ENTRY + entry, SOURCE) in entries_of(info.value)


@pytest.mark.parametrize("compare, symbol", [
    (operator.lt, "<"), (operator.le, "<="), (operator.gt, ">"), (operator.ge, ">="),
])
@pytest.mark.parametrize("other", [V(3, 4), 1, None], ids=lambda o: type(o).__name__)
def test_ordering_is_not_supported(compare, symbol, other):
    with pytest.raises(TypeError, match=f"^'{symbol}' not supported between instances of"):
        compare(V(1, 2), other)


@pytest.mark.parametrize("container, found", [
    ([V(0, 0), V(1, 2)], True),
    ([V(0, 0)], False),
])
def test_membership_among_vectors(container, found):
    assert (V(1, 2) in container) is found


def test_membership_raises_at_a_non_vector_before_a_match():
    v = V(1, 2)
    with pytest.raises(TypeError):
        v in [1, v]
    assert v in [v, 1]  # identity ends the search before the int


# ---- hashing ----

@pytest.mark.parametrize("x, y", [
    (1, 2), (0, 0), (-0.0, 0.0), (-1, -1), (-1, 2), (INF, -INF), (1e308, 5e-324),
    (0.5, 2.0**53), (-2.5, 1e-300), (2.0**61 - 1, 2.0**62), (0.1, 0.2),
    # The combination comes out as -1, which a hash may not be: the tuple's replacement value.
    (21.0, 2.1198802415723784e+25),
])
def test_hash_equals_the_tuple_hash(x, y):
    assert hash(V(x, y)) == hash((float(x), float(y)))


def test_vectors_work_as_dict_keys_until_changed():
    key = V(1, 2)
    table = {key: "a", V(3, 4): "b"}
    assert table[V(1, 2)] == "a"
    key.x = 5
    assert V(5, 2) not in table and V(1, 2) not in table


def test_nan_component_hashes_by_the_vectors_identity():
    # A float NaN hashes by its own identity; in a vector the object holding it is the vector.
    class Lane:
        def __init__(self, value):
            self.value = value

        def __hash__(self):
            return self.value

    v = V(NAN, 2)
    expected = hash((Lane(object.__hash__(v)), Lane(hash(2.0))))
    assert hash(v) == expected == hash(v)
    both = V(NAN, NAN)
    assert hash(both) == hash((Lane(object.__hash__(both)), Lane(object.__hash__(both))))
    assert v in {v}


# ---- length, indexing, iteration ----

def test_length_and_truth():
    assert len(V(0, 0)) == 2
    assert bool(V(0, 0)) is True


@pytest.mark.parametrize("index, expected", [
    (0, 1.5), (1, -2.5), (False, 1.5), (True, -2.5), (Index(1), -2.5), (IntSub(0), 1.5),
])
def test_reading_items(index, expected):
    value = V(1.5, -2.5)[index]
    assert type(value) is float and value == expected


@pytest.mark.parametrize("index, exception, message", [
    (2, IndexError, "Vector index out of range"),
    (-1, IndexError, "Vector index out of range"),
    (-2, IndexError, "Vector index out of range"),
    (2**70, IndexError, "Vector index out of range"),
    (-(2**70), IndexError, "Vector index out of range"),
    (Index(-1), IndexError, "Vector index out of range"),
    (1.0, TypeError, "'float' object cannot be interpreted as an integer"),
    ("0", TypeError, "'str' object cannot be interpreted as an integer"),
    (None, TypeError, "'NoneType' object cannot be interpreted as an integer"),
    (slice(0, 1), TypeError, "'slice' object cannot be interpreted as an integer"),
])
def test_reading_bad_items(index, exception, message, entries_of):
    with pytest.raises(exception) as info:
        V(1, 2)[index]
    assert str(info.value) == message
    assert (ENTRY + "__getitem__", SOURCE) in entries_of(info.value)


@pytest.mark.parametrize("index, value, expected", [
    (0, 3, (3.0, 2.0)),
    (1, 2.5, (1.0, 2.5)),
    (True, True, (1.0, 1.0)),
    (Index(0), Index(7), (7.0, 2.0)),
    (0, FloatSub(-0.0), (-0.0, 2.0)),
])
def test_assigning_items(index, value, expected):
    v = V(1, 2)
    v[index] = value
    assert_pair(v, *expected)


# Index conversion first, then the value's float conversion, then the range test.
@pytest.mark.parametrize("index, value, exception, message", [
    (5, "a", TypeError, "must be real number, not str"),
    (5, 3, IndexError, "Vector index out of range"),
    (-1, 3, IndexError, "Vector index out of range"),
    (2**70, 3, IndexError, "Vector index out of range"),
    (1.0, "a", TypeError, "'float' object cannot be interpreted as an integer"),
    (slice(None), 3, TypeError, "'slice' object cannot be interpreted as an integer"),
    (0, None, TypeError, "must be real number, not NoneType"),
    (0, RaisingFloat(), ZeroDivisionError, "no float here"),
    (7, RaisingFloat(), ZeroDivisionError, "no float here"),
    (0, 10**400, OverflowError, "int too large to convert to float"),
])
def test_assigning_bad_items_leaves_the_vector_unchanged(index, value, exception, message,
                                                         entries_of):
    v = V(1, 2)
    with pytest.raises(exception) as info:
        v[index] = value
    assert str(info.value) == message
    assert (ENTRY + "__setitem__", SOURCE) in entries_of(info.value)
    assert snapshot(v) == snapshot(V(1, 2))


@pytest.mark.parametrize("index", [0, 1, 5, "a", slice(None)])
def test_deleting_items_is_not_supported(index):
    v = V(1, 2)
    with pytest.raises(NotImplementedError) as info:
        del v[index]
    assert str(info.value) == f"Subscript deletion not supported by {TYPE_NAME}"
    assert snapshot(v) == snapshot(V(1, 2))


# The sequence slots, which C code reaches through PySequence_SetItem and PySequence_DelItem
# (private prototypes: the shared ctypes.pythonapi entries keep the argument types others give).
_set_item = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object, ctypes.c_ssize_t, ctypes.py_object)(
    ("PySequence_SetItem", ctypes.pythonapi))
_del_item = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object, ctypes.c_ssize_t)(
    ("PySequence_DelItem", ctypes.pythonapi))


@pytest.mark.parametrize("call, exception, message, expected", [
    (lambda v: _set_item(v, 1, 5), None, None, (1.0, 5.0)),
    (lambda v: _set_item(v, 2, 5), IndexError, "Vector index out of range", (1.0, 2.0)),
    (lambda v: _set_item(v, 0, "a"), TypeError, "must be real number, not str", (1.0, 2.0)),
    (lambda v: _del_item(v, 0), NotImplementedError,
     f"Subscript deletion not supported by {TYPE_NAME}", (1.0, 2.0)),
])
def test_sequence_slots_from_c(call, exception, message, expected):
    v = V(1, 2)
    if exception is None:
        assert call(v) == 0
    else:
        with pytest.raises(exception) as info:
            call(v)
        assert str(info.value) == message
    assert_pair(v, *expected)


def test_iteration_and_unpacking_use_indexing():
    v = V(1.5, -2)
    assert list(v) == [1.5, -2.0]
    a, b = v
    assert (a, b) == (1.5, -2.0)
    assert tuple(V(3, 4)) == (3.0, 4.0)
    with pytest.raises(ValueError):
        a, b, c = v


# ---- swizzles ----

@pytest.mark.parametrize("name, expected", [
    ("xx", (1.5, 1.5)), ("yy", (-2.0, -2.0)), ("xy", (1.5, -2.0)), ("yx", (-2.0, 1.5)),
])
def test_swizzles_are_new_vectors(name, expected):
    v = V(1.5, -2)
    result = getattr(v, name)
    assert_pair(result, *expected)
    assert result is not v
    assert_pair(v, 1.5, -2.0)


@pytest.mark.parametrize("name", ["xx", "yy", "xy", "yx", "length"])
def test_read_only_properties(name):
    v = V(1, 2)
    with pytest.raises(AttributeError):
        setattr(v, name, V(3, 4))
    with pytest.raises(AttributeError):
        delattr(v, name)
    assert_pair(v, 1.0, 2.0)
