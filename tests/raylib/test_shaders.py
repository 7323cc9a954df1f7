"""Shader mode, uniform locations and uniform values for both shader families: the bytes raylib
receives, packing rules, argument checks and failures that must leave raylib uncalled."""

from __future__ import annotations

import struct

import pytest

from bridge_fakes import Shader, f32
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

QMSHADER = f"{QmShader.__module__}.{QmShader.__name__}"
PLAIN = Shader(5, 0x1000)
PLAIN_RECORD = (5, 0x1000)
QM = QmShader(4, 0x2000)
QM_RECORD = (4, 0x2000)


def floats(*values) -> bytes:
    return struct.pack(f"<{len(values)}f", *values)


def ints(*values) -> bytes:
    return struct.pack(f"<{len(values)}i", *values)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


FAMILIES = [pytest.param("set_shader_value", PLAIN, PLAIN_RECORD, id="plain"),
            pytest.param("set_qmshader_value", QM, QM_RECORD, id="qmshader")]


# ---- shader mode ----

def test_shader_mode(rl, fake):
    rl.begin_shader_mode(PLAIN)
    rl.end_shader_mode()
    rl.end_shader_mode()
    assert fake.calls() == [("BeginShaderMode", PLAIN_RECORD), ("EndShaderMode",),
                            ("EndShaderMode",)]


# ---- generic uniforms ----

@pytest.mark.parametrize("function, shader, record", FAMILIES)
@pytest.mark.parametrize("value, uniform_type, data", [
    ((0.5, 0.25), 1, floats(0.5, 0.25)),
    ((1, 2, 3, 4, 5), 3, floats(1, 2, 3, 4)),
    ((0.1,), 0, floats(f32(0.1))),
    ((7, -1), 5, ints(7, -1)),
    ((7, -1), -1, ints(7, -1, 0, 0)),
    ((2**32 + 3, 2**31, -(2**31) - 1, True), 7, ints(3, -(2**31), 2**31 - 1, 1)),
    ((Index(9),), 4, ints(9)),
    ((Index(9), 2.5), 2, floats(9, 2.5, 0)),
    ((1e40, -1e40), 1, floats(float("inf"), float("-inf"))),
])
def test_generic_uniforms_pack_floats_for_types_0_to_3_and_ints_otherwise(
        rl, fake, function, shader, record, value, uniform_type, data):
    getattr(rl, function)(shader, 3, value, uniform_type)
    assert fake.calls() == [("SetShaderValue", record, 3, data, uniform_type)]


@pytest.mark.parametrize("function, shader, record", FAMILIES)
@pytest.mark.parametrize("value, uniform_type, data", [
    ((1.0,), 3, floats(1, 0, 0, 0)),
    ((), 3, floats(0, 0, 0, 0)),
    ((2,), 2, floats(2, 0, 0)),
    ((7,), 7, ints(7, 0, 0, 0)),
    ((7,), 99, ints(7, 0, 0, 0)),
])
def test_unfilled_uniform_slots_are_zero(rl, fake, function, shader, record, value,
                                         uniform_type, data):
    # Leave garbage on the stack where the buffer will live, then set a short value.
    getattr(rl, function)(shader, 1, (-1.5, -1.5, -1.5, -1.5), 3)
    getattr(rl, function)(shader, 1, value, uniform_type)
    assert fake.calls()[1] == ("SetShaderValue", record, 1, data, uniform_type)


@pytest.mark.parametrize("function, shader, record", FAMILIES)
@pytest.mark.parametrize("value, uniform_type, error, message", [
    ((1.5,), 4, TypeError, "'float' object cannot be interpreted as an integer"),
    ((1, "2"), 5, TypeError, "'str' object cannot be interpreted as an integer"),
    ((1, 2**64), 6, OverflowError, None),
    (("a",), 0, TypeError, "must be real number, not str"),
    ((1.0, None), 3, TypeError, "must be real number, not NoneType"),
    (None, 3, TypeError, "'NoneType' object is not subscriptable"),
])
def test_an_item_that_fails_to_convert_stops_the_call(rl, fake, function, shader, record, value,
                                                      uniform_type, error, message):
    with pytest.raises(error) as info:
        getattr(rl, function)(shader, 1, value, uniform_type)
    if message:
        assert str(info.value) == message
    assert fake.calls() == []


@pytest.mark.parametrize("function, shader, record", FAMILIES)
def test_generic_argument_checks(rl, fake, function, shader, record):
    f = getattr(rl, function)
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        f(shader, 2**31, (1,), 0)
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        f(shader, 0, (1,), -(2**31) - 1)
    with pytest.raises(TypeError, match="^an integer is required$"):
        f(shader, "1", (1,), 0)
    with pytest.raises(TypeError, match=r"^Argument 'value' has incorrect type "
                                        r"\(expected tuple, got list\)$"):
        f(shader, 1, [1.0], 0)
    # Integer conversions run before the tuple check.
    with pytest.raises(TypeError, match="^an integer is required$"):
        f(shader, 1, [1.0], None)
    with pytest.raises(TypeError, match=rf"^{function}\(\) takes exactly 4 positional "
                                        r"arguments \(3 given\)$"):
        f(shader, 1, (1.0,))
    f(shader=shader, loc_index=2.9, value=(1.0,), uniform_type=0.5)
    assert fake.calls() == [("SetShaderValue", record, 2, floats(1.0), 0)]


# ---- fixed-kind uniforms ----

def test_single_values(rl, fake):
    rl.set_shader_value_float(PLAIN, 1, 0.1)
    rl.set_qmshader_value_float(QM, 2, 7)
    rl.set_qmshader_value_int(QM, 3, -5)
    rl.set_qmshader_value_int(QM, 4, 3.9)
    assert fake.calls() == [
        ("SetShaderValue", PLAIN_RECORD, 1, floats(f32(0.1)), 0),
        ("SetShaderValue", QM_RECORD, 2, floats(7.0), 0),
        ("SetShaderValue", QM_RECORD, 3, ints(-5), 4),
        ("SetShaderValue", QM_RECORD, 4, ints(3), 4),
    ]


def test_single_values_are_converted_before_the_shader_is_read(rl, fake):
    with pytest.raises(TypeError, match="must be real number, not str"):
        rl.set_shader_value_float(object(), 1, "0.5")
    with pytest.raises(AttributeError, match="id"):
        rl.set_shader_value_float(object(), 1, 0.5)
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        rl.set_qmshader_value_int("not a shader", 1, 2**31)
    with pytest.raises(TypeError, match="^an integer is required$"):
        rl.set_qmshader_value_int(QM, 1, "3")
    assert fake.calls() == []


@pytest.mark.parametrize("name, shader, record", [
    ("set_shader_value_vec2_qmvec", PLAIN, PLAIN_RECORD),
    ("set_qmshader_value_vec2_qmvec", QM, QM_RECORD),
])
def test_vec2_from_qmvector2_has_no_offset(rl, fake, name, shader, record):
    getattr(rl, name)(shader, 6, QmVector2(10, 20))
    getattr(rl, name)(shader, 6, QmVector2(0.1, -1e40))
    with pytest.raises(AttributeError, match="^'NoneType' object has no attribute 'x'$"):
        getattr(rl, name)(shader, 6, None)
    with pytest.raises(TypeError, match=r"Argument 'value' has incorrect type \(expected "
                                        r"quelm_ui.fast.qmvector2.qmvector2.QmVector2, got tuple"):
        getattr(rl, name)(shader, 6, (10, 20))
    assert fake.calls() == [
        ("SetShaderValue", record, 6, floats(10, 20), 1),
        ("SetShaderValue", record, 6, floats(f32(0.1), float("-inf")), 1),
    ]


@pytest.mark.parametrize("name, shader, record, size, uniform_type", [
    ("set_shader_value_vec2_tuple", PLAIN, PLAIN_RECORD, 2, 1),
    ("set_qmshader_value_vec2_tuple", QM, QM_RECORD, 2, 1),
    ("set_shader_value_vec4_tuple", PLAIN, PLAIN_RECORD, 4, 3),
    ("set_qmshader_value_vec4_tuple", QM, QM_RECORD, 4, 3),
])
def test_vector_tuples(rl, fake, name, shader, record, size, uniform_type):
    f = getattr(rl, name)
    f(shader, 1, (0.5, 1.5, 2.5, 3.5, 4.5))
    with pytest.raises(TypeError):
        f(shader, 1, ("a", 1, 2, 3))
    with pytest.raises(IndexError, match="^tuple index out of range$"):
        f(shader, 1, (1,) * (size - 1))
    with pytest.raises(TypeError, match="^'NoneType' object is not subscriptable$"):
        f(shader, 1, None)
    with pytest.raises(TypeError, match=r"^Argument 'value' has incorrect type "
                                        r"\(expected tuple, got list\)$"):
        f(shader, 1, [1, 2, 3, 4])
    assert fake.calls() == [
        ("SetShaderValue", record, 1, floats(0.5, 1.5, 2.5, 3.5)[:4 * size], uniform_type)]


# ---- the QmShader family's shader argument ----

QM_FUNCTIONS = [
    ("get_qmshader_location", ("u",)),
    ("set_qmshader_value", (1, (1.0,), 0)),
    ("set_qmshader_value_float", (1, 1.0)),
    ("set_qmshader_value_int", (1, 1)),
    ("set_qmshader_value_vec2_qmvec", (1, QmVector2(1, 2))),
    ("set_qmshader_value_vec2_tuple", (1, (1, 2))),
    ("set_qmshader_value_vec4_tuple", (1, (1, 2, 3, 4))),
    ("set_qmshader_value_vec4_v", (1, [dict(x=1, y=2, z=3, w=4)])),
    ("set_qmshader_value_float_v", (1, [1.0])),
]


@pytest.mark.parametrize("name, rest", QM_FUNCTIONS, ids=[name for name, _ in QM_FUNCTIONS])
def test_the_qmshader_family_takes_only_qmshader_or_none(rl, fake, name, rest):
    with pytest.raises(TypeError) as info:
        getattr(rl, name)(PLAIN, *rest)
    assert str(info.value) == (f"Argument 'shader' has incorrect type "
                               f"(expected {QMSHADER}, got Shader)")
    with pytest.raises(TypeError, match=f"^Cannot convert NoneType to {QMSHADER}$"):
        getattr(rl, name)(None, *rest)
    assert fake.calls() == []


# ---- arrays ----

def generate(values):
    yield from values


class Hinted:
    """An iterable whose length hint lies."""

    def __init__(self, values, hint):
        self.values, self.hint = values, hint

    def __iter__(self):
        return iter(self.values)

    def __length_hint__(self):
        return self.hint


# Factories, so that every run of a test gets a fresh iterator.
@pytest.mark.parametrize("make", [
    lambda v: list(v), lambda v: tuple(v), lambda v: generate(v), lambda v: iter(v),
    lambda v: Hinted(v, 10**12), lambda v: Hinted(v, 0), lambda v: dict.fromkeys(v),
], ids=["list", "tuple", "generator", "iterator", "hint-too-large", "hint-too-small", "dict"])
def test_float_arrays_from_any_iterable(rl, fake, make):
    rl.set_qmshader_value_float_v(QM, 7, make([0.5, 1, 2.25]))
    assert fake.calls() == [("SetShaderValueV", QM_RECORD, 7, floats(0.5, 1, 2.25), 0, 3)]


def test_float_array_elements_narrow(rl, fake):
    rl.set_qmshader_value_float_v(QM, 7, [0.1, Index(3), True, 1e40])
    assert fake.calls() == [
        ("SetShaderValueV", QM_RECORD, 7, floats(f32(0.1), 3, 1, float("inf")), 0, 4)]


@pytest.mark.parametrize("name", ["set_qmshader_value_float_v", "set_qmshader_value_vec4_v"])
@pytest.mark.parametrize("make", [list, tuple, generate, dict.fromkeys],
                         ids=["list", "tuple", "generator", "dict"])
def test_empty_arrays_make_no_call(rl, fake, name, make):
    assert getattr(rl, name)(QM, 1, make([])) is None
    assert fake.calls() == []


def generate_then_fail(values):
    yield from values
    raise ZeroDivisionError("generator failed")


class HintFails:
    def __iter__(self):
        return iter([1.0])

    def __length_hint__(self):
        raise ZeroDivisionError("no hint")


FLOAT_V, VEC4_V = "set_qmshader_value_float_v", "set_qmshader_value_vec4_v"
VEC4 = dict(x=1, y=2, z=3, w=4)


@pytest.mark.parametrize("name, make, error, message", [
    (FLOAT_V, lambda: [1.0, "a"], TypeError, "must be real number, not str"),
    (FLOAT_V, lambda: None, TypeError, "'NoneType' object is not iterable"),
    (FLOAT_V, lambda: 5, TypeError, "'int' object is not iterable"),
    (FLOAT_V, lambda: generate([1.0, None]), TypeError, "must be real number, not NoneType"),
    (FLOAT_V, HintFails, ZeroDivisionError, "no hint"),
    (FLOAT_V, lambda: generate_then_fail([1.0]), ZeroDivisionError, "generator failed"),
    (VEC4_V, lambda: 5, TypeError, "'int' object is not iterable"),
    (VEC4_V, lambda: (VEC4, 5), TypeError, "Expected a mapping, got int"),
    (VEC4_V, lambda: generate([VEC4, 5]), TypeError, "Expected a mapping, got int"),
    (VEC4_V, HintFails, ZeroDivisionError, "no hint"),
    (VEC4_V, lambda: generate_then_fail([VEC4]), ZeroDivisionError, "generator failed"),
], ids=["list", "none", "int", "generator", "hint", "generator fails", "vec4 int", "vec4 tuple",
        "vec4 generator", "vec4 hint", "vec4 generator fails"])
def test_bad_float_arrays(rl, fake, name, make, error, message):
    with pytest.raises(error, match=f"^{message}$"):
        getattr(rl, name)(QM, 1, make())
    assert fake.calls() == []


def test_a_list_emptied_while_it_is_converted(rl, fake):
    values = []

    class Shrinking:
        def __float__(self):
            values.clear()
            return 2.0

    values.extend([1.0, Shrinking(), 3.0, 4.0])
    rl.set_qmshader_value_float_v(QM, 1, values)
    assert fake.calls() == [("SetShaderValueV", QM_RECORD, 1, floats(1, 2), 0, 2)]


def test_vec4_arrays_from_mappings(rl, fake):
    class Mapping:
        def __init__(self, **items):
            self.items = items

        def __getitem__(self, key):
            return self.items[key]

        def keys(self):
            return self.items.keys()

    values = [dict(x=1, y=2, z=3, w=4, extra="ignored"), Mapping(x=0.1, y=-1, z=Index(2), w=1e40)]
    rl.set_qmshader_value_vec4_v(QM, 2, values)
    rl.set_qmshader_value_vec4_v(QM, 3, generate([dict(w=8, z=7, y=6, x=5)]))
    assert fake.calls() == [
        ("SetShaderValueV", QM_RECORD, 2,
         floats(1, 2, 3, 4, f32(0.1), -1, 2, float("inf")), 3, 2),
        ("SetShaderValueV", QM_RECORD, 3, floats(5, 6, 7, 8), 3, 1),
    ]


def test_vec4_keys_are_all_looked_up_before_any_value_converts(rl, fake):
    log = []

    class Value:
        def __init__(self, key):
            self.key = key

        def __float__(self):
            log.append(("float", self.key))
            return 1.0

    class Logged(dict):
        def __getitem__(self, key):
            log.append(("get", key))
            return super().__getitem__(key)

    rl.set_qmshader_value_vec4_v(QM, 1, [Logged({k: Value(k) for k in "wzyx"})])
    assert log == [("get", k) for k in "xyzw"] + [("float", k) for k in "xyzw"]


class Raising:
    def __getitem__(self, key):
        raise RuntimeError(f"lookup of {key}")

    def keys(self):
        return []


@pytest.mark.parametrize("element, error, message", [
    (dict(x=1, y=2, w=4), ValueError, "No value specified for struct attribute 'z'"),
    ({}, ValueError, "No value specified for struct attribute 'x'"),
    ([1, 2, 3, 4], TypeError, "list indices must be integers or slices, not str"),
    (5, TypeError, "Expected a mapping, got int"),
    (None, TypeError, "Expected a mapping, got NoneType"),
    (Raising(), RuntimeError, "lookup of x"),
    (dict(x=1, y=2, z="3", w=4), TypeError, "must be real number, not str"),
])
def test_bad_vec4_elements(rl, fake, element, error, message):
    with pytest.raises(error) as info:
        rl.set_qmshader_value_vec4_v(QM, 1, [dict(x=0, y=0, z=0, w=0), element])
    assert str(info.value) == message
    assert fake.calls() == []


def test_arrays_are_converted_before_the_shader_is_checked(rl, fake):
    with pytest.raises(TypeError, match="^Expected a mapping, got int$"):
        rl.set_qmshader_value_vec4_v(PLAIN, 1, [1])
    with pytest.raises(TypeError, match="^must be real number, not str$"):
        rl.set_qmshader_value_float_v(PLAIN, 1, ["x"])
    with pytest.raises(OverflowError):
        rl.set_qmshader_value_float_v(QM, 2**40, ["x"])
    assert fake.calls() == []


# ---- uniform locations ----

@pytest.mark.parametrize("function, shader, record", [
    ("get_shader_location", PLAIN, PLAIN_RECORD), ("get_qmshader_location", QM, QM_RECORD)])
def test_locations(rl, fake, function, shader, record):
    f = getattr(rl, function)
    fake.set_location(b"time", 3)
    fake.set_location("h\u00e9llo \u2603".encode(), 12)
    assert f(shader, "time") == 3
    assert f(shader, "unknown") == -1
    assert f(shader, name="h\u00e9llo \u2603") == 12
    assert f(shader, "time\0ignored") == 3
    assert fake.calls() == [
        ("GetShaderLocation", record, b"time"),
        ("GetShaderLocation", record, b"unknown"),
        ("GetShaderLocation", record, "h\u00e9llo \u2603".encode()),
        ("GetShaderLocation", record, b"time"),
    ]


@pytest.mark.parametrize("function, shader", [
    ("get_shader_location", PLAIN), ("get_qmshader_location", QM)])
def test_bad_location_names(rl, fake, function, shader):
    f = getattr(rl, function)
    with pytest.raises(AttributeError, match="^'NoneType' object has no attribute 'encode'$"):
        f(shader, None)
    with pytest.raises(UnicodeEncodeError):
        f(shader, "lone \ud800 surrogate")
    with pytest.raises(TypeError, match=r"^Argument 'name' has incorrect type "
                                        r"\(expected str, got bytes\)$"):
        f(shader, b"time")

    class Name(str):
        pass

    with pytest.raises(TypeError, match="expected str, got Name"):
        f(shader, Name("time"))
    assert fake.calls() == []


def test_the_shader_is_read_before_the_name(rl, fake):
    with pytest.raises(AttributeError, match="^id$|'id'"):
        rl.get_shader_location(object(), None)
    with pytest.raises(OverflowError, match="size_t"):
        rl.get_shader_location(Shader(1, -1), None)
    with pytest.raises(TypeError, match=f"^Cannot convert NoneType to {QMSHADER}$"):
        rl.get_qmshader_location(None, None)
    assert fake.calls() == []
