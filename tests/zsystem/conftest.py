"""Fixtures of the dispatcher tests: targets (an owner with its request and a callback log) and
the native tables and records of ZSystem and ZRequest, driven through ctypes as another
extension module would drive them."""

from __future__ import annotations

import ctypes

import pytest

from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem

OBJ = ctypes.py_object
INT = ctypes.c_int
# PYFUNCTYPE keeps the interpreter lock held and raises a pending exception after the call.
SYSTEM_SLOTS = [
    ("c_mark_dirty", ctypes.PYFUNCTYPE(None, OBJ)),
    ("_reset_arrays", ctypes.PYFUNCTYPE(None, OBJ)),
    ("add", ctypes.PYFUNCTYPE(None, OBJ, OBJ, INT)),
    ("_rebuild_arrays", ctypes.PYFUNCTYPE(None, OBJ)),
    ("mark_dirty", ctypes.PYFUNCTYPE(OBJ, OBJ, INT)),
    ("get_active_requests", ctypes.PYFUNCTYPE(OBJ, OBJ, INT)),
    ("cycle", ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ, INT, INT, INT, INT, INT)),
    ("request_cycle", ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ, INT, INT)),
]
REQUEST_SLOTS = [
    ("new", ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ, OBJ, OBJ, OBJ, OBJ, OBJ)),
    ("get_link", ctypes.PYFUNCTYPE(OBJ, OBJ)),
]


class SystemTable(ctypes.Structure):
    _fields_ = SYSTEM_SLOTS


class RequestTable(ctypes.Structure):
    _fields_ = REQUEST_SLOTS


def vtable_address(cls) -> int:
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    return get_pointer(cls.__dict__["__pyx_vtable__"], None)


@pytest.fixture(scope="session")
def system_table() -> SystemTable:
    return SystemTable.from_address(vtable_address(ZSystem))


@pytest.fixture(scope="session")
def request_table() -> RequestTable:
    return RequestTable.from_address(vtable_address(ZRequest))


# ---- the ZSystem record: header, table, four objects, is_dirty, two arrays, two views ----

def record_object(obj, offset: int):
    """The object whose pointer sits at `offset` in the record (None for a null pointer)."""
    address = ctypes.c_void_p.from_address(id(obj) + offset).value
    return None if address is None else ctypes.cast(address, ctypes.py_object).value


_incref = ctypes.PYFUNCTYPE(None, ctypes.py_object)(("Py_IncRef", ctypes.pythonapi))
_decref = ctypes.PYFUNCTYPE(None, ctypes.py_object)(("Py_DecRef", ctypes.pythonapi))


def store_record_object(obj, offset: int, value) -> None:
    """Stores `value` at `offset` in the record, as a native consumer assigning the field does."""
    old = record_object(obj, offset)
    _incref(value)
    ctypes.c_void_p.from_address(id(obj) + offset).value = id(value)
    _decref(old)


def registry(zs) -> list:
    return record_object(zs, 24)


def rects_data(zs):
    return record_object(zs, 64)


def z_indices(zs):
    return record_object(zs, 72)


def view_owner(zs, which: str):
    return record_object(zs, {"rects": 80, "z": 288}[which])


def rows(zs) -> list[tuple[tuple[int, int, int, int], int]]:
    """The hit arrays as ((x, y, w, h), z) per row."""
    return [(tuple(int(v) for v in rect), int(z)) for rect, z in zip(rects_data(zs), z_indices(zs))]


def collector_clear(obj) -> None:
    """Runs the type's tp_clear, as the cycle collector does on garbage."""
    type_address = id(type(obj))
    # PyTypeObject: 24-byte variable header, then tp_name, tp_basicsize (offset 32) ... tp_clear
    # at 192 on 64-bit builds without free threading.
    assert ctypes.c_ssize_t.from_address(type_address + 32).value == type(obj).__basicsize__
    clear = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object)(
        ctypes.c_void_p.from_address(type_address + 192).value)
    assert clear(obj) == 0


# ---- targets ----

class Target:
    """An owner (QuelmCobject) holding its request in `_z_request`; the request's callbacks log
    (event, name) into a shared list. The test keeps the owner alive through `owner`."""

    def __init__(self, name, log, rect=(0, 0, 10, 10), z=0, owner_type=QuelmCobject,
                 callbacks=("hover", "unhover", "click", "keyup", "keyup_abandon", "scroll")):
        self.name = name
        self.owner = owner_type(QmRect(*rect), z)
        made = {event: self._logger(log, event) for event in callbacks}
        self.request = ZRequest(self.owner, made.get("hover"), made.get("unhover"),
                                made.get("click"), made.get("keyup"), made.get("keyup_abandon"),
                                made.get("scroll"))
        self.owner._z_request = self.request

    def _logger(self, log, event):
        name = self.name
        if event == "scroll":
            return lambda: (lambda bind_type, wheel_down: log.append(
                ("scroll", name, bind_type.name, wheel_down)))
        return lambda: log.append((event, name))

    def drop_owner(self):
        self.owner = None


def fresh():
    """A new dispatcher, an empty callback log and a target factory writing into that log.

    Tests build their state with this rather than with fixtures, so that the leak check can
    run a test function again and again from a clean start."""
    log: list = []

    def make_target(name, rect=(0, 0, 10, 10), z=0, **kwargs) -> Target:
        return Target(name, log, rect, z, **kwargs)

    return ZSystem(), log, make_target
