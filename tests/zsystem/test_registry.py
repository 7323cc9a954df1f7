"""ZSystem: set-up at allocation, properties, the registry of weak references, the rebuild of
the int32 hit arrays and its failures, the native table with Python overrides, and the refusal
to pickle."""

import copy
import gc
import pickle
import weakref
from types import SimpleNamespace

import numpy as np
import pytest

from quelm_ui.fast.qmparam.qmparam import QmParam
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.zsystem import zdispatch
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem

from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

from .conftest import (collector_clear, fresh, registry, rects_data, rows, store_record_object,
                       view_owner, z_indices)

PATH = "quelm_ui.fast.zsystem.zdispatch"


def fresh_state(zs):
    return registry(zs), zs.live_requests, rects_data(zs), z_indices(zs)


def assert_empty_arrays(zs):
    rects, zs_ = rects_data(zs), z_indices(zs)
    assert (rects.shape, rects.dtype, zs_.shape, zs_.dtype) == ((0, 4), np.int32, (0,), np.int32)
    assert rects.flags.c_contiguous and zs_.flags.c_contiguous
    assert view_owner(zs, "rects") is rects and view_owner(zs, "z") is zs_


# ---- set-up ----

class Other(ZSystem):
    def __init__(self, a, b=0):  # never calls the base
        self.extra = (a, b)


@pytest.mark.parametrize("make", [
    lambda: ZSystem(),
    lambda: ZSystem(1, "two", three=3),
    lambda: ZSystem.__new__(ZSystem),
    lambda: Other("x"),
    lambda: Other.__new__(Other),
])
def test_set_up_runs_at_allocation(make):
    zs = make()
    assert zs.is_dirty is True
    assert zs.live_requests == [] and registry(zs) == []
    assert zs.last_hovered_request is None and zs.clicked_request is None
    assert_empty_arrays(zs)
    assert zs.get_active_requests() == [] and zs.is_dirty is False


def test_set_up_failure_names_cinit(entries_of):
    with pytest.MonkeyPatch.context() as monkeypatch:
        monkeypatch.delattr(zdispatch, "np")
        with pytest.raises(NameError, match="name 'np' is not defined") as info:
            ZSystem()
        names = [name for name, _ in entries_of(info.value)]
        assert names[-2:] == [f"{PATH}.ZSystem.__cinit__", f"{PATH}.ZSystem._reset_arrays"]


def test_no_dict_and_no_weak_references():
    zs = ZSystem()
    with pytest.raises(AttributeError):
        zs.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(zs)
    assert weakref.ref(Other(1))() is None or True  # subclasses may be referenced


# ---- properties ----

@pytest.mark.parametrize("name", ["last_hovered_request", "clicked_request"])
def test_object_properties(name):
    zs, log, make_target = fresh()
    marker = object()
    setattr(zs, name, marker)
    assert getattr(zs, name) is marker
    delattr(zs, name)
    assert getattr(zs, name) is None


def test_live_requests_property(entries_of):
    zs, log, make_target = fresh()
    items = [1, 2]
    zs.live_requests = items
    assert zs.live_requests is items
    zs.live_requests = None
    assert zs.live_requests is None
    del zs.live_requests
    assert zs.live_requests is None
    for bad, name in [((1,), "tuple"), (ListSubclass(), "ListSubclass")]:
        with pytest.raises(TypeError) as info:
            zs.live_requests = bad
        assert str(info.value) == f"Expected list, got {name}"
        assert entries_of(info.value)[-1][0] == f"{PATH}.ZSystem.live_requests.__set__"


class ListSubclass(list):
    pass


class Falsy:
    def __bool__(self):
        return False


class Broken:
    def __bool__(self):
        raise ZeroDivisionError("no truth")


@pytest.mark.parametrize("value, expected", [(True, True), (False, False), (None, False),
                                             (0, False), ("x", True), ([], False),
                                             (Falsy(), False)])
def test_is_dirty_takes_truth_values(value, expected):
    zs, log, make_target = fresh()
    zs.is_dirty = not expected
    zs.is_dirty = value
    assert zs.is_dirty is expected


def test_is_dirty_errors(entries_of):
    zs, log, make_target = fresh()
    with pytest.raises(ZeroDivisionError):
        zs.is_dirty = Broken()
    assert zs.is_dirty is True
    with pytest.raises(NotImplementedError, match="^__del__$") as info:
        del zs.is_dirty
    assert entries_of(info.value)[-1][0] == f"{PATH}.ZSystem.is_dirty.__set__"


# ---- registry ----

def test_add_registers_a_weak_reference_without_rebuilding():
    zs, log, make_target = fresh()
    target = make_target("a")
    zs.is_dirty = False
    assert zs.add(target.request) is None
    assert zs.is_dirty is True
    entries = registry(zs)
    assert len(entries) == 1 and type(entries[0]) is weakref.ref
    assert entries[0]() is target.request
    assert zs.live_requests == []


@pytest.mark.parametrize("arg, message", [
    (None, "cannot create weak reference to 'NoneType' object"),
    (3, f"Argument 'z_request' has incorrect type (expected {PATH}.ZRequest, got int)"),
    (QuelmCobject(), f"Argument 'z_request' has incorrect type (expected {PATH}.ZRequest, "
                     "got quelm_ui.fast.quelmcobj.quelmcobj.QuelmCobject)"),
])
def test_add_errors(arg, message, entries_of):
    zs, log, make_target = fresh()
    zs.is_dirty = False
    with pytest.raises(TypeError) as info:
        zs.add(arg)
    assert str(info.value) == message
    assert entries_of(info.value)[-1][0] == f"{PATH}.ZSystem.add"
    assert registry(zs) == [] and zs.is_dirty is False


@pytest.mark.parametrize("call, message", [
    (lambda zs: zs.add(), "add() takes exactly 1 positional argument (0 given)"),
    (lambda zs: zs.add(None, z_req=None), "add() got an unexpected keyword argument 'z_req'"),
    (lambda zs: zs.add(None, z_request=None),
     "add() got multiple values for keyword argument 'z_request'"),
    (lambda zs: zs.mark_dirty(1), "mark_dirty() takes no arguments (1 given)"),
    (lambda zs: zs.mark_dirty(x=1), "mark_dirty() takes no keyword arguments"),
    (lambda zs: zs.get_active_requests(1), "get_active_requests() takes no arguments (1 given)"),
])
def test_argument_messages(call, message):
    zs, log, make_target = fresh()
    with pytest.raises(TypeError) as info:
        call(zs)
    assert str(info.value) == message


def test_mark_dirty(system_table):
    zs, log, make_target = fresh()
    zs.is_dirty = False
    assert zs.mark_dirty() is None and zs.is_dirty is True
    zs.is_dirty = False
    system_table.c_mark_dirty(zs)
    assert zs.is_dirty is True


def test_keyword_add():
    zs, log, make_target = fresh()
    target = make_target("a")
    zs.add(z_request=target.request)
    assert zs.get_active_requests() == [target.request]


# ---- rebuild ----

def test_rebuild_truncates_rectangles_and_reads_z():
    zs, log, make_target = fresh()
    target = make_target("a", rect=(10.9, -3.7, 20.5, -0.5), z=7)
    zs.add(target.request)
    assert zs.get_active_requests() == [target.request]
    assert rows(zs) == [((10, -3, 20, 0), 7)]
    assert zs.is_dirty is False
    rects, zs_ = rects_data(zs), z_indices(zs)
    assert rects.dtype == np.int32 and rects.flags.c_contiguous and zs_.dtype == np.int32
    assert view_owner(zs, "rects") is rects and view_owner(zs, "z") is zs_


@pytest.mark.parametrize("value, expected", [
    (True, 1), (7.9, 7), (-7.9, -7), (2147483647, 2147483647), (-2147483648, -2147483648),
    (np.int64(5), 5),
])
def test_z_conversion(value, expected):
    zs, log, make_target = fresh()
    target = make_target("a", z=value)
    zs.add(target.request)
    zs.get_active_requests()
    assert rows(zs)[0][1] == expected


class NoInt:
    pass


@pytest.mark.parametrize("value, error, message", [
    (2147483648, OverflowError, "value too large to convert to int"),
    (-2147483649, OverflowError, "value too large to convert to int"),
    (2**70, OverflowError, "Python int too large to convert to C long"),
    (NoInt(), TypeError, "an integer is required"),
    ("3", TypeError, "an integer is required"),
    (None, TypeError, "an integer is required"),
])
def test_z_conversion_errors_leave_state(value, error, message, entries_of):
    zs, log, make_target = fresh()
    good = make_target("good", z=1)
    zs.add(good.request)
    zs.get_active_requests()
    bad = make_target("bad", z=value)
    zs.add(bad.request)
    before = fresh_state(zs)
    with pytest.raises(error) as info:
        zs.get_active_requests()
    assert str(info.value) == message
    assert fresh_state(zs)[1:] == before[1:] and registry(zs) is before[0]
    assert zs.is_dirty is True
    names = [name for name, _ in entries_of(info.value)]
    assert names[-2:] == [f"{PATH}.ZSystem.get_active_requests", f"{PATH}.ZSystem._rebuild_arrays"]


def test_rows_follow_registration_order_and_skip_dead_owners():
    zs, log, make_target = fresh()
    p, q, r = make_target("p", z=1), make_target("q", z=2), make_target("r", z=3)
    for target in (p, q, r):
        zs.add(target.request)
    q.owner._dead = 1
    assert zs.get_active_requests() == [p.request, r.request]
    assert [z for _, z in rows(zs)] == [1, 3]
    assert [ref() for ref in registry(zs)] == [p.request, r.request]
    q.owner._dead = 0
    zs.mark_dirty()
    assert zs.get_active_requests() == [p.request, r.request]  # dropped for good


def test_gone_owners_and_requests_leave_the_registry():
    zs, log, make_target = fresh()
    kept, no_owner = make_target("kept"), make_target("no_owner")
    lone = ZRequest(kept.owner)
    for request in (kept.request, no_owner.request, lone):
        zs.add(request)
    no_owner.drop_owner()
    del lone, request
    assert zs.get_active_requests() == [kept.request]
    assert len(registry(zs)) == 1


def test_duplicates_give_duplicate_rows():
    zs, log, make_target = fresh()
    target = make_target("a", rect=(1, 2, 3, 4), z=5)
    zs.add(target.request)
    zs.add(target.request)
    assert zs.get_active_requests() == [target.request, target.request]
    assert rows(zs) == [((1, 2, 3, 4), 5)] * 2


def test_all_dead_gives_empty_arrays():
    zs, log, make_target = fresh()
    target = make_target("a")
    zs.add(target.request)
    zs.get_active_requests()
    target.owner._dead = 5
    zs.mark_dirty()
    assert zs.get_active_requests() == []
    assert_empty_arrays(zs)


def test_arrays_are_slices_of_full_size_buffers():
    zs, log, make_target = fresh()
    kept, gone = make_target("kept"), make_target("gone")
    zs.add(kept.request)
    zs.add(gone.request)
    gone.drop_owner()
    zs.get_active_requests()
    assert rects_data(zs).shape == (1, 4) and rects_data(zs).base.shape == (2, 4)
    assert z_indices(zs).base.shape == (2,)


def test_old_snapshots_stay_consistent():
    zs, log, make_target = fresh()
    a = make_target("a", z=1)
    zs.add(a.request)
    zs.get_active_requests()
    old_rects, old_live = rects_data(zs), zs.live_requests
    b = make_target("b", z=2)
    zs.add(b.request)
    zs.get_active_requests()
    assert old_live == [a.request] and old_rects.tolist() == [[0, 0, 10, 10]]
    assert zs.live_requests is not old_live


# Every 32-bit integer type is an int32: np.intc is np.int32 on Linux, but a type of its own on
# Windows, where NumPy's int32 is a C long.
@pytest.mark.parametrize("int32", [np.int32, np.intc])
def test_np_global_is_used_for_the_arrays(int32):
    zs, log, make_target = fresh()
    with pytest.MonkeyPatch.context() as monkeypatch:
        calls = []

        def empty(shape, dtype):
            calls.append((shape, dtype))
            return np.empty(shape, dtype)

        monkeypatch.setattr(zdispatch, "np", SimpleNamespace(int32=int32, empty=empty))
        target = make_target("a")
        zs.add(target.request)
        zs.get_active_requests()
        assert calls == [((1, 4), int32), (1, int32)]


@pytest.mark.parametrize("empty, error, message", [
    (lambda shape, dtype: np.empty(shape, np.float64), ValueError,
     "Buffer dtype mismatch, expected 'int32_t' but got dtype('float64')"),
    (lambda shape, dtype: np.empty((shape[0], 8), dtype)[:, ::2] if isinstance(shape, tuple)
     else np.empty(shape, dtype), ValueError, "ndarray is not C-contiguous"),
    (lambda shape, dtype: np.empty(shape, dtype) if isinstance(shape, tuple)
     else np.empty(2 * shape, dtype)[::2], ValueError, "ndarray is not C-contiguous"),
    (lambda shape, dtype: np.empty(3, dtype), ValueError,
     "Buffer has wrong number of dimensions (expected 2, got 1)"),
    (lambda shape, dtype: np.empty((shape[0], 3), dtype) if isinstance(shape, tuple)
     else np.empty(shape, dtype), ValueError, "Buffer has wrong shape (expected 4 columns, got 3)"),
    (lambda shape, dtype: [0] * 4, TypeError, "Cannot convert list to numpy.ndarray"),
    (lambda shape, dtype: np.zeros((0, 4), dtype) if isinstance(shape, tuple)
     else np.zeros(0, dtype), ValueError, "Buffer has wrong shape (expected 2 rows, got 0)"),
])
def test_foreign_arrays_are_checked_at_the_boundary(empty, error, message):
    zs, log, make_target = fresh()
    with pytest.MonkeyPatch.context() as monkeypatch:
        targets = [make_target("a"), make_target("b")]
        for target in targets:
            zs.add(target.request)
        before = fresh_state(zs)
        monkeypatch.setattr(zdispatch, "np", SimpleNamespace(int32=np.int32, empty=empty))
        with pytest.raises(error) as info:
            zs.get_active_requests()
        assert str(info.value) == message
        assert fresh_state(zs)[1:] == before[1:] and zs.is_dirty is True


def test_read_only_arrays_are_refused():
    zs, log, make_target = fresh()
    with pytest.MonkeyPatch.context() as monkeypatch:
        def empty(shape, dtype):
            array = np.empty(shape, dtype)
            array.flags.writeable = False
            return array

        target = make_target("a")
        zs.add(target.request)
        monkeypatch.setattr(zdispatch, "np", SimpleNamespace(int32=np.int32, empty=empty))
        with pytest.raises(ValueError, match="^buffer source array is read-only$"):
            zs.get_active_requests()


# ---- owner overrides and what they may return ----

class RectOverride(QuelmCobject):
    def __init__(self, result=None, z=0):
        super().__init__(None, z)
        self.result = result

    def get_qmrect(self):
        result = self.result
        return result() if callable(result) else result


class ParamOverride(QuelmCobject):
    def __init__(self, result):
        super().__init__()
        self.result = result

    def get_param_strict(self, name):
        assert name == "z"
        return self.result


def test_get_qmrect_override_is_used():
    zs, log, make_target = fresh()
    owner = RectOverride(QmRect(5, 6, 7, 8), z=3)
    request = ZRequest(owner)
    zs.add(request)
    zs.get_active_requests()
    assert rows(zs) == [((5, 6, 7, 8), 3)]


def test_get_param_strict_override_is_used():
    zs, log, make_target = fresh()
    owner = ParamOverride(QmParam("z", 42))
    request = ZRequest(owner)
    zs.add(request)
    zs.get_active_requests()
    assert rows(zs)[0][1] == 42


@pytest.mark.parametrize("owner, error, message", [
    (lambda: RectOverride(None), TypeError,
     "Cannot convert NoneType to quelm_ui.fast.qmrect.qmrect.QmRect"),
    (lambda: RectOverride("rect"), TypeError,
     "Cannot convert str to quelm_ui.fast.qmrect.qmrect.QmRect"),
    (lambda: RectOverride(lambda: 1 / 0), ZeroDivisionError, "division by zero"),
    (lambda: ParamOverride(None), TypeError,
     "Cannot convert NoneType to quelm_ui.fast.qmparam.qmparam.QmParam"),
    (lambda: ParamOverride(5), TypeError,
     "Cannot convert int to quelm_ui.fast.qmparam.qmparam.QmParam"),
])
def test_owner_failures_leave_state(owner, error, message):
    zs, log, make_target = fresh()
    good = make_target("good")
    zs.add(good.request)
    zs.get_active_requests()
    bad_owner = owner()
    bad = ZRequest(bad_owner)
    zs.add(bad)
    before = fresh_state(zs)
    with pytest.raises(error) as info:
        zs.get_active_requests()
    assert str(info.value) == message
    assert registry(zs) is before[0] and len(before[0]) == 2
    assert fresh_state(zs)[1:] == before[1:] and zs.is_dirty is True


def test_rect_set_to_none_fails_the_rebuild():
    zs, log, make_target = fresh()
    target = make_target("a")
    target.owner.qmrect = None
    zs.add(target.request)
    with pytest.raises(TypeError, match="Cannot convert NoneType to .*QmRect"):
        zs.get_active_requests()


def test_missing_z_param_is_a_key_error():
    zs, log, make_target = fresh()
    target = make_target("a")
    del target.owner.params["z"]
    zs.add(target.request)
    with pytest.raises(KeyError):
        zs.get_active_requests()


@pytest.mark.parametrize("link, message", [
    (lambda: 5, f"Cannot convert int to quelm_ui.fast.quelmcobj.quelmcobj.QuelmCobject"),
    (lambda: 1 / 0, "division by zero"),
])
def test_owner_of_the_wrong_type(link, message):
    zs, log, make_target = fresh()
    request = ZRequest.__new__(ZRequest)
    request.__setstate__((link,) + (None,) * 6)
    zs.add(request)
    with pytest.raises((TypeError, ZeroDivisionError)) as info:
        zs.get_active_requests()
    assert str(info.value) == message


def test_registry_entries_that_do_not_give_requests():
    zs, log, make_target = fresh()
    with pytest.MonkeyPatch.context() as monkeypatch:
        target = make_target("a")

        odd_ref = SimpleNamespace(ref=lambda obj: (lambda: "not a request"))
        monkeypatch.setattr(zdispatch, "weakref", odd_ref)
        zs.add(target.request)
        with pytest.raises(TypeError, match=f"^Cannot convert str to {PATH}.ZRequest$"):
            zs.get_active_requests()


def test_a_registry_other_than_a_list_fails_the_rebuild(entries_of):
    zs, log, make_target = fresh()
    zs.add(make_target("a").request)
    store_record_object(zs, 24, ("not", "a list"))
    with pytest.raises(TypeError, match="^Expected list, got tuple$") as info:
        zs.get_active_requests()
    assert entries_of(info.value)[-1][0] == f"{PATH}.ZSystem._rebuild_arrays"
    assert zs.is_dirty is True and registry(zs) == ("not", "a list")


def test_state_after_a_collector_clear(system_table, entries_of):
    zs, log, make_target = fresh()
    target = make_target("a", rect=(0, 0, 5, 5))
    zs.add(target.request)
    zs.get_active_requests()
    rects = rects_data(zs)
    collector_clear(zs)
    assert fresh_state(zs) == (None, None, None, None)
    assert zs.last_hovered_request is None and zs.clicked_request is None
    assert view_owner(zs, "rects") is rects  # views are released only on destruction
    with pytest.raises(AttributeError) as info:
        zs.add(target.request)
    assert str(info.value) == "'NoneType' object has no attribute 'append'"
    assert entries_of(info.value)[-1][0] == f"{PATH}.ZSystem.add"
    zs.is_dirty = False
    assert zs.cycle(QmVector2(1, 1), True, True, True, True) is None
    with pytest.raises(TypeError, match="^'NoneType' object is not iterable$"):
        zs.get_active_requests()
    zs.mark_dirty()
    with pytest.raises(TypeError, match="^object of type 'NoneType' has no len\\(\\)$"):
        zs.get_active_requests()
    with pytest.raises(TypeError, match="has no len"):
        system_table._rebuild_arrays(zs)


class Holder(np.ndarray):
    """An int32 array that can refer back to the dispatcher holding it."""


class Token:
    pass


@pytest.mark.parametrize("which", ["rects", "z"])
@pytest.mark.parametrize("cleared", [False, True], ids=["fields set", "only the views"])
def test_a_cycle_through_a_viewed_array_is_collected(monkeypatch, which, cleared):
    def empty(shape, dtype):
        return np.empty(shape, dtype=dtype).view(Holder)

    monkeypatch.setattr(zdispatch, "np", SimpleNamespace(empty=empty, int32=np.int32))
    zs, log, make_target = fresh()
    target = make_target("a")
    zs.add(target.request)
    zs.get_active_requests()
    if cleared:
        collector_clear(zs)
    array = view_owner(zs, which)
    assert type(array) is Holder
    array.back, array.token = zs, Token()
    token = weakref.ref(array.token)
    del zs, array
    gc.collect()
    assert token() is None


# ---- registrations made while a rebuild runs ----

class Registering(QuelmCobject):
    """An owner whose get_qmrect registers more requests with the dispatcher."""

    def __init__(self, zs, extra, rect=QmRect(0, 0, 10, 10)):
        super().__init__(rect)
        self.zs, self.extra, self.calls = zs, extra, 0

    def get_qmrect(self):
        self.calls += 1
        while self.extra:
            self.zs.add(self.extra.pop())
        return self.qmrect


def test_requests_added_during_a_rebuild_are_kept():
    zs, log, make_target = fresh()
    late = [make_target(f"late{i}", z=i) for i in range(5)]
    owner = Registering(zs, [t.request for t in late])
    request = ZRequest(owner)
    zs.add(request)
    assert zs.get_active_requests() == [request]  # rows only for what was registered
    assert rows(zs) == [((0, 0, 10, 10), 0)]
    assert zs.is_dirty is True  # the late ones still need their rows
    assert len(registry(zs)) == 6
    active = zs.get_active_requests()
    assert active == [request] + [t.request for t in reversed(late)]
    assert len(rows(zs)) == 6 and zs.is_dirty is False


def test_requests_added_while_the_last_entries_are_dead():
    zs, log, make_target = fresh()
    late = make_target("late", z=9)
    owner = Registering(zs, [late.request])
    first = ZRequest(owner)
    gone = make_target("gone")
    zs.add(first)
    zs.add(gone.request)
    gone.drop_owner()
    zs.get_active_requests()
    assert [ref() for ref in registry(zs)] == [first, late.request]
    assert zs.get_active_requests() == [first, late.request]


class RegistersWhenReleased:
    """A callback object whose finaliser registers another request with the dispatcher."""

    def __init__(self, zs, request):
        self.zs, self.request = zs, request

    def __call__(self):
        pass

    def __del__(self):
        self.zs.add(self.request)


def test_requests_added_while_old_requests_are_released():
    zs, log, make_target = fresh()
    late, gone = make_target("late"), make_target("gone")
    gone.request.on_click_func = RegistersWhenReleased(zs, late.request)
    zs.add(gone.request)
    zs.get_active_requests()
    gone.owner._z_request = None
    gone.request = None  # only the live list holds it now
    gone.drop_owner()
    zs.mark_dirty()
    assert zs.get_active_requests() == []  # releasing the old list registered `late`
    assert zs.is_dirty is True
    assert zs.get_active_requests() == [late.request] and zs.is_dirty is False


class Nested(QuelmCobject):
    """An owner whose get_qmrect consumes the dispatcher that is rebuilding."""

    def get_qmrect(self):
        self.seen.append((self.zs.get_active_requests(), self.zs.is_dirty))
        self.rebuild(self.zs)
        return self.qmrect


def test_nested_consumers_during_a_rebuild_do_not_rebuild(system_table):
    zs, log, make_target = fresh()
    seen = []
    first = make_target("first")
    zs.add(first.request)
    zs.get_active_requests()
    owner = Nested()
    owner.zs, owner.seen, owner.rebuild = zs, seen, system_table._rebuild_arrays
    nested = ZRequest(owner)
    zs.add(nested)
    assert zs.get_active_requests() == [first.request, nested]
    assert seen == [([first.request], True)]  # the old snapshot, still dirty inside


# ---- native table ----

def test_native_add_and_rebuild(system_table):
    zs, log, make_target = fresh()
    target = make_target("a", rect=(1, 1, 2, 2), z=4)
    system_table.add(zs, target.request, 1)
    assert zs.is_dirty is True
    system_table._rebuild_arrays(zs)
    assert zs.live_requests == [target.request] and rows(zs) == [((1, 1, 2, 2), 4)]
    assert zs.is_dirty is True  # the rebuild itself leaves the flag alone
    system_table._reset_arrays(zs)
    assert_empty_arrays(zs)
    assert zs.live_requests == [target.request]


def test_native_add_errors(system_table):
    zs, log, make_target = fresh()
    with pytest.raises(TypeError, match="cannot create weak reference to 'NoneType' object"):
        system_table.add(zs, None, 1)
    zs.__class__  # still usable
    assert registry(zs) == []


class Overriding(ZSystem):
    def __init__(self):
        self.calls = []

    def add(self, z_request):
        self.calls.append(("add", z_request))
        return "ignored"

    def mark_dirty(self):
        self.calls.append(("mark_dirty",))
        return "marked"

    def get_active_requests(self):
        self.calls.append(("get_active_requests",))
        return self.result

    def cycle(self, *args):
        self.calls.append(("cycle",) + args)
        return "cycled"


def test_overrides_are_called_natively_with_dispatch(system_table):
    zs, log, make_target = fresh()
    zs = Overriding()
    zs.result = ["listed"]
    target = make_target("a")
    pos = QmRect  # any object: the override receives it unchanged
    assert system_table.add(zs, target.request, 0) is None
    assert system_table.mark_dirty(zs, 0) == "marked"
    assert system_table.get_active_requests(zs, 0) == ["listed"]
    assert system_table.cycle(zs, pos, 1, 0, 2, 0, 0) == "cycled"
    assert system_table.cycle(zs, pos, 0, 3, 0, 4, 0) == "cycled"
    assert zs.calls == [("add", target.request), ("mark_dirty",), ("get_active_requests",),
                        ("cycle", pos, True, False, True, False),
                        ("cycle", pos, False, True, False, True)]
    assert registry(zs) == []


def test_overrides_are_skipped_without_dispatch_and_from_python(system_table):
    zs, log, make_target = fresh()
    zs = Overriding()
    target = make_target("a")
    zs.is_dirty = False
    system_table.add(zs, target.request, 1)
    assert zs.is_dirty is True and len(registry(zs)) == 1
    assert system_table.mark_dirty(zs, 1) is None
    assert system_table.get_active_requests(zs, 1) == [target.request]
    assert ZSystem.add(zs, target.request) is None and len(registry(zs)) == 2
    assert zs.calls == []


@pytest.mark.parametrize("result, message", [(("t",), "Expected list, got tuple"),
                                             ("s", "Expected list, got str")])
def test_get_active_requests_override_must_give_a_list(system_table, result, message):
    zs = Overriding()
    zs.result = result
    with pytest.raises(TypeError) as info:
        system_table.get_active_requests(zs, 0)
    assert str(info.value) == message
    zs.result = None
    assert system_table.get_active_requests(zs, 0) is None


OVERRIDABLE = ("add", "mark_dirty", "get_active_requests", "cycle")


class LookupFails(ZSystem):
    def __getattribute__(self, name):
        if name in OVERRIDABLE:
            raise ZeroDivisionError(f"no {name}")
        return super().__getattribute__(name)


class OverridesFail(ZSystem):
    __slots__ = ()  # a Python subclass without an instance dict

    def add(self, z_request):
        raise ZeroDivisionError("no add")

    @staticmethod  # found as a plain function, not a bound method
    def mark_dirty():
        raise ZeroDivisionError("no mark_dirty")

    def get_active_requests(self):
        raise ZeroDivisionError("no get_active_requests")

    def cycle(self, *args):
        raise ZeroDivisionError("no cycle")


@pytest.mark.parametrize("cls", [LookupFails, OverridesFail])
@pytest.mark.parametrize("name, call", [
    ("add", lambda table, zs, request: table.add(zs, request, 0)),
    ("mark_dirty", lambda table, zs, request: table.mark_dirty(zs, 0)),
    ("get_active_requests", lambda table, zs, request: table.get_active_requests(zs, 0)),
    ("cycle", lambda table, zs, request: table.cycle(zs, QmVector2(1, 1), 0, 0, 0, 0, 0)),
])
def test_a_failing_override_or_lookup_fails_the_native_call(system_table, cls, name, call,
                                                            entries_of):
    zs, log, make_target = fresh()
    zs = cls()
    with pytest.raises(ZeroDivisionError, match=f"^no {name}$") as info:
        call(system_table, zs, make_target("a").request)
    names = [entry for entry, _ in entries_of(info.value)]
    assert f"quelm_ui.fast.zsystem.zdispatch.ZSystem.{name}" in names
    assert registry(zs) == []


class WithoutOverrides(ZSystem):
    pass


@pytest.mark.parametrize("cls", [ZSystem, WithoutOverrides])
def test_plain_instances_never_dispatch(system_table, cls):
    zs, log, make_target = fresh()
    zs = cls()
    assert system_table.mark_dirty(zs, 0) is None and zs.is_dirty is True
    assert system_table.get_active_requests(zs, 0) == []
    assert system_table.cycle(zs, QmVector2(1, 1), 0, 0, 0, 0, 0) is None


# ---- pickling ----

@pytest.mark.parametrize("action", [
    lambda zs: pickle.dumps(zs),
    lambda zs: copy.copy(zs),
    lambda zs: copy.deepcopy(zs),
    lambda zs: zs.__reduce__(),
    lambda zs: zs.__setstate__(()),
    lambda zs: zs.__setstate__(__pyx_state=None),
])
def test_pickling_is_refused(action):
    zs, log, make_target = fresh()
    with pytest.raises(TypeError, match="^no default __reduce__ due to non-trivial __cinit__$"):
        action(zs)


# ---- the collector ----

def test_dispatcher_in_a_cycle_is_collected():
    zs, log, make_target = fresh()
    zs = ZSystem()
    target = make_target("a")
    target.request.on_click_func = lambda: zs  # zs -> live list -> request -> lambda -> zs
    zs.add(target.request)
    zs.get_active_requests()
    watcher = weakref.ref(target.request)
    target.owner._z_request = None
    del zs, target.request
    gc.collect()
    assert watcher() is None


def test_gc_sees_the_six_references():
    zs, log, make_target = fresh()
    target = make_target("a")
    zs.add(target.request)
    zs.get_active_requests()
    zs.last_hovered_request = hovered = object()
    zs.clicked_request = clicked = object()
    referents = gc.get_referents(zs)
    for obj in (registry(zs), hovered, clicked, zs.live_requests, rects_data(zs), z_indices(zs)):
        assert any(obj is r for r in referents)
