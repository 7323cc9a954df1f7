"""Shader mode and uniforms through the bridge, with a real shader program.

The fragment shader paints every pixel from its uniforms (which ones is chosen by `u_mode`), so
the colour read back shows what value reached the GPU. Both families are used: the plain one
with a view of the binding's `Shader` (its `locs` pointer as an address), and the `QmShader` one
with a `QmShader` built from the same id and address.
"""

from __future__ import annotations

import pytest

from pixels import Target, assert_region, footprint
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

FRAGMENT = b"""#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
out vec4 finalColor;
uniform int u_mode;
uniform float u_float;
uniform vec2 u_vec2;
uniform vec4 u_vec4;
uniform ivec2 u_ivec2;
uniform float u_floats[3];
uniform vec4 u_vec4s[2];
void main() {
    if (u_mode == 0) finalColor = vec4(u_float, u_vec2, 1.0);
    else if (u_mode == 1) finalColor = u_vec4;
    else if (u_mode == 2) finalColor = vec4(vec2(u_ivec2) / 255.0, 0.0, 1.0);
    else if (u_mode == 3) finalColor = vec4(u_floats[0], u_floats[1], u_floats[2], 1.0);
    else if (u_mode == 4) finalColor = u_vec4s[1];
    else finalColor = vec4(1.0, 0.0, 1.0, 1.0);
}
"""

UNIFORMS = ("u_mode", "u_float", "u_vec2", "u_vec4", "u_ivec2", "u_floats", "u_vec4s")


class ShaderView:
    """The binding's `Shader` as the toolkit hands it over: `id`, and `locs` as an address.

    (The binding's own `locs` is a cffi pointer, which has no integer conversion.)
    """

    def __init__(self, shader, ffi) -> None:
        self.id = shader.id
        self.locs = int(ffi.cast("uintptr_t", shader.locs))


@pytest.fixture(scope="session")
def shader(raylib_session):
    rl, ffi = raylib_session.rl, raylib_session.ffi
    loaded = rl.LoadShaderFromMemory(ffi.NULL, FRAGMENT)
    assert rl.IsShaderValid(loaded), "the test shader did not compile"
    locations = {name: rl.GetShaderLocation(loaded, name.encode()) for name in UNIFORMS}
    assert all(loc >= 0 for loc in locations.values()), locations
    yield loaded, locations
    rl.UnloadShader(loaded)


@pytest.fixture
def shaders(raylib_session, shader):
    """(raw binding shader, plain-family view, QmShader, uniform locations), uniforms zeroed."""
    rl, ffi = raylib_session.rl, raylib_session.ffi
    raw, locations = shader
    view = ShaderView(raw, ffi)
    qm = QmShader(view.id, view.locs)
    # Start every test from zeroed uniforms, set through raylib itself, so that a colour read
    # back can only come from what the bridge passed on.
    zeros = ffi.new("float[8]")
    izeros = ffi.new("int[2]")
    consts = raylib_session.consts
    rl.SetShaderValue(raw, locations["u_mode"], izeros, consts.SHADER_UNIFORM_INT)
    rl.SetShaderValue(raw, locations["u_float"], zeros, consts.SHADER_UNIFORM_FLOAT)
    rl.SetShaderValue(raw, locations["u_vec2"], zeros, consts.SHADER_UNIFORM_VEC2)
    rl.SetShaderValue(raw, locations["u_vec4"], zeros, consts.SHADER_UNIFORM_VEC4)
    rl.SetShaderValue(raw, locations["u_ivec2"], izeros, consts.SHADER_UNIFORM_IVEC2)
    rl.SetShaderValueV(raw, locations["u_floats"], zeros, consts.SHADER_UNIFORM_FLOAT, 3)
    rl.SetShaderValueV(raw, locations["u_vec4s"], zeros, consts.SHADER_UNIFORM_VEC4, 2)
    return raw, view, qm, locations


@pytest.mark.parametrize("name", UNIFORMS + ("u_floats[1]", "not_a_uniform", "u_float\0tail"))
@pytest.mark.parametrize("family", ["plain", "qmshader"])
def test_shader_location(bridge, raylib_session, shaders, family, name):
    raw, view, qm, _ = shaders
    expected = raylib_session.rl.GetShaderLocation(raw, name.split("\0")[0].encode())
    if family == "plain":
        found = bridge.get_shader_location(view, name)
    else:
        found = bridge.get_qmshader_location(qm, name)
    assert found == expected
    if name == "not_a_uniform":
        assert found == -1


def shaded_colour(bridge, target, texture, shader_object):
    """Draw `texture` over the whole target in shader mode and return the pixel colours."""
    bridge.begin_texture_mode(target.render_texture)
    bridge.clear_background((0, 0, 0, 255))
    bridge.begin_shader_mode(shader_object)
    bridge.draw_texture_pro(texture, (0, 0, 8, 8), (0, 0, target.width, target.height),
                            (0, 0), 0.0, (255, 255, 255, 255))
    bridge.end_shader_mode()
    # After end_shader_mode raylib's default shader is back: this strip keeps its texture colour.
    bridge.draw_texture_vec(texture, (0, 0), (10, 20, 30), False)
    bridge.end_texture_mode()
    return target.pixels()


def _setters(b, loc, view, qm):
    """name -> (function setting the uniforms, u_mode, expected RGBA)."""
    c51_102_153 = (51, 102, 153, 255)
    return {
        # plain family, the binding's shader seen through `view`
        "float+vec2_tuple": (lambda: (b.set_shader_value_float(view, loc["u_float"], 0.2),
                                      b.set_shader_value_vec2_tuple(view, loc["u_vec2"], (0.4, 0.6))),
                             0, c51_102_153),
        # no +0.01 for uniforms: 0.41 would read as 105 in green
        "float+vec2_qmvec": (lambda: (b.set_shader_value_float(view, loc["u_float"], 0.2),
                                      b.set_shader_value_vec2_qmvec(view, loc["u_vec2"],
                                                                    QmVector2(0.4, 0.6))),
                             0, c51_102_153),
        "vec4_tuple": (lambda: b.set_shader_value_vec4_tuple(view, loc["u_vec4"], (0.2, 0.4, 0.6, 1.0)),
                       1, c51_102_153),
        # a fifth item is ignored
        "generic_vec4": (lambda: b.set_shader_value(view, loc["u_vec4"], (0.2, 0.4, 0.6, 1.0, 9.0), 3),
                         1, c51_102_153),
        "generic_vec2": (lambda: (b.set_shader_value(view, loc["u_float"], (0.6,), 0),
                                  b.set_shader_value(view, loc["u_vec2"], (0.2, 1), 1)),
                         0, (153, 51, 255, 255)),
        "generic_ivec2": (lambda: b.set_shader_value(view, loc["u_ivec2"], (51, 204), 5),
                          2, (51, 204, 0, 255)),
        # QmShader family
        "qm_float+vec2_tuple": (lambda: (b.set_qmshader_value_float(qm, loc["u_float"], 0.2),
                                         b.set_qmshader_value_vec2_tuple(qm, loc["u_vec2"], (0.4, 0.6))),
                                0, c51_102_153),
        "qm_float+vec2_qmvec": (lambda: (b.set_qmshader_value_float(qm, loc["u_float"], 0.2),
                                         b.set_qmshader_value_vec2_qmvec(qm, loc["u_vec2"],
                                                                         QmVector2(0.4, 0.6))),
                                0, c51_102_153),
        "qm_vec4_tuple": (lambda: b.set_qmshader_value_vec4_tuple(qm, loc["u_vec4"], (0.2, 0.4, 0.6, 1)),
                          1, c51_102_153),
        "qm_generic_vec4": (lambda: b.set_qmshader_value(qm, loc["u_vec4"], (0.6, 0.4, 0.2, 1.0), 3),
                            1, (153, 102, 51, 255)),
        # integers cut to their low 32 bits
        "qm_generic_ivec2": (lambda: b.set_qmshader_value(qm, loc["u_ivec2"], (2**32 + 51, 204), 5),
                             2, (51, 204, 0, 255)),
        "qm_float_v_list": (lambda: b.set_qmshader_value_float_v(qm, loc["u_floats"], [0.2, 0.4, 0.6]),
                            3, c51_102_153),
        "qm_float_v_generator": (lambda: b.set_qmshader_value_float_v(
            qm, loc["u_floats"], (x / 10 for x in (2, 4, 6))), 3, c51_102_153),
        "qm_vec4_v": (lambda: b.set_qmshader_value_vec4_v(
            qm, loc["u_vec4s"], [{"x": 1.0, "y": 1.0, "z": 1.0, "w": 1.0},
                                 {"w": 1.0, "z": 0.6, "y": 0.4, "x": 0.2}]), 4, c51_102_153),
    }


SETTER_NAMES = list(_setters(None, {}, None, None))


@pytest.mark.parametrize("mode_family", ["plain", "qmshader"])
@pytest.mark.parametrize("setter", SETTER_NAMES)
def test_uniforms_reach_the_shader(bridge, raylib_session, shaders, textures, setter, mode_family):
    _, view, qm, loc = shaders
    set_values, mode, expected = _setters(bridge, loc, view, qm)[setter]
    if mode_family == "plain":
        bridge.set_shader_value(view, loc["u_mode"], (mode,), 4)
    else:
        bridge.set_qmshader_value_int(qm, loc["u_mode"], mode)
    set_values()
    target = Target(raylib_session, 32, 24)
    try:
        pixels = shaded_colour(bridge, target, textures["white"], view)
    finally:
        target.unload()
    assert_region(pixels, (8, 0, 24, 24), expected, tolerance=1)
    assert_region(pixels, (0, 8, 8, 16), expected, tolerance=1)
    assert_region(pixels, (0, 0, 8, 8), (10, 20, 30, 255))


def test_failed_uniform_conversion_changes_nothing(bridge, raylib_session, shaders, textures):
    _, view, qm, loc = shaders
    bridge.set_qmshader_value_int(qm, loc["u_mode"], 1)
    bridge.set_qmshader_value_vec4_tuple(qm, loc["u_vec4"], (0.2, 0.4, 0.6, 1.0))
    with pytest.raises(TypeError):
        bridge.set_shader_value_vec4_tuple(view, loc["u_vec4"], (1.0, 1.0, "x", 1.0))
    with pytest.raises(TypeError):
        bridge.set_qmshader_value(qm, loc["u_vec4"], (1, 2, 3, 4.5), 5)  # float as an integer
    with pytest.raises(ValueError, match="No value specified for struct attribute 'z'"):
        bridge.set_qmshader_value_vec4_v(qm, loc["u_vec4s"], [{"x": 1, "y": 1, "w": 1}])
    bridge.set_qmshader_value_float_v(qm, loc["u_floats"], [])  # empty: raylib not called
    target = Target(raylib_session, 32, 24)
    try:
        pixels = shaded_colour(bridge, target, textures["white"], view)
    finally:
        target.unload()
    assert_region(pixels, (8, 0, 24, 24), (51, 102, 153, 255), tolerance=1)


def test_binding_shader_without_address_is_rejected(bridge, raylib_session, shaders, textures):
    raw, view, _, _ = shaders
    # The binding's `locs` is a cffi pointer without an integer value: refused before raylib
    # sees a shader record, so the frame continues with the default shader.
    target = Target(raylib_session, 32, 24)
    try:
        bridge.begin_texture_mode(target.render_texture)
        bridge.clear_background((0, 0, 0))
        with pytest.raises(TypeError):
            bridge.begin_shader_mode(raw)
        bridge.draw_texture_vec(textures["white"], (0, 0), (1, 2, 3), False)
        bridge.end_texture_mode()
        pixels = target.pixels()
    finally:
        target.unload()
    assert footprint(pixels, (0, 0, 0, 255)) == (0, 0, 8, 8)
    assert_region(pixels, (0, 0, 8, 8), (1, 2, 3, 255))
