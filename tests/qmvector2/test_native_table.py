"""QmVector2's native method table, driven through ctypes the way a native importer calls it."""

import ctypes
import struct

import pytest

from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

# PYFUNCTYPE keeps the interpreter lock held and raises a pending exception after the call.
OBJ = ctypes.py_object
VEC = ctypes.py_object
VOID = None
SLOTS = [
    ("new", ctypes.PYFUNCTYPE(OBJ, ctypes.c_double, ctypes.c_double)),
    ("cfrom_list", ctypes.PYFUNCTYPE(OBJ, OBJ)),
    ("cfrom_ints", ctypes.PYFUNCTYPE(OBJ, ctypes.c_int32, ctypes.c_int32)),
    ("cfrom_floats", ctypes.PYFUNCTYPE(OBJ, ctypes.c_float, ctypes.c_float)),
    ("cfrom_tuple", ctypes.PYFUNCTYPE(OBJ, OBJ)),
    ("cfrom_qmvector2", ctypes.PYFUNCTYPE(OBJ, VEC)),
    ("cfrom_xy", ctypes.PYFUNCTYPE(OBJ, ctypes.c_double, ctypes.c_double)),
    ("c_get_int_tuple", ctypes.PYFUNCTYPE(OBJ, VEC)),
    ("_add", ctypes.PYFUNCTYPE(OBJ, VEC, VEC)),
    ("_sub", ctypes.PYFUNCTYPE(OBJ, VEC, VEC)),
    ("_iadd", ctypes.PYFUNCTYPE(VOID, VEC, VEC)),
    ("_isub", ctypes.PYFUNCTYPE(VOID, VEC, VEC)),
    ("_imul", ctypes.PYFUNCTYPE(VOID, VEC, VEC)),
    ("_sadd", ctypes.PYFUNCTYPE(VOID, VEC, VEC, VEC)),
    ("copy", ctypes.PYFUNCTYPE(OBJ, VEC, ctypes.c_int)),
    ("sadd", ctypes.PYFUNCTYPE(VOID, VEC, VEC, VEC, ctypes.c_int)),
]


class MethodTable(ctypes.Structure):
    _fields_ = SLOTS


@pytest.fixture(scope="module")
def table() -> MethodTable:
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    capsule = QmVector2.__dict__["__pyx_vtable__"]
    address = get_pointer(capsule, None)
    assert address
    return MethodTable.from_address(address)


def in_place(vector) -> tuple[float, float]:
    """The record's data pair read straight from memory (header, table pointer, then x, y)."""
    return struct.unpack("<2d", ctypes.string_at(id(vector) + 24, 16))


def table_pointer(vector) -> int:
    return ctypes.c_void_p.from_address(id(vector) + 16).value


def test_capsule_is_unnamed():
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype = ctypes.c_char_p
    get_name.argtypes = [ctypes.py_object]
    assert get_name(QmVector2.__dict__["__pyx_vtable__"]) is None


def test_every_vector_points_at_the_table(table):
    address = ctypes.addressof(table)
    made = [QmVector2(), QmVector2.__new__(QmVector2), QmVector2.from_xy(1, 2), table.new(1, 2),
            table.cfrom_ints(1, 2)]
    assert {table_pointer(v) for v in made} == {address}


@pytest.mark.parametrize("slot, args, expected", [
    ("new", (1.5, -2.5), (1.5, -2.5)),
    ("cfrom_xy", (0.1, 0.2), (0.1, 0.2)),
    ("cfrom_ints", (-7, 2147483647), (-7.0, 2147483647.0)),
    ("cfrom_floats", (0.1, 0.2), (0.10000000149011612, 0.20000000298023224)),
    ("cfrom_list", ([1, 2.5, "ignored"],), (1.0, 2.5)),
    ("cfrom_tuple", ((3, 4),), (3.0, 4.0)),
    ("cfrom_qmvector2", (QmVector2(5, 6),), (5.0, 6.0)),
])
def test_static_factories(table, slot, args, expected):
    result = getattr(table, slot)(*args)
    assert type(result) is QmVector2
    assert in_place(result) == expected


@pytest.mark.parametrize("slot, item", [("cfrom_list", ["a", 1]), ("cfrom_tuple", (1, object()))])
def test_factory_conversion_errors(table, slot, item, entries_of):
    with pytest.raises(TypeError) as info:
        getattr(table, slot)(item)
    name = f"quelm_ui.fast.qmvector2.qmvector2.QmVector2.{slot}"
    assert entries_of(info.value)[-1][0] == name


@pytest.mark.parametrize("slot, a, b, expected", [
    ("_add", (1, 2), (3, 4), (4.0, 6.0)),
    ("_sub", (1, 2), (3, 4), (-2.0, -2.0)),
])
def test_binary_slots(table, slot, a, b, expected):
    left, right = QmVector2(*a), QmVector2(*b)
    result = getattr(table, slot)(left, right)
    assert in_place(result) == expected
    assert in_place(left) == tuple(map(float, a))


@pytest.mark.parametrize("slot, a, b, expected", [
    ("_iadd", (1, 2), (3, 4), (4.0, 6.0)),
    ("_isub", (1, 2), (3, 4), (-2.0, -2.0)),
    ("_imul", (2, 3), (4, 5), (8.0, 15.0)),
])
def test_in_place_slots(table, slot, a, b, expected):
    left = QmVector2(*a)
    assert getattr(table, slot)(left, QmVector2(*b)) is None
    assert in_place(left) == expected


@pytest.mark.parametrize("slot, extra", [("_sadd", ()), ("sadd", (0,)), ("sadd", (1,))])
def test_sadd_slots(table, slot, extra):
    target = QmVector2(100, 200)
    getattr(table, slot)(target, QmVector2(1, 1), QmVector2(10, 20), *extra)
    assert in_place(target) == (11.0, 21.0)


@pytest.mark.parametrize("flag", [0, 1])
def test_copy_slot_ignores_flag(table, flag):
    original = QmVector2(1.25, -3)
    duplicate = table.copy(original, flag)
    assert duplicate is not original and in_place(duplicate) == (1.25, -3.0)


@pytest.mark.parametrize("pair, expected", [((2.9, -2.9), (2, -2)), ((-0.5, 0.0), (0, 0)),
                                            ((2147483647.9, -2147483648.5), (2147483647, -2147483648))])
def test_int_tuple_slot(table, pair, expected):
    result = table.c_get_int_tuple(QmVector2(*pair))
    assert result == expected and all(type(item) is int for item in result)
