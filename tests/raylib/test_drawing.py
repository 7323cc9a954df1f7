"""Drawing, clearing, frame and mode functions: what raylib receives, argument checks and their
order, inputs of the wrong shape, and failures that must leave raylib uncalled."""

from __future__ import annotations

import builtins
import contextlib
import gc
import sys

import pytest

from bridge_fakes import RenderTexture, Texture, entry_name, f32
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

QMVECTOR2 = f"{QmVector2.__module__}.{QmVector2.__name__}"
QMRECT = f"{QmRect.__module__}.{QmRect.__name__}"
WHITE = (255, 255, 255, 255)


@contextlib.contextmanager
def base_color_restored(rl):
    """Restores _base_color_qmvec_ez (and removes a builtins stand-in) on leaving."""
    saved = rl._base_color_qmvec_ez
    try:
        yield
    finally:
        rl._base_color_qmvec_ez = saved
        if hasattr(builtins, "_base_color_qmvec_ez"):
            del builtins._base_color_qmvec_ez


# ---- what raylib receives ----

@pytest.mark.parametrize("flip, height", [(True, -32.0), (False, 32.0)])
def test_draw_texture_vec_draws_the_whole_texture(rl, fake, flip, height):
    rl.draw_texture_vec(Texture(3, 64, 32), (10, 20), (255, 0, 0), flip)
    assert fake.calls() == [("DrawTextureRec", (3, 64, 32, 1, 7), (0.0, 0.0, 64.0, height),
                             (10.0, 20.0), (255, 0, 0, 255))]


def test_flipping_negates_the_integer_height_first(rl, fake):
    rl.draw_texture_vec(Texture(3, 2**31 - 1, -(2**31)), (0, 0), (1, 2, 3), True)
    rl.draw_texture_vec(Texture(3, 16777217, 16777217), (0, 0), (1, 2, 3), True)
    sources = [call[2] for call in fake.calls()]
    assert sources == [(0.0, 0.0, f32(2**31 - 1), float(2**31)),
                       (0.0, 0.0, 16777216.0, -16777216.0)]


def test_draw_texture_rec(rl, fake):
    rl.draw_texture_rec(Texture(8, 16, 16, 2, 5), (1, 2, 3, 4), (5.5, 6.25), (9, 8, 7, 6))
    rl.draw_texture_rec(texture=Texture(), source_rec=(0, 0, 1, 1), position=(0, 0),
                        color=(1, 2, 3))
    assert fake.calls() == [
        ("DrawTextureRec", (8, 16, 16, 2, 5), (1.0, 2.0, 3.0, 4.0), (5.5, 6.25), (9, 8, 7, 6)),
        ("DrawTextureRec", (3, 64, 32, 1, 7), (0.0, 0.0, 1.0, 1.0), (0.0, 0.0), (1, 2, 3, 255)),
    ]


def test_the_ez_forms_draw_white(rl, fake):
    rl.draw_texture_rec_ez(Texture(), (0, 0, 8, 8), (1, 2))
    rl.draw_texture_vec_ez(Texture(), (1, 2), True)
    rl.draw_texture_qmvec_ez(Texture(), QmVector2(1, 2), 1)
    calls = fake.calls()
    assert [call[4] for call in calls] == [WHITE] * 3
    assert calls[0][2] == (0.0, 0.0, 8.0, 8.0)
    assert calls[1][2] == calls[2][2] == (0.0, 0.0, 64.0, -32.0)
    assert calls[2][3] == (f32(1.01), f32(2.01))


def test_draw_texture_qmvec(rl, fake):
    rl.draw_texture_qmvec(Texture(), QmVector2(10, 20), QmRect(1, 2, 3, 4), False)
    rl.draw_texture_qmvec(Texture(), QmVector2(10, 20), QmRect(1, 2, 3, 4), True)
    assert fake.calls() == [
        ("DrawTextureRec", (3, 64, 32, 1, 7), (0.0, 0.0, 64.0, 32.0), (f32(10.01), f32(20.01)),
         (1, 2, 3, 4)),
        ("DrawTextureRec", (3, 64, 32, 1, 7), (0.0, 0.0, 64.0, -32.0),
         (f32(10.01), f32(20.01)), (1, 2, 3, 4)),
    ]


def test_draw_texture_pro(rl, fake):
    rl.draw_texture_pro(Texture(), (0, 0, 16, 16), (100, 100, 32, 32), (16, 16), 90,
                        (255, 255, 255, 128))
    rl.draw_texture_pro(Texture(), (0, 0, 1, 1), (0, 0, 1, 1), (0, 0), 0.1, (1, 2, 3))
    assert fake.calls() == [
        ("DrawTexturePro", (3, 64, 32, 1, 7), (0.0, 0.0, 16.0, 16.0), (100.0, 100.0, 32.0, 32.0),
         (16.0, 16.0), 90.0, (255, 255, 255, 128)),
        ("DrawTexturePro", (3, 64, 32, 1, 7), (0.0, 0.0, 1.0, 1.0), (0.0, 0.0, 1.0, 1.0),
         (0.0, 0.0), f32(0.1), (1, 2, 3, 255)),
    ]


def test_clearing_frames_and_modes_pass_through_one_for_one(rl, fake):
    rl.end_drawing()
    rl.clear_background((30, 30, 30))
    rl.begin_drawing()
    rl.begin_blend_mode(2)
    rl.begin_blend_mode(mode=-1)
    rl.end_blend_mode()
    rl.end_blend_mode()
    rl.begin_texture_mode(RenderTexture())
    rl.end_texture_mode()
    rl.end_drawing()
    assert fake.calls() == [
        ("EndDrawing",), ("ClearBackground", (30, 30, 30, 255)), ("BeginDrawing",),
        ("BeginBlendMode", 2), ("BeginBlendMode", -1), ("EndBlendMode",), ("EndBlendMode",),
        ("BeginTextureMode", 9, (10, 128, 64, 1, 7), (11, 128, 64, 1, 19)),
        ("EndTextureMode",), ("EndDrawing",),
    ]


class BoolFromInt:
    def __int__(self):
        return True


class IntFails:
    def __int__(self):
        raise ZeroDivisionError("no int")


@pytest.mark.parametrize("mode, expected", [
    (0, 0), (2**31 - 1, 2**31 - 1), (-(2**31), -(2**31)), (3.9, 3), (True, 1), (-1.5, -1),
    # __int__ giving a strict int subclass: deprecated, still taken.
    pytest.param(BoolFromInt(), 1, marks=pytest.mark.filterwarnings(
        "ignore:__int__ returned non-int:DeprecationWarning")),
])
def test_blend_modes_are_32_bit_integers(rl, fake, mode, expected):
    rl.begin_blend_mode(mode)
    assert fake.calls() == [("BeginBlendMode", expected)]


@pytest.mark.parametrize("mode, error, message", [
    (2**31, OverflowError, "value too large to convert to int"),
    (-(2**31) - 1, OverflowError, "value too large to convert to int"),
    ("1", TypeError, "an integer is required"),
    (None, TypeError, "an integer is required"),
    ([], TypeError, "an integer is required"),
    (IntFails(), ZeroDivisionError, "no int"),
])
def test_bad_blend_modes(rl, fake, mode, error, message):
    with pytest.raises(error, match=f"^{message}$"):
        rl.begin_blend_mode(mode)
    assert fake.calls() == []


# ---- flip ----

class Truthy:
    def __bool__(self):
        return True


class Falsy:
    def __len__(self):
        return 0


class Broken:
    def __bool__(self):
        raise ZeroDivisionError("no truth")


@pytest.mark.parametrize("flip, flipped", [
    (0, False), ("", False), ([], False), (None, False), (False, False), (0.0, False),
    (Falsy(), False), (1, True), ("x", True), ([0], True), (object(), True), (True, True),
    (Truthy(), True), (-1, True),
])
@pytest.mark.parametrize("function", ["draw_texture_vec", "draw_texture_vec_ez",
                                      "draw_texture_qmvec", "draw_texture_qmvec_ez"])
def test_flip_is_taken_by_truth_value(rl, fake, function, flip, flipped):
    texture = Texture()
    args = {
        "draw_texture_vec": (texture, (1, 2), (1, 2, 3), flip),
        "draw_texture_vec_ez": (texture, (1, 2), flip),
        "draw_texture_qmvec": (texture, QmVector2(1, 2), QmRect(1, 2, 3, 4), flip),
        "draw_texture_qmvec_ez": (texture, QmVector2(1, 2), flip),
    }[function]
    getattr(rl, function)(*args)
    assert fake.calls()[0][2][3] == (-32.0 if flipped else 32.0)


# ---- argument checks and their order ----

TUPLE_PARAMS = [
    ("draw_texture_rec", ["texture", "source_rec", "position", "color"], [1, 2, 3]),
    ("draw_texture_rec_ez", ["texture", "source_rec", "position"], [1, 2]),
    ("draw_texture_vec", ["texture", "position", "color", "flip"], [1, 2]),
    ("draw_texture_vec_ez", ["texture", "position", "flip"], [1]),
    ("draw_texture_pro", ["texture", "source_rec", "dest_rec", "origin", "rotation", "color"],
     [1, 2, 3, 5]),
    ("clear_background", ["color"], [0]),
]

GOOD = {"texture": Texture(), "source_rec": (0, 0, 4, 4), "dest_rec": (0, 0, 8, 8),
        "position": (1, 2), "origin": (0, 0), "color": (1, 2, 3), "flip": False, "rotation": 0.0}
SHORT = {"source_rec": (0, 0, 4), "dest_rec": (0, 0, 8), "position": (1,), "origin": (0,),
         "color": (1, 2)}


def tuple_cases():
    for function, params, tuple_indexes in TUPLE_PARAMS:
        for index in tuple_indexes:
            yield pytest.param(function, params, params[index], id=f"{function}-{params[index]}")


@pytest.mark.parametrize("function, params, param", list(tuple_cases()))
def test_tuple_parameters_refuse_other_types(rl, fake, function, params, param):
    class Pair(tuple):
        pass

    for bad, type_name in ([[1, 2, 3, 4], "list"], [Pair((1, 2, 3, 4)), "Pair"]):
        args = [GOOD[name] for name in params]
        args[params.index(param)] = bad
        with pytest.raises(TypeError) as info:
            getattr(rl, function)(*args)
        assert str(info.value) == (f"Argument '{param}' has incorrect type "
                                   f"(expected tuple, got {type_name})")
    assert fake.calls() == []


@pytest.mark.parametrize("function, params, param", list(tuple_cases()))
def test_none_and_short_tuples_raise_without_calling_raylib(rl, fake, function, params, param):
    args = [GOOD[name] for name in params]
    args[params.index(param)] = None
    with pytest.raises(TypeError, match="^'NoneType' object is not subscriptable$"):
        getattr(rl, function)(*args)
    args[params.index(param)] = SHORT[param]
    with pytest.raises(IndexError, match="^tuple index out of range$"):
        getattr(rl, function)(*args)
    assert fake.calls() == []


def test_numeric_arguments_are_converted_before_the_type_checks(rl, fake):
    with pytest.raises(ZeroDivisionError):
        rl.draw_texture_vec(Texture(), [1, 2], [1, 2, 3], Broken())
    with pytest.raises(ZeroDivisionError):
        rl.draw_texture_qmvec(Texture(), (1, 2), (1, 2, 3), Broken())
    with pytest.raises(TypeError, match="must be real number, not str"):
        rl.draw_texture_pro(Texture(), [0], [0], [0], "90", [0])
    with pytest.raises(TypeError, match="Argument 'source_rec' .* got list"):
        rl.draw_texture_pro(Texture(), [0], [0], [0], 90, [0])
    with pytest.raises(TypeError, match="Argument 'dest_rec' .* got list"):
        rl.draw_texture_pro(Texture(), (0,), [0], [0], 90, [0])
    with pytest.raises(TypeError, match="Argument 'position' .* got tuple"):
        rl.draw_texture_qmvec(Texture(), (1, 2), (1, 2, 3), True)
    with pytest.raises(TypeError, match="Argument 'color' .* got tuple"):
        rl.draw_texture_qmvec(Texture(), QmVector2(1, 2), (1, 2, 3), True)
    assert fake.calls() == []


@pytest.mark.parametrize("function, args, message", [
    ("draw_texture_qmvec", (1, (1, 2), QmRect(), 0),
     f"Argument 'position' has incorrect type (expected {QMVECTOR2}, got tuple)"),
    ("draw_texture_qmvec", (1, QmVector2(), (1, 2, 3, 4), 0),
     f"Argument 'color' has incorrect type (expected {QMRECT}, got tuple)"),
    ("draw_texture_qmvec_ez", (1, [1, 2], 0),
     f"Argument 'position' has incorrect type (expected {QMVECTOR2}, got list)"),
    ("draw_texture_vec", (1, (1, 2), (1, 2, 3)),
     "draw_texture_vec() takes exactly 4 positional arguments (3 given)"),
    ("draw_texture_rec_ez", (1, (1, 2), (1, 2), (1, 2, 3)),
     "draw_texture_rec_ez() takes exactly 3 positional arguments (4 given)"),
    ("clear_background", (), "clear_background() takes exactly 1 positional argument (0 given)"),
    ("begin_drawing", (1,), "begin_drawing() takes no arguments (1 given)"),
    ("end_texture_mode", (1, 2), "end_texture_mode() takes no arguments (2 given)"),
    ("end_shader_mode", (1,), "end_shader_mode() takes no arguments (1 given)"),
    ("begin_texture_mode", (), "begin_texture_mode() takes exactly 1 positional argument "
                               "(0 given)"),
])
def test_argument_errors(rl, fake, function, args, message):
    with pytest.raises(TypeError) as info:
        getattr(rl, function)(*args)
    assert str(info.value) == message
    assert fake.calls() == []


def test_keyword_errors(rl, fake):
    with pytest.raises(TypeError, match=r"^end_drawing\(\) takes no keyword arguments$"):
        rl.end_drawing(x=1)
    with pytest.raises(TypeError, match="^clear_background\\(\\) got an unexpected keyword "
                                        "argument 'colour'$"):
        rl.clear_background((1, 2, 3), colour=(1, 2, 3))
    with pytest.raises(TypeError, match="^begin_blend_mode\\(\\) got multiple values for "
                                        "keyword argument 'mode'$"):
        rl.begin_blend_mode(1, mode=1)
    assert fake.calls() == []


# ---- QmVector2 positions and QmRect tints ----

def test_a_none_position_fails_on_x_after_the_texture_was_read(rl, fake):
    log = []

    class LoggedTexture(Texture):
        def __getattribute__(self, name):
            if not name.startswith("__"):
                log.append(name)
            return super().__getattribute__(name)

    for call in (lambda: rl.draw_texture_qmvec(LoggedTexture(), None, QmRect(), False),
                 lambda: rl.draw_texture_qmvec_ez(LoggedTexture(), None, False)):
        log.clear()
        with pytest.raises(AttributeError, match="^'NoneType' object has no attribute 'x'$"):
            call()
        assert log == ["id", "width", "height", "mipmaps", "format"]
    assert fake.calls() == []


def test_a_none_tint_is_refused_without_calling_raylib(rl, fake, entries_of):
    with base_color_restored(rl):
        with pytest.raises(TypeError, match=f"^Cannot convert NoneType to {QMRECT}$") as info:
            rl.draw_texture_qmvec(Texture(), QmVector2(1, 2), None, False)
        names = [name for name, _ in entries_of(info.value)]
        assert entry_name("c_draw_texture_qmvec") in names
        assert entry_name("draw_texture_qmvec") in names
        rl._base_color_qmvec_ez = None
        with pytest.raises(TypeError, match=f"^Cannot convert NoneType to {QMRECT}$"):
            rl.draw_texture_qmvec_ez(Texture(), QmVector2(1, 2), False)
        assert fake.calls() == []


def test_base_color_is_looked_up_on_every_call(rl, fake):
    with base_color_restored(rl):
        assert type(rl._base_color_qmvec_ez) is QmRect
        assert (rl._base_color_qmvec_ez.x, rl._base_color_qmvec_ez.y, rl._base_color_qmvec_ez.w,
                rl._base_color_qmvec_ez.h) == (255.0, 255.0, 255.0, 255.0)
        rl.draw_texture_qmvec_ez(Texture(), QmVector2(0, 0), False)
        rl._base_color_qmvec_ez = QmRect(0, 0, 0, 255)
        rl.draw_texture_qmvec_ez(Texture(), QmVector2(0, 0), False)
        rl._base_color_qmvec_ez.y = 300
        rl.draw_texture_qmvec_ez(Texture(), QmVector2(0, 0), False)
        assert [call[4] for call in fake.calls()] == [WHITE, (0, 0, 0, 255), (0, 44, 0, 255)]


def test_base_color_falls_back_to_builtins_then_raises_name_error(rl, fake):
    with base_color_restored(rl):
        del rl._base_color_qmvec_ez
        with pytest.raises(NameError, match="^name '_base_color_qmvec_ez' is not defined$"):
            rl.draw_texture_qmvec_ez(Texture(), QmVector2(0, 0), False)
        builtins._base_color_qmvec_ez = QmRect(7, 8, 9, 10)
        rl.draw_texture_qmvec_ez(Texture(), QmVector2(0, 0), False)
        assert [call[4] for call in fake.calls()] == [(7, 8, 9, 10)]


class CollidingName:
    """A key that shares the global's hash and fails every comparison."""

    def __hash__(self):
        return hash("_base_color_qmvec_ez")

    def __eq__(self, other):
        raise ZeroDivisionError("no comparison")


def test_a_failing_lookup_of_the_base_color_is_reported(rl, fake):
    key = CollidingName()
    with base_color_restored(rl):
        del rl._base_color_qmvec_ez
        vars(rl)[key] = None
        try:
            with pytest.raises(ZeroDivisionError, match="^no comparison$"):
                rl.draw_texture_qmvec_ez(Texture(), QmVector2(0, 0), False)
        finally:
            del vars(rl)[key]
        assert fake.calls() == []


@pytest.mark.parametrize("value, type_name", [(5, "int"), ((255, 255, 255, 255), "tuple"),
                                              (QmVector2(1, 2), QMVECTOR2)])
def test_base_color_of_another_type_is_refused(rl, fake, value, type_name):
    with base_color_restored(rl):
        rl._base_color_qmvec_ez = value
        with pytest.raises(TypeError, match=f"^Cannot convert {type_name} to {QMRECT}$"):
            rl.draw_texture_qmvec_ez(Texture(), QmVector2(0, 0), False)
        assert fake.calls() == []


# ---- failures, tracebacks, references ----

def test_failures_carry_the_operation_and_the_function_entries(rl, fake, entries_of):
    with pytest.raises(AttributeError) as info:
        rl.draw_texture_rec(object(), (0, 0, 1, 1), (0, 0), (1, 2, 3))
    entries = entries_of(info.value)
    names = [name for name, _ in entries]
    assert names[-2:] == [entry_name("draw_texture_rec"), entry_name("c_draw_texture_rec")]
    assert {file for name, file in entries if name.startswith("quelm_ui.")} == \
        {"src/quelm_ui/fast/raylib/quelm_raylib"}
    with pytest.raises(TypeError) as info:
        rl.draw_texture_rec(Texture(), [0], (0, 0), (1, 2, 3))
    assert [name for name, _ in entries_of(info.value)][-1] == entry_name("draw_texture_rec")
    assert fake.calls() == []


def test_arguments_keep_their_reference_counts(rl, fake):
    texture, source, position, color = Texture(), (0, 0, 4, 4), (1, 2), (1, 2, 3)
    vector, rect = QmVector2(1, 2), QmRect(1, 2, 3, 4)
    objects = (texture, source, position, color, vector, rect, rl._base_color_qmvec_ez)
    # Earlier tests' garbage (tracebacks' frames) may hold the shared tuple constants: collected
    # now, not in the middle of the count.
    gc.collect()
    before = [sys.getrefcount(obj) for obj in objects]
    for _ in range(20):
        rl.draw_texture_rec(texture, source, position, color)
        rl.draw_texture_qmvec(texture, vector, rect, True)
        rl.draw_texture_qmvec_ez(texture, vector, True)
        rl.draw_texture_pro(texture, source, source, position, 1.0, color)
        with pytest.raises(IndexError):
            rl.draw_texture_rec(texture, source, position, (1,))
        with pytest.raises(TypeError):
            rl.draw_texture_qmvec(texture, vector, None, True)
    assert len(fake.calls()) == 80
    assert [sys.getrefcount(obj) for obj in objects] == before
