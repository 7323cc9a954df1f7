"""Binding-side stand-ins and helpers shared by the bridge tests."""

from __future__ import annotations

import struct

# The entry-table keys in slot order.
SLOT_KEYS = (
    "DrawTextureRec",
    "DrawTexturePro",
    "BeginBlendMode",
    "EndBlendMode",
    "BeginTextureMode",
    "EndTextureMode",
    "ClearBackground",
    "BeginShaderMode",
    "EndShaderMode",
    "SetShaderValue",
    "GetShaderLocation",
    "BeginDrawing",
    "EndDrawing",
    "SetShaderValueV",
)


def f32(value: float) -> float:
    """`value` narrowed to a 32-bit float (round to nearest), as a Python float."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


class Texture:
    """A binding texture: the five attributes the bridge reads."""

    def __init__(self, id=3, width=64, height=32, mipmaps=1, format=7):
        self.id, self.width, self.height, self.mipmaps, self.format = (
            id, width, height, mipmaps, format)

    def record(self) -> tuple:
        return (self.id, self.width, self.height, self.mipmaps, self.format)


class RenderTexture:
    def __init__(self, id=9, texture=None, depth=None):
        self.id = id
        self.texture = texture if texture is not None else Texture(10, 128, 64, 1, 7)
        self.depth = depth if depth is not None else Texture(11, 128, 64, 1, 19)


class Shader:
    def __init__(self, id=5, locs=0x1000):
        self.id, self.locs = id, locs


def python_calls() -> list[tuple[str, tuple, str]]:
    """One well-formed call of every Python-visible function that reaches raylib:
    (function name, arguments, the raylib function it calls)."""
    from quelm_ui.fast.qmrect.qmrect import QmRect
    from quelm_ui.fast.qmshader.qmshader import QmShader
    from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

    tex, shader, qmshader = Texture(), Shader(), QmShader(4, 0x2000)
    src, pos, color = (0, 0, 8, 8), (1, 2), (1, 2, 3)
    return [
        ("draw_texture_rec", (tex, src, pos, color), "DrawTextureRec"),
        ("draw_texture_rec_ez", (tex, src, pos), "DrawTextureRec"),
        ("draw_texture_vec", (tex, pos, color, False), "DrawTextureRec"),
        ("draw_texture_vec_ez", (tex, pos, True), "DrawTextureRec"),
        ("draw_texture_qmvec", (tex, QmVector2(1, 2), QmRect(1, 2, 3, 4), False),
         "DrawTextureRec"),
        ("draw_texture_qmvec_ez", (tex, QmVector2(1, 2), False), "DrawTextureRec"),
        ("draw_texture_pro", (tex, src, (0, 0, 16, 16), (0, 0), 0.0, color), "DrawTexturePro"),
        ("clear_background", (color,), "ClearBackground"),
        ("begin_drawing", (), "BeginDrawing"),
        ("end_drawing", (), "EndDrawing"),
        ("begin_blend_mode", (1,), "BeginBlendMode"),
        ("end_blend_mode", (), "EndBlendMode"),
        ("begin_texture_mode", (RenderTexture(),), "BeginTextureMode"),
        ("end_texture_mode", (), "EndTextureMode"),
        ("begin_shader_mode", (shader,), "BeginShaderMode"),
        ("end_shader_mode", (), "EndShaderMode"),
        ("get_shader_location", (shader, "u"), "GetShaderLocation"),
        ("get_qmshader_location", (qmshader, "u"), "GetShaderLocation"),
        ("set_shader_value", (shader, 1, (1.0,), 0), "SetShaderValue"),
        ("set_qmshader_value", (qmshader, 1, (1.0,), 0), "SetShaderValue"),
        ("set_shader_value_float", (shader, 1, 0.5), "SetShaderValue"),
        ("set_qmshader_value_float", (qmshader, 1, 0.5), "SetShaderValue"),
        ("set_qmshader_value_int", (qmshader, 1, 5), "SetShaderValue"),
        ("set_shader_value_vec2_qmvec", (shader, 1, QmVector2(1, 2)), "SetShaderValue"),
        ("set_qmshader_value_vec2_qmvec", (qmshader, 1, QmVector2(1, 2)), "SetShaderValue"),
        ("set_shader_value_vec2_tuple", (shader, 1, (1, 2)), "SetShaderValue"),
        ("set_qmshader_value_vec2_tuple", (qmshader, 1, (1, 2)), "SetShaderValue"),
        ("set_shader_value_vec4_tuple", (shader, 1, (1, 2, 3, 4)), "SetShaderValue"),
        ("set_qmshader_value_vec4_tuple", (qmshader, 1, (1, 2, 3, 4)), "SetShaderValue"),
        ("set_qmshader_value_vec4_v", (qmshader, 1, [dict(x=1, y=2, z=3, w=4)]),
         "SetShaderValueV"),
        ("set_qmshader_value_float_v", (qmshader, 1, [1.0]), "SetShaderValueV"),
    ]


def unbound_message(raylib_name: str) -> str:
    return f"raylib function {raylib_name} is not bound: call init_raylib_pointers first"


def entry_name(function: str) -> str:
    return f"quelm_ui.fast.raylib.quelm_raylib.{function}"
