"""The raylib entry table: init_raylib_pointers (walk order, partial stores, conversions and
messages) and what every function does when its slot is null or raylib leaves an error."""

from __future__ import annotations

import re

import pytest

from bridge_fakes import SLOT_KEYS, entry_name, python_calls, unbound_message

CALLS = python_calls()
CALL_IDS = [name for name, _, _ in CALLS]
RAYLIB_OF = {name: raylib for name, _, raylib in CALLS}


def bound_slots(rl, fake) -> set[str]:
    """The keys whose slot is bound, found by calling one function per slot."""
    found = set()
    fake.calls()
    for name, args, raylib in CALLS:
        try:
            getattr(rl, name)(*args)
        except RuntimeError as exc:
            assert str(exc) == unbound_message(raylib)
            continue
        assert [call[0] for call in fake.calls()] == [raylib]
        found.add(raylib)
    return found


@pytest.mark.no_leakcheck
def test_every_slot_starts_null(run_python):
    run_python("""
        from quelm_ui.fast.raylib import quelm_raylib as rl
        try:
            rl.begin_drawing()
        except RuntimeError as exc:
            assert str(exc) == ("raylib function BeginDrawing is not bound: "
                                "call init_raylib_pointers first"), exc
        else:
            raise AssertionError("an unbound slot was called")
    """)


@pytest.mark.parametrize("name, args, raylib", CALLS, ids=CALL_IDS)
def test_each_function_makes_exactly_one_call_through_its_slot(rl, fake, name, args, raylib):
    result = getattr(rl, name)(*args)
    assert [call[0] for call in fake.calls()] == [raylib]
    assert result == (-1 if "location" in name else None)


@pytest.mark.parametrize("name, args, raylib", CALLS, ids=CALL_IDS)
def test_a_null_slot_raises_naming_the_raylib_function(rl, fake, entries_of, name, args, raylib):
    rl.init_raylib_pointers({raylib: 0})
    with pytest.raises(RuntimeError, match=f"^{re.escape(unbound_message(raylib))}$") as info:
        getattr(rl, name)(*args)
    assert fake.calls() == []
    names = [entry for entry, _ in entries_of(info.value)]
    assert names[-1].startswith("quelm_ui.fast.raylib.quelm_raylib.")
    assert entry_name(name) in names


@pytest.mark.parametrize("name, args, raylib", CALLS, ids=CALL_IDS)
def test_an_exception_left_by_raylib_is_raised_after_the_call(rl, fake, name, args, raylib):
    fake.raise_in(raylib)
    with pytest.raises(ValueError, match=f"^raised inside {raylib}$"):
        getattr(rl, name)(*args)
    assert [call[0] for call in fake.calls()] == [raylib]


def test_an_empty_dict_changes_no_slot(rl, fake):
    rl.init_raylib_pointers({"EndDrawing": 0, "BeginDrawing": 0})
    assert rl.init_raylib_pointers({}) is None
    assert bound_slots(rl, fake) == set(SLOT_KEYS) - {"EndDrawing", "BeginDrawing"}


def test_zero_nulls_only_its_slot_and_unknown_keys_are_ignored(rl, fake):
    rl.init_raylib_pointers({"EndDrawing": 0, "NotARaylibFunction": -5, 3: "x"})
    assert bound_slots(rl, fake) == set(SLOT_KEYS) - {"EndDrawing"}


def test_the_table_fills_over_several_calls(rl, fake):
    addresses = fake.addresses()
    rl.init_raylib_pointers(dict.fromkeys(SLOT_KEYS, 0))
    rl.init_raylib_pointers({key: addresses[key] for key in SLOT_KEYS[:7]})
    rl.init_raylib_pointers({key: addresses[key] for key in SLOT_KEYS[7:]})
    assert bound_slots(rl, fake) == set(SLOT_KEYS)


def test_a_failing_value_keeps_the_slots_stored_before_it(rl, fake):
    nulls = dict.fromkeys(SLOT_KEYS, 0)
    nulls["BeginDrawing"] = -1
    with pytest.raises(OverflowError, match="^can't convert negative value to size_t$"):
        rl.init_raylib_pointers(nulls)
    # Slots 1-11 were stored (null), BeginDrawing, EndDrawing and SetShaderValueV kept theirs.
    assert bound_slots(rl, fake) == {"BeginDrawing", "EndDrawing", "SetShaderValueV"}


def test_keys_are_walked_in_table_order_whatever_the_dict_order(rl, fake):
    addresses = fake.addresses()
    order = []

    class Address:
        def __init__(self, key):
            self.key = key

        def __int__(self):
            order.append(self.key)
            return addresses[self.key]

    rl.init_raylib_pointers({key: Address(key) for key in reversed(SLOT_KEYS)})
    assert order == list(SLOT_KEYS)
    assert bound_slots(rl, fake) == set(SLOT_KEYS)


class IntLike:
    def __init__(self, value):
        self.value = value

    def __int__(self):
        return self.value


@pytest.mark.parametrize("value, error, message", [
    (-1, OverflowError, "can't convert negative value to size_t"),
    (-(2**70), OverflowError, "can't convert negative value to size_t"),
    (2**64, OverflowError, None),
    ("1234", TypeError, "an integer is required"),
    (None, TypeError, "an integer is required"),
    (IntLike("7"), TypeError, "__int__ returned non-int (type str)"),
    # A strict int subclass is taken with a DeprecationWarning, here turned into an error.
    (IntLike(True), DeprecationWarning,
     "__int__ returned non-int (type bool).  The ability to return an instance of a strict "
     "subclass of int is deprecated, and may be removed in a future version of Python."),
])
@pytest.mark.filterwarnings("error::DeprecationWarning")
def test_bad_addresses(rl, fake, value, error, message):
    with pytest.raises(error) as info:
        rl.init_raylib_pointers({"DrawTextureRec": value})
    if message is not None:
        assert str(info.value) == message
    assert bound_slots(rl, fake) == set(SLOT_KEYS)


def test_addresses_may_be_int_like(rl, fake):
    address = fake.addresses()["ClearBackground"]
    rl.init_raylib_pointers({"ClearBackground": 0})
    rl.init_raylib_pointers({"ClearBackground": IntLike(address)})
    rl.clear_background((1, 2, 3))
    rl.init_raylib_pointers({"ClearBackground": float(address) if address < 2**53 else address})
    rl.clear_background((4, 5, 6))
    assert fake.calls() == [("ClearBackground", (1, 2, 3, 255)),
                            ("ClearBackground", (4, 5, 6, 255))]


def test_none_and_non_dicts_are_refused_before_any_slot_changes(rl, fake, entries_of):
    class Pointers(dict):
        pass

    with pytest.raises(TypeError, match="^'NoneType' object is not iterable$") as info:
        rl.init_raylib_pointers(None)
    assert entry_name("init_raylib_pointers") in [name for name, _ in entries_of(info.value)]
    with pytest.raises(TypeError, match=r"^Argument 'pointers' has incorrect type "
                                        r"\(expected dict, got Pointers\)$"):
        rl.init_raylib_pointers(Pointers(dict.fromkeys(SLOT_KEYS, 0)))
    with pytest.raises(TypeError, match=r"expected dict, got list"):
        rl.init_raylib_pointers([("EndDrawing", 0)])
    assert bound_slots(rl, fake) == set(SLOT_KEYS)


@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, "init_raylib_pointers() takes exactly 1 positional argument (0 given)"),
    (({}, {}), {}, "init_raylib_pointers() takes exactly 1 positional argument (2 given)"),
    (({},), {"pointer": {}},
     "init_raylib_pointers() got an unexpected keyword argument 'pointer'"),
    (({},), {"pointers": {}},
     "init_raylib_pointers() got multiple values for keyword argument 'pointers'"),
])
def test_argument_errors(rl, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        rl.init_raylib_pointers(*args, **kwargs)
    assert str(info.value) == message


def test_pointers_by_keyword(rl, fake):
    rl.init_raylib_pointers(pointers={"EndDrawing": 0})
    assert "EndDrawing" not in bound_slots(rl, fake)


def test_a_conversion_that_unbinds_the_slot_mid_call_raises_instead_of_calling(rl, fake):
    class Sneaky:
        def __float__(self):
            rl.init_raylib_pointers({"ClearBackground": 0})
            return 7.0

    with pytest.raises(RuntimeError, match=re.escape(unbound_message("ClearBackground"))):
        rl.clear_background((Sneaky(), 2, 3))
    assert fake.calls() == []
