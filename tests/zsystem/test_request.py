"""ZRequest: construction, callback properties, the owner link, the native table, garbage
collection and weak references, and its pickled forms."""

import copy
import gc
import pickle
import weakref
from types import SimpleNamespace

import pytest

from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.zsystem import zdispatch
from quelm_ui.fast.zsystem.zdispatch import ZRequest, __pyx_unpickle_ZRequest

CALLBACKS = ["on_hover_func", "on_unhover_func", "on_click_func", "on_keyup_func",
             "on_keyup_abandon_func", "on_scroll_func"]
STATE_ORDER = ["on_click_func", "on_hover_func", "on_keyup_abandon_func", "on_keyup_func",
               "on_scroll_func", "on_unhover_func"]
CHECKSUMS = [0x80e39c8, 0x1b44be, 0xfe25af3]
MEMBERS = ("_link_ref, on_click_func, on_hover_func, on_keyup_abandon_func, on_keyup_func, "
           "on_scroll_func, on_unhover_func")


def link_ref(request):
    return request.__reduce__()[-1][0]


def test_owner_alone_gives_no_callbacks_and_a_weak_link(request_table):
    owner = QuelmCobject()
    request = ZRequest(owner)
    assert [getattr(request, name) for name in CALLBACKS] == [None] * 6
    assert request_table.get_link(request) is owner
    assert type(link_ref(request)) is weakref.ref
    del owner
    assert request_table.get_link(request) is None


def test_positional_arguments_land_in_their_own_fields():
    owner = QuelmCobject()
    funcs = [lambda i=i: i for i in range(6)]
    request = ZRequest(owner, *funcs)
    assert [getattr(request, name) for name in CALLBACKS] == funcs


def test_keywords_and_reinitialisation():
    owner, other = QuelmCobject(), QuelmCobject()
    request = ZRequest(link=owner, on_scroll_func=print, on_click_func=len)
    assert (request.on_scroll_func, request.on_click_func) == (print, len)
    request.__init__(other, on_hover_func=abs)
    assert request.on_hover_func is abs
    assert request.on_scroll_func is None and request.on_click_func is None
    assert link_ref(request)() is other


@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, "__init__() takes at least 1 positional argument (0 given)"),
    ((1,) * 8, {}, "__init__() takes at most 7 positional arguments (8 given)"),
    ((QuelmCobject(),), {"on_drag_func": None},
     "__init__() got an unexpected keyword argument 'on_drag_func'"),
    ((QuelmCobject(), None), {"on_hover_func": None},
     "__init__() got multiple values for keyword argument 'on_hover_func'"),
    ((None,), {}, "cannot create weak reference to 'NoneType' object"),
    ((3,), {}, "cannot create weak reference to 'int' object"),
    (("text",), {}, "cannot create weak reference to 'str' object"),
])
def test_constructor_errors_change_nothing(args, kwargs, message, entries_of):
    owner = QuelmCobject()
    request = ZRequest(owner, len)
    before = request.__reduce__()
    with pytest.raises(TypeError) as info:
        request.__init__(*args, **kwargs)
    assert str(info.value) == message
    assert request.__reduce__() == before
    assert ("quelm_ui.fast.zsystem.zdispatch.ZRequest.__init__",
            "src/quelm_ui/fast/zsystem/zdispatch") in entries_of(info.value)


def test_callback_properties_accept_anything_and_del_stores_none():
    request = ZRequest(QuelmCobject(), len, len, len, len, len, len)
    for name in CALLBACKS:
        setattr(request, name, 3)
        assert getattr(request, name) == 3
        delattr(request, name)
        assert getattr(request, name) is None


def test_link_ref_is_not_an_attribute_and_instances_have_no_dict():
    request = ZRequest(QuelmCobject())
    with pytest.raises(AttributeError):
        request._link_ref
    with pytest.raises(AttributeError):
        request.extra = 1


def test_new_without_init_has_no_link(request_table, entries_of):
    request = ZRequest.__new__(ZRequest)
    assert [getattr(request, name) for name in CALLBACKS] == [None] * 6
    with pytest.raises(TypeError, match="'NoneType' object is not callable") as info:
        request_table.get_link(request)
    assert entries_of(info.value)[-1][0] == "quelm_ui.fast.zsystem.zdispatch.ZRequest.get_link"


def test_native_new_takes_constructor_order(request_table):
    owner = QuelmCobject()
    funcs = [lambda i=i: i for i in range(6)]
    request = request_table.new(owner, *funcs)
    assert type(request) is ZRequest
    assert [getattr(request, name) for name in CALLBACKS] == funcs
    assert request_table.get_link(request) is owner


def test_native_new_failure(request_table, entries_of):
    with pytest.raises(TypeError, match="cannot create weak reference") as info:
        request_table.new(*[None] * 7)
    assert entries_of(info.value)[-1][0] == "quelm_ui.fast.zsystem.zdispatch.ZRequest.new"


def test_weakref_global_is_looked_up_at_each_call():
    with pytest.MonkeyPatch.context() as monkeypatch:
        made = []
        recorder = SimpleNamespace(ref=lambda obj: made.append(obj) or weakref.ref(obj))
        monkeypatch.setattr(zdispatch, "weakref", recorder)
        owner = QuelmCobject()
        ZRequest(owner)
        assert made == [owner]
        monkeypatch.delattr(zdispatch, "weakref")
        with pytest.raises(NameError, match="name 'weakref' is not defined"):
            ZRequest(owner)


def test_any_callable_link_is_called(request_table):
    request = ZRequest(QuelmCobject())
    request.__setstate__((lambda: "owner",) + (None,) * 6)
    assert request_table.get_link(request) == "owner"


def test_request_is_weakly_referenceable_and_collected_in_cycles():
    owner = QuelmCobject()
    request = ZRequest(owner)
    request.on_click_func = lambda: request  # request -> lambda -> cell -> request
    watcher = weakref.ref(request)
    del request
    gc.collect()
    assert watcher() is None


def test_gc_sees_callbacks():
    callback = lambda: None  # noqa: E731
    request = ZRequest(QuelmCobject(), callback)
    assert callback in gc.get_referents(request)


# ---- pickling ----

def test_reduce_with_a_live_owner_uses_the_setstate_form():
    owner = QuelmCobject()
    funcs = {name: (lambda n=name: n) for name in CALLBACKS}
    request = ZRequest(owner, **funcs)
    restore, args, state = request.__reduce__()
    assert restore is __pyx_unpickle_ZRequest
    assert args == (ZRequest, 0x80e39c8, None)
    assert state[0] is link_ref(request) and state[0]() is owner
    assert state[1:] == tuple(funcs[name] for name in STATE_ORDER)


def test_reduce_of_a_bare_request_uses_the_two_item_form():
    assert ZRequest.__new__(ZRequest).__reduce__() == (
        __pyx_unpickle_ZRequest, (ZRequest, 0x80e39c8, (None,) * 7))


def test_copy_shares_the_weak_reference_and_callbacks():
    owner = QuelmCobject()
    request = ZRequest(owner, len, abs)
    duplicate = copy.copy(request)
    assert duplicate is not request and type(duplicate) is ZRequest
    assert link_ref(duplicate) is link_ref(request)
    assert (duplicate.on_hover_func, duplicate.on_unhover_func) == (len, abs)


def test_pickle_fails_on_the_weak_reference():
    with pytest.raises(TypeError, match="cannot pickle 'weakref.ReferenceType' object"):
        pickle.dumps(ZRequest(QuelmCobject()))


def test_bare_request_round_trips_through_pickle():
    clone = pickle.loads(pickle.dumps(ZRequest.__new__(ZRequest)))
    assert type(clone) is ZRequest and clone.__reduce__()[1][2] == (None,) * 7


class Tagged(ZRequest):
    pass


def test_subclass_dict_round_trips():
    request = Tagged.__new__(Tagged)
    request.tag = "kept"
    restore, args, state = request.__reduce__()
    assert args == (Tagged, 0x80e39c8, None) and state[7] == {"tag": "kept"}
    clone = restore(*args)
    clone.__setstate__(state)
    assert type(clone) is Tagged and clone.tag == "kept"
    assert pickle.loads(pickle.dumps(request)).tag == "kept"


def test_empty_subclass_dict_is_not_carried():
    assert Tagged.__new__(Tagged).__reduce__() == (
        __pyx_unpickle_ZRequest, (Tagged, 0x80e39c8, (None,) * 7))


@pytest.mark.parametrize("checksum", CHECKSUMS)
def test_unpickle_accepts_the_three_checksums(checksum):
    request = __pyx_unpickle_ZRequest(ZRequest, checksum, None)
    assert type(request) is ZRequest and request.on_click_func is None


def test_unpickle_applies_state_in_alphabetical_order():
    values = tuple(f"v{i}" for i in range(7))
    request = __pyx_unpickle_ZRequest(__pyx_type=ZRequest, __pyx_checksum=0x1b44be,
                                      __pyx_state=values)
    assert request.__reduce__()[-1] == values
    assert [getattr(request, name) for name in STATE_ORDER] == list(values[1:])


@pytest.mark.parametrize("checksum, shown", [(1, "0x1"), (0x80e39c9, "0x80e39c9"), (-5, "0x-5"),
                                             (-1, "0x-1")])
def test_unpickle_rejects_other_checksums(checksum, shown, entries_of):
    with pytest.raises(pickle.PickleError) as info:
        __pyx_unpickle_ZRequest(ZRequest, checksum, None)
    assert str(info.value) == (f"Incompatible checksums ({shown} vs (0x80e39c8, 0x1b44be, "
                               f"0xfe25af3) = ({MEMBERS}))")
    assert entries_of(info.value)[-1][0] == "quelm_ui.fast.zsystem.zdispatch.__pyx_unpickle_ZRequest"


@pytest.mark.parametrize("args, error, message", [
    ((ZRequest, 0x80e39c8, [None] * 7), TypeError,
     "Argument '__pyx_state' has incorrect type (expected tuple, got list)"),
    ((ZRequest, "x", None), TypeError, "an integer is required"),
    ((ZRequest, 2**63, None), OverflowError, "Python int too large to convert to C long"),
    ((ZRequest, 0x80e39c8), TypeError,
     "__pyx_unpickle_ZRequest() takes exactly 3 positional arguments (2 given)"),
    ((int, 0x80e39c8, None), TypeError,
     "quelm_ui.fast.zsystem.zdispatch.ZRequest.__new__(int): int is not a subtype of "
     "quelm_ui.fast.zsystem.zdispatch.ZRequest"),
])
def test_unpickle_argument_errors(args, error, message):
    with pytest.raises(error) as info:
        __pyx_unpickle_ZRequest(*args)
    assert str(info.value) == message


@pytest.mark.parametrize("length", [0, 1, 6])
def test_short_state_is_rejected_without_change(length, entries_of):
    owner = QuelmCobject()
    request = ZRequest(owner, len, abs, min, max, all, any)
    before = request.__reduce__()
    with pytest.raises(ValueError) as info:
        request.__setstate__(("x",) * length)
    assert str(info.value) == f"ZRequest state tuple must hold at least 7 items, got {length}"
    assert request.__reduce__() == before
    assert [name for name, _ in entries_of(info.value)][-2:] == [
        "quelm_ui.fast.zsystem.zdispatch.ZRequest.__setstate__",
        "quelm_ui.fast.zsystem.zdispatch.__pyx_unpickle_ZRequest__set_state"]
    with pytest.raises(ValueError):
        __pyx_unpickle_ZRequest(ZRequest, 0x80e39c8, ("x",) * length)


class NoTruth:
    def __bool__(self):
        raise ZeroDivisionError("no truth")


@pytest.mark.parametrize("state, error, message", [
    (None, TypeError, "cannot pass None into a C function argument that is declared 'not None'"),
    ([None] * 7, TypeError, "Expected tuple, got list"),
    ((None,) * 7 + (NoTruth(),), ZeroDivisionError, "no truth"),
])
def test_setstate_type_errors(state, error, message):
    with pytest.raises(error) as info:
        ZRequest.__new__(ZRequest).__setstate__(state)
    assert str(info.value) == message


class DictFails(ZRequest):
    @property
    def __dict__(self):
        raise ZeroDivisionError("no dict")


class DictWithoutTruth(ZRequest):
    @property
    def __dict__(self):
        return NoTruth()


@pytest.mark.parametrize("call, error, message", [
    (lambda: ZRequest.__new__(ZRequest).__reduce__(1), TypeError,
     "__reduce__() takes no arguments (1 given)"),
    (lambda: DictFails.__new__(DictFails).__reduce__(), ZeroDivisionError, "no dict"),
    (lambda: DictWithoutTruth.__new__(DictWithoutTruth).__reduce__(), ZeroDivisionError,
     "no truth"),
])
def test_reduce_errors(call, error, message, entries_of):
    with pytest.raises(error) as info:
        call()
    assert str(info.value) == message
    names = [name for name, _ in entries_of(info.value)]
    assert "quelm_ui.fast.zsystem.zdispatch.ZRequest.__reduce__" in names


def test_setstate_keyword_and_eighth_item():
    request = ZRequest.__new__(ZRequest)
    request.__setstate__(__pyx_state=(None,) * 7 + ({},))  # falsy: no dict needed
    with pytest.raises(AttributeError):
        request.__setstate__((None,) * 7 + ({"a": 1},))
    tagged = Tagged.__new__(Tagged)
    tagged.__setstate__((None,) * 7 + ([("b", 2)],))  # dict.update semantics
    assert tagged.b == 2
