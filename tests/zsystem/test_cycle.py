"""The input cycle: frames of pointer position and flags against the expected callback log, the
two-stage callback protocol, failures and what they leave behind, foreign objects in the
dispatcher's fields, and callbacks that fight back."""

import gc
import weakref

import pytest

from quelm_ui.core.enums import BindType
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.zsystem import zdispatch
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem

from .conftest import SystemTable, fresh, registry, vtable_address

PATH = "quelm_ui.fast.zsystem.zdispatch"


# The entry frame() goes through: every test runs once with ZSystem.cycle, once with the
# native table's cycle as a typed caller makes it (dispatch skipped), which is code of its own.
# The fixture takes no session fixture: pytest would keep a finalizer per run of the test on it,
# which the leak check would count.
NATIVE = {"table": None}
SYSTEM_TABLE = SystemTable.from_address(vtable_address(ZSystem))


@pytest.fixture(autouse=True, params=["python", "native"])
def entry(request):
    NATIVE["table"] = SYSTEM_TABLE if request.param == "native" else None
    yield
    NATIVE["table"] = None


def frame(zs, x, y, *flags):
    """One cycle; flags is a subset of "down", "up", "wheel", "wheel_down"."""
    args = (QmVector2(x, y), "down" in flags, "up" in flags, "wheel" in flags,
            "wheel_down" in flags)
    table = NATIVE["table"]
    return zs.cycle(*args) if table is None else table.cycle(zs, *args, 1)


def fresh_scene():
    """A dispatcher with A and B side by side (z 1) and C overlapping A (z 2), registered."""
    zs, log, make_target = fresh()
    scene = {
        "A": make_target("A", rect=(0, 0, 10, 10), z=1),
        "B": make_target("B", rect=(20, 0, 10, 10), z=1),
        "C": make_target("C", rect=(5, 0, 10, 10), z=2),
    }
    for target in scene.values():
        zs.add(target.request)
    return zs, log, make_target, scene


A, B, C, NOWHERE = (1, 1), (21, 1), (6, 1), (50, 50)

SCRIPTS = {
    "hover and leave": [
        (A, (), [("hover", "A")]), (A, (), []), (NOWHERE, (), [("unhover", "A")]),
        (NOWHERE, (), []),
    ],
    "move between targets": [(A, (), [("hover", "A")]),
                             (B, (), [("unhover", "A"), ("hover", "B")])],
    "higher z on top": [(C, (), [("hover", "C")])],
    "press, move, release elsewhere": [
        (A, ("down",), [("hover", "A"), ("click", "A")]), (B, (), []),
        (B, ("up",), [("keyup_abandon", "A")]), (B, (), [("unhover", "A"), ("hover", "B")]),
    ],
    "press and release in one frame": [
        (A, ("down", "up"), [("hover", "A"), ("click", "A"), ("keyup", "A")]), (A, (), []),
    ],
    "press and release later": [(A, ("down",), [("hover", "A"), ("click", "A")]),
                                (A, (), []), (A, ("up",), [("keyup", "A")])],
    "release over nothing": [(A, ("down",), [("hover", "A"), ("click", "A")]),
                             (NOWHERE, ("up",), [("keyup_abandon", "A")]),
                             (NOWHERE, (), [("unhover", "A")])],
    "press on empty space": [(NOWHERE, ("down",), []), (A, ("up",), [("hover", "A")])],
    "release without press": [(A, ("up",), [("hover", "A")])],
    "second press replaces the first": [
        (A, ("down",), [("hover", "A"), ("click", "A")]), (B, ("down",), [("click", "B")]),
        (B, ("up",), [("keyup", "B")]), (B, (), [("unhover", "A"), ("hover", "B")]),
    ],
    "scroll before hover": [(A, ("wheel", "wheel_down"),
                             [("scroll", "A", "Scroll", True), ("hover", "A")])],
    "scroll up": [(A, ("wheel",), [("scroll", "A", "Scroll", False), ("hover", "A")])],
    "wheel direction without movement": [(A, ("wheel_down",), [("hover", "A")])],
    "scroll goes to the topmost only": [(C, ("wheel",), [("scroll", "C", "Scroll", False),
                                                         ("hover", "C")])],
    "scroll while pressed": [(A, ("down",), [("hover", "A"), ("click", "A")]),
                             (B, ("wheel",), [("scroll", "B", "Scroll", False)])],
    "scroll over nothing": [(NOWHERE, ("wheel",), [])],
}


@pytest.mark.parametrize("script", SCRIPTS.values(), ids=SCRIPTS.keys())
def test_frames(script):
    zs, log, make_target, scene = fresh_scene()
    for position, flags, expected in script:
        del log[:]
        assert frame(zs, *position, *flags) is None
        assert log == expected, (position, flags)


def test_state_fields_follow_the_frames():
    zs, log, make_target, scene = fresh_scene()
    a, b = scene["A"].request, scene["B"].request
    frame(zs, *A, "down")
    assert (zs.last_hovered_request, zs.clicked_request) == (a, a)
    frame(zs, *B)
    assert (zs.last_hovered_request, zs.clicked_request) == (a, a)
    frame(zs, *B, "up")
    assert (zs.last_hovered_request, zs.clicked_request) == (a, None)
    frame(zs, *B)
    assert zs.last_hovered_request is b


def test_no_targets():
    zs, log, make_target = fresh()
    assert frame(zs, 1, 1, "down", "up", "wheel") is None
    assert zs.last_hovered_request is None and zs.clicked_request is None
    target = make_target("A")
    zs.add(target.request)
    frame(zs, *A)
    target.drop_owner()
    zs.mark_dirty()
    del log[:]
    frame(zs, *A)
    frame(zs, *A)
    assert log == [("unhover", "A")]


def test_owner_gone_while_pressed():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *A, "down")
    scene["A"].drop_owner()
    del log[:]
    frame(zs, *A, "up")
    assert log == [] and zs.clicked_request is None
    assert zs.is_dirty is True  # the hit test met the gone owner
    frame(zs, *A)
    assert log == [("unhover", "A")]


def test_dirty_dispatcher_rebuilds_first():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *A)
    late = QuelmCobject(QmRect(0, 0, 10, 10), 9)
    request = ZRequest(late, lambda: log.append(("hover", "late")))
    zs.add(request)
    frame(zs, *A)
    assert log[-2:] == [("unhover", "A"), ("hover", "late")] and zs.is_dirty is False


def test_moves_are_seen_only_after_mark_dirty():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *A)
    scene["A"].owner.qmrect = QmRect(100, 100, 10, 10)
    frame(zs, *A)
    assert log == [("hover", "A")]
    zs.mark_dirty()
    frame(zs, *A)
    assert log == [("hover", "A"), ("unhover", "A")]


# ---- the callback protocol ----

def test_two_stage_protocol():
    zs, log, make_target = fresh()
    calls = []
    target = make_target("T")
    target.request.on_click_func = lambda: (lambda: calls.append("second")) if not calls.append(
        "first") else None
    target.request.on_hover_func = lambda: calls.append("plain")  # returns None: one call
    zs.add(target.request)
    frame(zs, *A, "down")
    assert calls == ["plain", "first", "second"]


class Kinds:
    Scroll = "custom"


def test_scroll_reads_bind_type_at_each_delivery():
    zs, log, make_target = fresh()
    with pytest.MonkeyPatch.context() as monkeypatch:
        received = []
        target = make_target("T")
        target.request.on_scroll_func = lambda: (lambda *args: received.append(args))
        zs.add(target.request)
        monkeypatch.setattr(zdispatch, "BindType", Kinds)
        frame(zs, *A, "wheel", "wheel_down")
        monkeypatch.setattr(zdispatch, "BindType", BindType)
        frame(zs, *A, "wheel")
        assert received == [("custom", True), (BindType.Scroll, False)]
        assert all(type(args[1]) is bool for args in received)


@pytest.mark.parametrize("scroll, error, message", [
    (lambda: None, TypeError, "'NoneType' object is not callable"),
    (lambda: 1 / 0, ZeroDivisionError, "division by zero"),
    (lambda: (lambda: None), TypeError,
     "<lambda>.<locals>.<lambda>() takes 0 positional arguments but 2 were given"),
])
def test_scroll_failures(scroll, error, message, entries_of):
    zs, log, make_target = fresh()
    target = make_target("T")
    target.request.on_scroll_func = scroll
    zs.add(target.request)
    with pytest.raises(error) as info:
        frame(zs, *A, "wheel")
    assert str(info.value) == message
    names = [name for name, _ in entries_of(info.value)]
    assert f"{PATH}.ZSystem.cycle" in names and f"{PATH}.ZSystem.request_cycle" in names
    assert log == [] and zs.last_hovered_request is None  # nothing after the scroll ran


@pytest.mark.parametrize("args, kwargs, error, message", [
    (((1, 1), 0, 0, 0, 0), {}, TypeError,
     "Argument 'mouse_pos' has incorrect type (expected "
     "quelm_ui.fast.qmvector2.qmvector2.QmVector2, got tuple)"),
    ((QmVector2(), 0, 0, 0), {}, TypeError,
     "cycle() takes exactly 5 positional arguments (4 given)"),
    ((QmVector2(), 0, 0, 0, 0), {"extra": 1}, TypeError,
     "cycle() got an unexpected keyword argument 'extra'"),
    ((QmVector2(), 0, 0, 0, type("Bad", (), {"__bool__": lambda self: 1 / 0})()), {},
     ZeroDivisionError, "division by zero"),
])
def test_cycle_argument_errors_change_nothing(args, kwargs, error, message):
    zs, log, make_target, scene = fresh_scene()
    with pytest.raises(error) as info:
        zs.cycle(*args, **kwargs)
    assert str(info.value) == message
    assert log == [] and zs.is_dirty is True


def test_cycle_keywords_and_truth_values():
    zs, log, make_target, scene = fresh_scene()
    zs.cycle(wheel_down=None, any_wheel=[1], mouse_up=0, mouse_down="", mouse_pos=QmVector2(*A))
    assert log == [("scroll", "A", "Scroll", False), ("hover", "A")]


def test_none_pointer():
    zs, log, make_target, scene = fresh_scene()
    zs.is_dirty = False  # nothing live yet: the pointer is not read
    assert zs.cycle(None, True, True, True, True) is None
    zs.mark_dirty()
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'x'"):
        zs.cycle(None, False, False, False, False)


# ---- failures: what was done stays done ----

def failing(log, name):
    def callback():
        log.append(("fail", name))
        raise RuntimeError(name)
    return callback


def test_failing_unhover_is_retried(entries_of):
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *A)
    scene["A"].request.on_unhover_func = failing(log, "unhover")
    with pytest.raises(RuntimeError) as info:
        frame(zs, *B)
    assert entries_of(info.value)[-2][0] == f"{PATH}.ZSystem.cycle"
    assert zs.last_hovered_request is scene["A"].request
    with pytest.raises(RuntimeError):
        frame(zs, *B)
    assert log == [("hover", "A"), ("fail", "unhover"), ("fail", "unhover")]


def test_failing_hover_is_retried():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *A)
    scene["B"].request.on_hover_func = failing(log, "hover")
    for _ in range(2):
        with pytest.raises(RuntimeError):
            frame(zs, *B)
    assert zs.last_hovered_request is scene["A"].request
    assert log == [("hover", "A"), ("unhover", "A"), ("fail", "hover"), ("unhover", "A"),
                   ("fail", "hover")]


def test_failing_click_keeps_the_press():
    zs, log, make_target, scene = fresh_scene()
    scene["A"].request.on_click_func = failing(log, "click")
    with pytest.raises(RuntimeError):
        frame(zs, *A, "down", "up")
    assert zs.clicked_request is scene["A"].request
    frame(zs, *A, "up")
    assert log == [("hover", "A"), ("fail", "click"), ("keyup", "A")]


def test_failing_keyup_freezes_hover_until_a_release_completes():
    zs, log, make_target, scene = fresh_scene()
    scene["A"].request.on_keyup_abandon_func = failing(log, "abandon")
    frame(zs, *A, "down")
    with pytest.raises(RuntimeError):
        frame(zs, *B, "up")
    assert zs.clicked_request is scene["A"].request
    frame(zs, *B)  # still pressed: no hover change
    scene["A"].request.on_keyup_abandon_func = None
    frame(zs, *B, "up")
    frame(zs, *B)
    assert log == [("hover", "A"), ("click", "A"), ("fail", "abandon"), ("unhover", "A"),
                   ("hover", "B")]


def test_failing_second_stage():
    zs, log, make_target, scene = fresh_scene()
    scene["A"].request.on_click_func = lambda: 5  # not callable
    with pytest.raises(TypeError, match="'int' object is not callable"):
        frame(zs, *A, "down")
    assert zs.clicked_request is scene["A"].request


def test_failing_link_ends_the_cycle():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *A)
    scene["A"].request.__setstate__((lambda: 1 / 0,) + (None,) * 6)
    with pytest.raises(ZeroDivisionError):
        frame(zs, *A)
    assert log == [("hover", "A")]


def test_failing_link_of_the_pressed_request_keeps_the_press():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *A, "down")
    scene["A"].request.__setstate__((lambda: 1 / 0,) + (None,) * 6)
    with pytest.raises(ZeroDivisionError):
        frame(zs, *NOWHERE, "up")
    assert log == [("hover", "A"), ("click", "A")]
    assert zs.clicked_request is scene["A"].request


def test_failed_rebuild_stops_the_cycle_and_stays_dirty(entries_of):
    zs, log, make_target, scene = fresh_scene()
    scene["B"].owner.set_param_value("z", "high")
    with pytest.raises(TypeError, match="an integer is required") as info:
        frame(zs, *A)
    names = [name for name, _ in entries_of(info.value)]
    assert names[-2:] == [f"{PATH}.ZSystem.cycle", f"{PATH}.ZSystem._rebuild_arrays"]
    assert log == [] and zs.is_dirty is True
    scene["B"].owner.set_param_value("z", 1)
    frame(zs, *A)
    assert log == [("hover", "A")] and zs.is_dirty is False


# ---- anything but a ZRequest is never used as one ----

def test_foreign_object_in_live_requests():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *NOWHERE)
    zs.live_requests = [object(), scene["B"].request, scene["C"].request]
    frame(zs, *B)  # row 1 is a real request
    assert log == [("hover", "B")]
    with pytest.raises(TypeError) as info:
        frame(zs, *A)
    assert str(info.value) == f"Cannot convert object to {PATH}.ZRequest"
    assert zs.last_hovered_request is scene["B"].request


@pytest.mark.parametrize("junk", [5, "request", QuelmCobject()])
def test_foreign_last_hovered_request(junk):
    zs, log, make_target, scene = fresh_scene()
    zs.last_hovered_request = junk
    with pytest.raises(TypeError) as info:
        frame(zs, *A)
    kind = type(junk)
    name = kind.__name__ if kind.__module__ == "builtins" else f"{kind.__module__}.{kind.__name__}"
    assert str(info.value) == f"Cannot convert {name} to {PATH}.ZRequest"
    assert zs.last_hovered_request is junk and log == []


def test_foreign_clicked_request():
    zs, log, make_target, scene = fresh_scene()
    zs.clicked_request = "pressed"
    frame(zs, *A)  # hover frozen: a press looks recorded
    with pytest.raises(TypeError, match=f"^Cannot convert str to {PATH}.ZRequest$"):
        frame(zs, *A, "up")
    frame(zs, *A, "down")  # a real press replaces it
    frame(zs, *A, "up")
    assert log == [("click", "A"), ("keyup", "A")] and zs.clicked_request is None


def test_foreign_owner_type():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *A)
    scene["A"].request.__setstate__((lambda: "owner",) + (None,) * 6)
    with pytest.raises(TypeError) as info:
        frame(zs, *A)
    assert str(info.value) == "Cannot convert str to quelm_ui.fast.quelmcobj.quelmcobj.QuelmCobject"


# ---- callbacks that fight back ----

def test_callback_drops_its_owner_and_request():
    zs, log, make_target = fresh()
    target = make_target("T")
    watcher = weakref.ref(target.request)
    zs.add(target.request)

    def click():
        log.append("click")
        target.owner._z_request = None
        target.request = None
        target.owner = None
        zs.clicked_request = None
        zs.last_hovered_request = None
        zs.live_requests = []
        gc.collect()

    target.request.on_click_func = click
    frame(zs, *A, "down", "up")
    del click
    gc.collect()
    frame(zs, *A, "up")
    assert log == [("hover", "T"), "click"]
    assert watcher() is None and zs.clicked_request is None


def test_callback_replaces_itself():
    zs, log, make_target = fresh()
    target = make_target("T")
    zs.add(target.request)

    def hover():
        target.request.on_hover_func = None
        gc.collect()
        return lambda: log.append("second stage ran")

    target.request.on_hover_func = hover
    del hover
    frame(zs, *A)
    assert log == ["second stage ran"]


def test_reentrant_cycles():
    zs, log, make_target, scene = fresh_scene()
    depth = []

    def hover():
        log.append(("hover", "A"))
        if not depth:
            depth.append(1)
            frame(zs, *B, "down")  # nested frame from inside a callback
            zs.mark_dirty()
            zs.add(scene["C"].request)
            assert zs.get_active_requests()

    scene["A"].request.on_hover_func = hover
    frame(zs, *A)
    assert log[0] == ("hover", "A") and ("click", "B") in log
    assert zs.last_hovered_request is scene["A"].request  # the outer frame finishes its step
    assert zs.clicked_request is scene["B"].request
    frame(zs, *B, "up")
    assert log[-1] == ("keyup", "B")
    assert len(registry(zs)) == 4


class Finalising(QuelmCobject):
    """An owner whose finaliser logs and re-enters its dispatcher."""

    def __del__(self):
        self.log.append("finalised")
        frame(self.zs, *A, "wheel")
        self.zs.add(ZRequest(QuelmCobject()))


def test_owner_finaliser_re_enters():
    zs, log, make_target = fresh()
    holder = [Finalising(QmRect(0, 0, 10, 10), 1)]
    holder[0].zs, holder[0].log = zs, log
    request = ZRequest(holder[0], None, None, lambda: holder.clear())
    holder[0]._z_request = request
    zs.add(request)
    frame(zs, *A, "down")
    assert log == ["finalised"]
    frame(zs, *A, "up")  # the owner is gone: no release callback, the press ends
    assert zs.clicked_request is None


def test_link_that_empties_live_requests_mid_scan():
    zs, log, make_target, scene = fresh_scene()
    frame(zs, *C)
    live = zs.live_requests
    owner = scene["A"].owner
    scene["A"].request.__setstate__(
        ((lambda: live.clear() or owner),) + (None,) * 6)  # row 0 is a candidate at (6, 1)
    del log[:]
    frame(zs, *C)  # row 0 wins; the scan stops where the list ends
    assert zs.last_hovered_request is scene["A"].request
    assert log == [("unhover", "C")]  # A's callbacks were reset with its link


def test_collection_mid_cycle():
    zs, log, make_target = fresh()
    targets = [make_target(str(i), z=i) for i in range(20)]
    for target in targets:
        zs.add(target.request)

    def scroll():
        for target in targets:
            target.drop_owner()
        zs.live_requests = None
        gc.collect()
        return lambda *args: log.append("scrolled")

    targets[-1].request.on_scroll_func = scroll
    frame(zs, *A, "wheel", "down", "up")
    assert log[0] == "scrolled"
    del scroll
    gc.collect()
    zs.mark_dirty()
    frame(zs, *A, "down")
    assert zs.get_active_requests() == []
