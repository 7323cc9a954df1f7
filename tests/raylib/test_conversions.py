"""The conversions from toolkit and binding objects into raylib's records, checked on what the
fake raylib received, field by field, after 32-bit narrowing."""

from __future__ import annotations

import pytest

from bridge_fakes import RenderTexture, Shader, Texture, f32
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

TEX = Texture()


class Float:
    """A number through __float__ only, logging each conversion."""

    def __init__(self, value, log=None, name=None):
        self.value, self.log, self.name = value, log, name

    def __float__(self):
        if self.log is not None:
            self.log.append(self.name)
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Recorded:
    """A binding object whose attribute reads are logged; missing names raise AttributeError."""

    def __init__(self, log, **attrs):
        self._log, self._attrs = log, attrs

    def __getattr__(self, name):
        self._log.append(name)
        try:
            return self._attrs[name]
        except KeyError:
            raise AttributeError(name) from None


# ---- colours from tuples ----

@pytest.mark.parametrize("color, expected", [
    ((10, 20, 30), (10, 20, 30, 255)),
    ((10.7, 20, 30, 128.9), (10, 20, 30, 128)),
    ((256, -1, 0), (0, 255, 0, 255)),
    ((1, 2, 3, 4, "ignored"), (1, 2, 3, 4)),
    ((255.9, -0.9, 511, -256), (255, 0, 255, 0)),
    ((-1.5, -129, 1000, 0.5), (255, 127, 232, 0)),
    ((True, Index(7), Float(8.9)), (1, 7, 8, 255)),
    ((2**31 - 1, -(2**31), 0), (255, 0, 0, 255)),
])
def test_colour_tuples_truncate_and_keep_the_low_eight_bits(rl, fake, color, expected):
    rl.clear_background(color)
    assert fake.calls() == [("ClearBackground", expected)]


@pytest.mark.parametrize("component", [2**31, 1e10, -1e10, -(2**31) - 1, float("nan")])
def test_colour_components_beyond_32_bits_wrap_like_the_processor(rl, fake, component):
    # Out-of-range truncation gives INT32_MIN, whose low eight bits are 0.
    rl.clear_background((component, 1, 2, component))
    assert fake.calls() == [("ClearBackground", (0, 1, 2, 0))]


def test_every_colour_item_is_converted_and_the_last_failure_wins(rl, fake):
    log = []
    color = (Float(ValueError("first"), log, 0), Float(1.0, log, 1),
             Float(KeyError("last"), log, 2), Float(2.0, log, 3))
    with pytest.raises(KeyError, match="last"):
        rl.clear_background(color)
    assert log == [0, 1, 2, 3]
    with pytest.raises(TypeError, match="NoneType"):
        rl.clear_background(("a", None, 3))
    with pytest.raises(TypeError, match="str"):
        rl.clear_background((None, "a", 3))
    assert fake.calls() == []


@pytest.mark.parametrize("color, error, message", [
    ((1, 2), IndexError, "tuple index out of range"),
    ((), IndexError, "tuple index out of range"),
    (None, TypeError, "'NoneType' object is not subscriptable"),
])
def test_short_or_none_colours_fail_before_reading_items(rl, fake, color, error, message):
    with pytest.raises(error, match=f"^{message}$"):
        rl.clear_background(color)
    log = []
    with pytest.raises(IndexError):
        rl.clear_background((Float(1.0, log, 0), Float(2.0, log, 1)))
    assert log == []
    assert fake.calls() == []


# ---- colours from QmRect ----

@pytest.mark.parametrize("rect, expected", [
    ((1, 2, 3, 4), (1, 2, 3, 4)),
    ((255, 255, 255, 255), (255, 255, 255, 255)),
    ((255.9, 256, -1, 300.5), (255, 0, 255, 44)),
    ((1e10, -1e10, 0.99, -0.99), (0, 0, 0, 0)),
])
def test_qmrect_colours_read_x_y_w_h_as_rgba(rl, fake, rect, expected):
    rl.draw_texture_qmvec(TEX, QmVector2(0, 0), QmRect(*rect), False)
    assert fake.calls()[0][4] == expected


# ---- positions and rectangles ----

@pytest.mark.parametrize("x, y", [
    (10, 20), (0.0, -0.01), (-5.5, 1e-9), (16777216.0, 1e30), (0.1, 0.7), (2**40, -(2**40)),
])
def test_qmvector2_positions_add_001_as_doubles_then_narrow(rl, fake, x, y):
    rl.draw_texture_qmvec(TEX, QmVector2(x, y), QmRect(1, 1, 1, 1), False)
    assert fake.calls()[0][3] == (f32(x + 0.01), f32(y + 0.01))


def test_qmvector2_position_10_20(rl, fake):
    rl.draw_texture_qmvec(TEX, QmVector2(10, 20), QmRect(1, 1, 1, 1), False)
    position = fake.calls()[0][3]
    assert position == (f32(10.01), f32(20.01)) and position != (10.01, 20.01)


@pytest.mark.parametrize("position, expected", [
    ((10, 20), (10.0, 20.0)),
    ((0.1, -2.5, "ignored"), (f32(0.1), -2.5)),
    ((1e40, -1e40), (float("inf"), float("-inf"))),
    ((Index(3), Float(4.5)), (3.0, 4.5)),
])
def test_tuple_positions_narrow_without_offset(rl, fake, position, expected):
    rl.draw_texture_rec(TEX, (0, 0, 1, 1), position, (1, 2, 3))
    assert fake.calls()[0][3] == expected


@pytest.mark.parametrize("rect, expected", [
    ((0, 0, 16, 16), (0.0, 0.0, 16.0, 16.0)),
    ((0.1, 0.2, 0.3, 0.4, 99), (f32(0.1), f32(0.2), f32(0.3), f32(0.4))),
    ((-1, 2**24 + 1, 1e-50, True), (-1.0, float(2**24), 0.0, 1.0)),
])
def test_rectangle_tuples(rl, fake, rect, expected):
    rl.draw_texture_rec(TEX, rect, (0, 0), (1, 2, 3))
    assert fake.calls()[0][2] == expected


@pytest.mark.parametrize("call", [
    lambda rl: rl.draw_texture_rec(TEX, (0, 10**400, 1, 1), (0, 0), (1, 2, 3)),
    lambda rl: rl.draw_texture_rec(TEX, (0, 0, 1, 1), (-10**400, 0), (1, 2, 3)),
    lambda rl: rl.clear_background((1, 10**400, 3)),
    lambda rl: rl.set_qmshader_value_vec4_tuple(QmShader(4, 0x2000), 1, (0, 0, 10**400, 0)),
], ids=["rectangle", "position", "colour", "shader value"])
def test_an_int_too_large_for_a_double_fails_the_conversion(rl, fake, call):
    with pytest.raises(OverflowError, match="^int too large to convert to float$"):
        call(rl)
    assert fake.calls() == []


def test_the_first_failing_rectangle_item_stops_the_conversion(rl, fake):
    log = []
    rect = (Float(1.0, log, 0), Float(ValueError("bad"), log, 1), Float(3.0, log, 2),
            Float(4.0, log, 3))
    with pytest.raises(ValueError, match="bad"):
        rl.draw_texture_rec(TEX, rect, (0, 0), (1, 2, 3))
    assert log == [0, 1]
    with pytest.raises(TypeError):
        rl.draw_texture_rec(TEX, (0, "a", 0, 0), (0, 0), (1, 2, 3))
    assert fake.calls() == []


# ---- textures ----

def test_texture_attributes_are_read_in_order(rl, fake):
    log = []
    texture = Recorded(log, id=1, width=2, height=3, mipmaps=4, format=5)
    rl.draw_texture_rec(texture, (0, 0, 1, 1), (0, 0), (1, 2, 3))
    assert log == ["id", "width", "height", "mipmaps", "format"]
    assert fake.calls()[0][1] == (1, 2, 3, 4, 5)


def test_a_missing_texture_attribute_stops_the_read(rl, fake):
    log = []
    texture = Recorded(log, id=1, width=2, height=3, format=5)
    with pytest.raises(AttributeError, match="mipmaps"):
        rl.draw_texture_rec(texture, (0, 0, 1, 1), (0, 0), (1, 2, 3))
    assert log == ["id", "width", "height", "mipmaps"]
    assert fake.calls() == []


@pytest.mark.parametrize("fields, error, message", [
    ({"id": -1}, OverflowError, "can't convert negative value to unsigned int"),
    ({"id": 2**32}, OverflowError, "value too large to convert to unsigned int"),
    ({"id": 2**64}, OverflowError, "Python int too large to convert to C unsigned long"),
    ({"id": "1"}, TypeError, "an integer is required"),
    ({"width": 2**31}, OverflowError, "value too large to convert to int"),
    ({"height": -(2**31) - 1}, OverflowError, "value too large to convert to int"),
    ({"mipmaps": "1"}, TypeError, "an integer is required"),
    ({"format": None}, TypeError, "an integer is required"),
])
def test_bad_texture_values(rl, fake, fields, error, message):
    texture = Texture()
    texture.__dict__.update(fields)
    with pytest.raises(error, match=f"^{message}$"):
        rl.draw_texture_rec(texture, (0, 0, 1, 1), (0, 0), (1, 2, 3))
    assert fake.calls() == []


def test_texture_values_go_through_int(rl, fake):
    texture = Texture(id=2**32 - 1, width=64.9, height=-(2**31), mipmaps=True, format=Index(3))
    texture.format = type("IntOnly", (), {"__int__": lambda self: 3})()
    rl.draw_texture_rec(texture, (0, 0, 1, 1), (0, 0), (1, 2, 3))
    assert fake.calls()[0][1] == (2**32 - 1, 64, -(2**31), 1, 3)


# ---- render textures ----

def test_render_texture_reads_id_texture_then_depth(rl, fake):
    log = []
    inner = Recorded(log, id=10, width=128, height=64, mipmaps=1, format=7)
    depth = Recorded(log, id=11, width=128, height=64, mipmaps=1, format=19)
    rl.begin_texture_mode(Recorded(log, id=9, texture=inner, depth=depth))
    fields = ["id", "width", "height", "mipmaps", "format"]
    assert log == ["id", "texture", *fields, "depth", *fields]
    assert fake.calls() == [("BeginTextureMode", 9, (10, 128, 64, 1, 7), (11, 128, 64, 1, 19))]


def test_a_render_texture_without_depth_is_not_drawn_into(rl, fake):
    log = []
    inner = Recorded(log, id=10, width=128, height=64, mipmaps=1, format=7)
    with pytest.raises(AttributeError, match="depth"):
        rl.begin_texture_mode(Recorded(log, id=9, texture=inner))
    assert log[:2] == ["id", "texture"] and log[-1] == "depth"
    with pytest.raises(OverflowError, match="^can't convert negative value to unsigned int$"):
        rl.begin_texture_mode(RenderTexture(id=-1))
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        rl.begin_texture_mode(RenderTexture(depth=Texture(width=2**31)))
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        rl.begin_texture_mode(RenderTexture(texture=Texture(height=2**31)))
    with pytest.raises(AttributeError, match="texture"):
        rl.begin_texture_mode(Recorded([], id=9))
    assert fake.calls() == []


# ---- shaders ----

@pytest.mark.parametrize("shader, expected", [
    (Shader(5, 0x1000), (5, 0x1000)),
    (Shader(0, 0), (0, 0)),
    (Shader(2**32 - 1, 2**64 - 1), (2**32 - 1, 2**64 - 1)),
    (Shader(7.9, Index(16)), None),
])
def test_shader_records_from_id_and_locs(rl, fake, shader, expected):
    if expected is None:
        shader.locs = type("IntOnly", (), {"__int__": lambda self: 16})()
        expected = (7, 16)
    rl.begin_shader_mode(shader)
    assert fake.calls() == [("BeginShaderMode", expected)]


def test_shader_id_is_read_before_locs(rl, fake):
    log = []
    rl.begin_shader_mode(Recorded(log, id=1, locs=2))
    assert log == ["id", "locs"]
    log.clear()
    with pytest.raises(AttributeError, match="id"):
        rl.begin_shader_mode(Recorded(log, locs=2))
    assert log == ["id"]
    assert fake.calls() == [("BeginShaderMode", (1, 2))]


@pytest.mark.parametrize("shader, error, message", [
    (Shader(-1, 0), OverflowError, "can't convert negative value to unsigned int"),
    (Shader(2**32, 0), OverflowError, "value too large to convert to unsigned int"),
    (Shader(1, -1), OverflowError, "can't convert negative value to size_t"),
    (Shader(1, 2**64), OverflowError, None),
    (Shader(1, "0x10"), TypeError, "an integer is required"),
    (Recorded([], id=1), AttributeError, None),
])
def test_bad_shader_values(rl, fake, shader, error, message):
    with pytest.raises(error) as info:
        rl.begin_shader_mode(shader)
    if message:
        assert str(info.value) == message
    assert fake.calls() == []
