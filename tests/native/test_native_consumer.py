"""QmVector2's and the dispatcher types' native tables driven by the native consumer test bed
(quelm_ui_testbeds.native_consumer), the way another extension module of the toolkit calls them:
slot by position, checking the error indicator after every call. The bridge's exported entry
points are covered in tests/raylib/test_exports.py."""

from __future__ import annotations

import gc
import struct

import pytest

from quelm_ui.core.enums import BindType
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem
from quelm_ui_testbeds import native_consumer as nc


def f32(value: float) -> float:
    return struct.unpack("<f", struct.pack("<f", value))[0]


def pair(vector: QmVector2) -> tuple[float, float]:
    return (vector.x, vector.y)


@pytest.mark.parametrize("a, b", [((1.5, 2.5), (3.0, -1.0)), ((-7.25, 0.1), (1e300, -0.0)),
                                  ((2**30 + 0.5, -3.999), (0.5, 0.5))])
def test_every_qmvector2_slot_agrees_with_the_python_operations(a, b):
    results = nc.vector_table(*a, *b)
    va, vb = QmVector2(*a), QmVector2(*b)
    assert results == {
        "new": a,
        "cfrom_ints": (float(int(a[0])), float(int(a[1]))),
        "cfrom_floats": (f32(a[0]), f32(a[1])),
        "cfrom_tuple": a,
        "cfrom_list": b,
        "cfrom_qmvector2": b,
        "cfrom_xy": b,
        "_add": pair(va + vb),
        "_sub": pair(va - vb),
        "copy": a,
        "c_get_int_tuple": va.get_int_tuple(),
        "_iadd": pair(va + vb),
        "_isub": pair(va - vb),
        "_imul": pair(va * vb),
        "_sadd": pair(va + vb),
        "sadd": pair(va + vb),
    }


def test_a_failing_qmvector2_slot_leaves_its_error_for_the_caller():
    assert pair(nc.vector_from_tuple((1, 2))) == (1.0, 2.0)
    with pytest.raises(IndexError):
        nc.vector_from_tuple((1,))
    with pytest.raises(TypeError):
        nc.vector_from_tuple(("a", 2))


# ---- the dispatcher ----

class Events:
    """Callbacks in the dispatcher's two-stage form, logging (event, owner name)."""

    def __init__(self):
        self.log = []

    def callback(self, event, name):
        def stage_one():
            def stage_two(*args):
                self.log.append((event, name, *args))

            return stage_two

        return stage_one


def widget(events, name, rect, z):
    owner = QuelmCobject(QmRect(*rect), z)
    request = nc.new_request(owner, events.callback("hover", name),
                             events.callback("unhover", name), events.callback("click", name),
                             events.callback("keyup", name), events.callback("abandon", name),
                             events.callback("scroll", name))
    return owner, request


def test_requests_made_through_the_table_keep_a_weak_link():
    owner = QuelmCobject(QmRect(0, 0, 1, 1), 0)
    request = nc.new_request(owner, None, None, None, None, None, None)
    assert type(request) is ZRequest
    assert nc.request_link(request) is owner
    del owner
    gc.collect()
    assert nc.request_link(request) is None


def test_a_frame_sequence_through_the_native_tables():
    events = Events()
    low_owner, low = widget(events, "low", (0, 0, 100, 100), 1)
    high_owner, high = widget(events, "high", (50, 50, 100, 100), 2)
    system = ZSystem()
    for request in (low, high):
        assert nc.system_call(system, "add", request, 0) is None
    assert nc.system_call(system, "get_active_requests", 0) == [low, high]
    assert nc.hovered_by(system, 60, 60, 0, 0) is high
    assert nc.hovered_by(system, 10, 10, 0, 0) is low
    assert nc.hovered_by(system, 500, 500, 0, 0) is None
    events.log.clear()

    nc.frame(system, 10, 10, 0, 0, 0, 0, 0)        # hover low
    nc.frame(system, 60, 60, 1, 0, 1, 1, 0)        # onto high, press, wheel down
    nc.frame(system, 10, 10, 0, 1, 0, 0, 0)        # release away from high (press held)
    nc.frame(system, 60.9, 60.9, 1, 0, 0, 0, 0)    # press high again
    nc.frame(system, 70, 70, 0, 1, 0, 0, 0)        # release on high
    assert events.log == [
        ("hover", "low"),
        ("scroll", "high", BindType.Scroll, True),
        ("unhover", "low"), ("hover", "high"), ("click", "high"),
        ("abandon", "high"),
        ("click", "high"),
        ("keyup", "high"),
    ]
    assert low_owner is not None and high_owner is not None


def test_a_callback_error_stops_the_native_cycle():
    owner = QuelmCobject(QmRect(0, 0, 10, 10), 0)

    def broken():
        raise LookupError("from the hover callback")

    request = nc.new_request(owner, broken, None, None, None, None, None)
    system = ZSystem()
    nc.system_call(system, "add", request, 0)
    with pytest.raises(LookupError, match="from the hover callback"):
        nc.frame(system, 5, 5, 0, 0, 0, 0, 0)


class Logged(ZSystem):
    """A Python subclass overriding three entries that have native-table slots."""

    calls: list = []

    def add(self, z_request):
        self.calls.append(("add", z_request))

    def cycle(self, mouse_pos, mouse_down, mouse_up, any_wheel, wheel_down):
        self.calls.append(("cycle", type(mouse_pos), pair(mouse_pos), mouse_down))
        return "overridden"

    def get_active_requests(self):
        return ["active"]


def test_the_dispatch_flag_honours_python_overrides():
    Logged.calls.clear()
    system = Logged()
    owner = QuelmCobject(QmRect(0, 0, 10, 10), 0)
    request = nc.new_request(owner, None, None, None, None, None, None)
    nc.system_call(system, "add", request, 0)
    assert nc.frame(system, 1.5, 2.5, 1, 0, 0, 0, 0) == "overridden"
    assert nc.system_call(system, "get_active_requests", 0) == ["active"]
    assert Logged.calls == [("add", request), ("cycle", QmVector2, (1.5, 2.5), True)]
    # With the flag set the native bodies run.
    nc.system_call(system, "add", request, 1)
    assert nc.frame(system, 1, 1, 0, 0, 0, 0, 1) is None
    assert nc.system_call(system, "get_active_requests", 1) == [request]
    assert len(Logged.calls) == 2


def test_marking_dirty_and_rebuilding_through_the_table():
    owner = QuelmCobject(QmRect(0, 0, 10, 10), 0)
    request = nc.new_request(owner, None, None, None, None, None, None)
    system = ZSystem()
    nc.system_call(system, "add", request, 1)
    nc.system_call(system, "_rebuild_arrays")
    assert nc.hovered_by(system, 5, 5, 0, 0) is request
    owner_rect_moved = QuelmCobject(QmRect(100, 100, 10, 10), 0)
    moved = nc.new_request(owner_rect_moved, None, None, None, None, None, None)
    nc.system_call(system, "add", moved, 1)
    nc.system_call(system, "c_mark_dirty")
    assert system.is_dirty
    assert nc.system_call(system, "mark_dirty", 1) is None
    nc.system_call(system, "_rebuild_arrays")
    assert nc.hovered_by(system, 105, 105, 0, 0) is moved
    nc.system_call(system, "_reset_arrays")
    assert owner is not None
