"""Which fault an argument error reports when a call holds several, spelled out for each rule
(the full comparison with a Cython build of the signatures is in tests/cython/twin)."""

import ctypes
import sys

import pytest

from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.raylib import quelm_raylib
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem


class Boom(Exception):
    pass


class FailingBool:
    def __bool__(self):
        raise Boom("__bool__")


# A private prototype: the shared ctypes.pythonapi entry keeps the argument types others give it.
_vectorcall = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object, ctypes.c_void_p,
                                ctypes.c_size_t, ctypes.py_object)(
    ("PyObject_Vectorcall", ctypes.pythonapi))


def vectorcall_with_kwnames(func, *values, kwnames):
    """A vectorcall whose keyword names are exactly `kwnames` (strings or not)."""
    stack = (ctypes.py_object * len(values))(*values)
    return _vectorcall(func, ctypes.cast(stack, ctypes.c_void_p), len(values) - len(kwnames),
                       kwnames)


@pytest.mark.parametrize("call, error, message", [
    # Without parameters: keywords are refused before positionals are counted.
    (lambda: QmVector2(1, 2).to_int(1, bogus=1), TypeError, "to_int() takes no keyword arguments"),
    (lambda: ZSystem().mark_dirty(1, x=1), TypeError, "mark_dirty() takes no keyword arguments"),
    (lambda: ZSystem().mark_dirty(1), TypeError, "mark_dirty() takes no arguments (1 given)"),
    (lambda: ZSystem().__reduce__(1), TypeError, "__reduce__() takes no arguments (1 given)"),
    (lambda: ZSystem().__setstate__(), TypeError,
     "__setstate__() takes exactly 1 positional argument (0 given)"),
    (lambda: ZRequest.__new__(ZRequest).__setstate__(), TypeError,
     "__setstate__() takes exactly 1 positional argument (0 given)"),
    (lambda: quelm_raylib.end_drawing(1, x=1), TypeError,
     "end_drawing() takes no keyword arguments"),
    # A method called on its type without an instance.
    (lambda: QmVector2.sadd(), TypeError, "sadd() needs an argument"),
    (lambda: QmVector2.to_int(), TypeError, "to_int() needs an argument"),
    (lambda: ZSystem.cycle(x=1), TypeError, "cycle() needs an argument"),
    # A keyword dict is checked whole: non-string names first, else the last name is reported.
    (lambda: QmVector2(1, 2, x=1, y=2), TypeError,
     "__init__() got an unexpected keyword argument 'y'"),
    (lambda: QmVector2(1, 2).__init__(x=1, **{1: 2}), TypeError,
     "__init__() keywords must be strings"),
    (lambda: vectorcall_with_kwnames(QmVector2, 1, 2, kwnames=(1,)), TypeError,
     "__init__() keywords must be strings"),
    (lambda: vectorcall_with_kwnames(QmVector2, 1, 2, kwnames=(1, "y")), TypeError,
     "__init__() keywords must be strings"),
    # An empty tuple of keyword names is no keyword at all.
    (lambda: vectorcall_with_kwnames(QmVector2, 1, 2, 3, kwnames=()), TypeError,
     "QmVector2() takes 0, 1, or 2 arguments, but 3 were given"),
    (lambda: vectorcall_with_kwnames(ZSystem.mark_dirty, ZSystem(), 1, kwnames=()), TypeError,
     "mark_dirty() takes no arguments (1 given)"),
    (lambda: vectorcall_with_kwnames(QmVector2, 1, 2, kwnames=("x",)), TypeError,
     "__init__() got an unexpected keyword argument 'x'"),
    # A native caller's keyword names go unchecked: a parameter named twice, a name not a str.
    (lambda: vectorcall_with_kwnames(QmVector2.distance_to, QmVector2(), 1, 2,
                                     kwnames=("other", "other")), TypeError,
     "distance_to() got multiple values for keyword arguments"),
    (lambda: vectorcall_with_kwnames(QmVector2.distance_to, QmVector2(), 1, 2,
                                     kwnames=("other", 1)), TypeError,
     "distance_to() keywords must be strings"),
    (lambda: ZSystem(**{1: 2}), TypeError, "__cinit__() keywords must be strings"),
    # Through the type's __new__ directly: from 3.15 the interpreter checks the names first.
    (lambda: ZSystem.__new__(ZSystem, **{1: 2}), TypeError,
     ("" if sys.version_info >= (3, 15) else "__cinit__() ") + "keywords must be strings"),
    # C-typed parameters are converted first, then argument types are checked in order.
    (lambda: ZSystem().cycle(1, FailingBool(), False, False, False), Boom, "__bool__"),
    (lambda: ZSystem().cycle(mouse_pos=1, wheel_down=FailingBool(), mouse_down=0, mouse_up=0,
                             any_wheel=0), Boom, "__bool__"),
    (lambda: quelm_raylib.set_qmshader_value(1, 0, [1.0], 0), TypeError,
     "Argument 'shader' has incorrect type (expected quelm_ui.fast.qmshader.qmshader.QmShader, "
     "got int)"),
    (lambda: quelm_raylib.set_qmshader_value(1, "s", [1.0], 0), TypeError,
     "an integer is required"),
])
def test_the_fault_reported_first(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert str(info.value) == message
