"""The exported native entry points: __pyx_capi__'s entries, order and signature texts, and every
entry point driven natively by the consumer test bed (quelm_ui_testbeds.native_consumer), which
binds them by name and text as another extension module does and checks the error indicator
after each call."""

from __future__ import annotations

import ctypes
import struct

import pytest

from bridge_fakes import RenderTexture, Shader, Texture, entry_name, f32, unbound_message
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmrendertex.qm_render_tex import QmRenderTexture
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui_testbeds import native_consumer

# The entries in table order with the signature texts the toolkit's modules are built against.
EXPORTS = [
    ('begin_qmshader_mode',
     'PyObject *(struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *)'),
    ('get_qmshader_location',
     'int (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, PyObject *, int __pyx_skip_dispatch)'),
    ('c_clear_background',
     'void (PyObject *)'),
    ('c_draw_texture_rec',
     'void (PyObject *, PyObject *, PyObject *, PyObject *)'),
    ('c_draw_texture_pro',
     'void (PyObject *, PyObject *, PyObject *, PyObject *, float, PyObject *)'),
    ('draw_texture_pro',
     'void (PyObject *, PyObject *, PyObject *, PyObject *, float, PyObject *, int __pyx_skip_dispatch)'),
    ('draw_texture_rec',
     'void (PyObject *, PyObject *, PyObject *, PyObject *, int __pyx_skip_dispatch)'),
    ('c_draw_texture_vec',
     'void (PyObject *, PyObject *, PyObject *, int)'),
    ('draw_texture_vec',
     'void (PyObject *, PyObject *, PyObject *, int, int __pyx_skip_dispatch)'),
    ('begin_texture_mode',
     'void (PyObject *, int __pyx_skip_dispatch)'),
    ('clear_background',
     'void (PyObject *, int __pyx_skip_dispatch)'),
    ('init_raylib_pointers',
     'void (PyObject *, int __pyx_skip_dispatch)'),
    ('c_draw_texture_qmvec',
     'void (PyObject *, struct __pyx_obj_8quelm_ui_4fast_9qmvector2_9qmvector2_QmVector2 *, struct __pyx_obj_8quelm_ui_4fast_6qmrect_6qmrect_QmRect *, int)'),
    ('begin_drawing',
     'void (int __pyx_skip_dispatch)'),
    ('end_blend_mode',
     'void (int __pyx_skip_dispatch)'),
    ('end_drawing',
     'void (int __pyx_skip_dispatch)'),
    ('end_shader_mode',
     'void (int __pyx_skip_dispatch)'),
    ('end_texture_mode',
     'void (int __pyx_skip_dispatch)'),
    ('begin_blend_mode',
     'void (int, int __pyx_skip_dispatch)'),
    ('c_draw_qmtexture_qmvec',
     'void (struct __pyx_obj_8quelm_ui_4fast_11qmrendertex_13qm_render_tex_QmRenderTexture *, struct __pyx_obj_8quelm_ui_4fast_9qmvector2_9qmvector2_QmVector2 *, struct __pyx_obj_8quelm_ui_4fast_6qmrect_6qmrect_QmRect *, int)'),
    ('qm_clear_background',
     'void (struct __pyx_obj_8quelm_ui_4fast_6qmrect_6qmrect_QmRect *)'),
    ('set_qmshader_value_vec2_tuple',
     'void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, PyObject *, int __pyx_skip_dispatch)'),
    ('set_qmshader_value_vec4_tuple',
     'void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, PyObject *, int __pyx_skip_dispatch)'),
    ('set_qmshader_value',
     'void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, PyObject *, int, int __pyx_skip_dispatch)'),
    ('set_qmshader_value_float',
     'void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, float, int __pyx_skip_dispatch)'),
    ('set_qmshader_value_int',
     'void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, int, int __pyx_skip_dispatch)'),
    ('set_qmshader_value_vec4_v',
     'void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, std::vector<Vector4> , int __pyx_skip_dispatch)'),
    ('set_qmshader_value_float_v',
     'void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, std::vector<float> , int __pyx_skip_dispatch)'),
    ('set_qmshader_value_vec2_qmvec',
     'void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, struct __pyx_obj_8quelm_ui_4fast_9qmvector2_9qmvector2_QmVector2 *, int __pyx_skip_dispatch)'),
    ('c_clear_background_blank',
     'void (void)'),
]

QM = QmShader(4, 0x2000)
QM_RECORD = (4, 0x2000)
TEX = Texture()
TEX_RECORD = TEX.record()


def capsule_name(capsule) -> str:
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype = ctypes.c_char_p
    get_name.argtypes = [ctypes.py_object]
    return get_name(capsule).decode()


def capsule_pointer(capsule) -> int:
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    return get_pointer(capsule, capsule_name(capsule).encode())


def test_pyx_capi_holds_the_thirty_entries_in_order_named_by_their_signatures(rl):
    capi = rl.__pyx_capi__
    assert type(capi) is dict
    assert list(capi) == [name for name, _ in EXPORTS]
    assert [capsule_name(capi[name]) for name, _ in EXPORTS] == [text for _, text in EXPORTS]
    pointers = [capsule_pointer(capi[name]) for name, _ in EXPORTS]
    assert all(pointers) and len(set(pointers)) == 30


def test_the_consumer_binds_every_entry_in_table_order():
    assert native_consumer.entry_names() == [name for name, _ in EXPORTS]


@pytest.mark.parametrize("name, text, error", [
    ("draw_texture_rec", "void (PyObject *, PyObject *, PyObject *, PyObject *)", TypeError),
    ("set_qmshader_value_float_v", "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader"
     "_QmShader *, int, std::vector<float>, int __pyx_skip_dispatch)", TypeError),
    ("draw_texture_qmvec", "void (void)", KeyError),
])
def test_binding_with_another_signature_or_name_fails(name, text, error):
    with pytest.raises(error):
        native_consumer.bind_with_signature(name, text)
    assert native_consumer.bind_with_signature("c_clear_background_blank", "void (void)") is True


# ---- every entry point through the consumer ----

RT = RenderTexture()
RT_CALL = ("BeginTextureMode", 9, (10, 128, 64, 1, 7), (11, 128, 64, 1, 19))


def floats(*values) -> bytes:
    return struct.pack(f"<{len(values)}f", *values)


# (entry, arguments, the calls raylib receives)
NATIVE_CALLS = [
    ("begin_qmshader_mode", (QM,), [("BeginShaderMode", QM_RECORD)]),
    ("c_clear_background", ((1, 2, 3),), [("ClearBackground", (1, 2, 3, 255))]),
    ("c_draw_texture_rec", (TEX, (0, 0, 8, 8), (1, 2), (1, 2, 3, 4)),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 8.0, 8.0), (1.0, 2.0), (1, 2, 3, 4))]),
    ("draw_texture_rec", (TEX, (0, 0, 8, 8), (1, 2), (1, 2, 3, 4)),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 8.0, 8.0), (1.0, 2.0), (1, 2, 3, 4))]),
    ("c_draw_texture_pro", (TEX, (0, 0, 8, 8), (1, 2, 3, 4), (5, 6), 0.1, (1, 2, 3)),
     [("DrawTexturePro", TEX_RECORD, (0.0, 0.0, 8.0, 8.0), (1.0, 2.0, 3.0, 4.0), (5.0, 6.0),
       f32(0.1), (1, 2, 3, 255))]),
    ("draw_texture_pro", (TEX, (0, 0, 8, 8), (1, 2, 3, 4), (5, 6), -90, (1, 2, 3)),
     [("DrawTexturePro", TEX_RECORD, (0.0, 0.0, 8.0, 8.0), (1.0, 2.0, 3.0, 4.0), (5.0, 6.0),
       -90.0, (1, 2, 3, 255))]),
    ("c_draw_texture_vec", (TEX, (1, 2), (1, 2, 3), 1),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 64.0, -32.0), (1.0, 2.0), (1, 2, 3, 255))]),
    ("draw_texture_vec", (TEX, (1, 2), (1, 2, 3), 0),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 64.0, 32.0), (1.0, 2.0), (1, 2, 3, 255))]),
    ("begin_texture_mode", (RT,), [RT_CALL]),
    ("clear_background", ((1, 2, 3, 4),), [("ClearBackground", (1, 2, 3, 4))]),
    ("c_draw_texture_qmvec", (TEX, QmVector2(10, 20), QmRect(1, 2, 3, 4), 2),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 64.0, -32.0), (f32(10.01), f32(20.01)),
       (1, 2, 3, 4))]),
    ("begin_drawing", (), [("BeginDrawing",)]),
    ("end_blend_mode", (), [("EndBlendMode",)]),
    ("end_drawing", (), [("EndDrawing",)]),
    ("end_shader_mode", (), [("EndShaderMode",)]),
    ("end_texture_mode", (), [("EndTextureMode",)]),
    ("begin_blend_mode", (3,), [("BeginBlendMode", 3)]),
    ("c_draw_qmtexture_qmvec",
     (QmRenderTexture(RenderTexture(texture=Texture(21, 16, 8))), QmVector2(1, 2),
      QmRect(5, 6, 7, 8), 0),
     [("DrawTextureRec", (21, 16, 8, 1, 7), (0.0, 0.0, 16.0, 8.0), (f32(1.01), f32(2.01)),
       (5, 6, 7, 8))]),
    ("qm_clear_background", (QmRect(1, 2, 300, -1),), [("ClearBackground", (1, 2, 44, 255))]),
    ("set_qmshader_value_vec2_tuple", (QM, 1, (1, 2)),
     [("SetShaderValue", QM_RECORD, 1, floats(1, 2), 1)]),
    ("set_qmshader_value_vec4_tuple", (QM, 1, (1, 2, 3, 4)),
     [("SetShaderValue", QM_RECORD, 1, floats(1, 2, 3, 4), 3)]),
    ("set_qmshader_value", (QM, 1, (7, -1), 5),
     [("SetShaderValue", QM_RECORD, 1, struct.pack("<2i", 7, -1), 5)]),
    ("set_qmshader_value_float", (QM, 1, 0.1),
     [("SetShaderValue", QM_RECORD, 1, floats(f32(0.1)), 0)]),
    ("set_qmshader_value_int", (QM, 1, -7),
     [("SetShaderValue", QM_RECORD, 1, struct.pack("<i", -7), 4)]),
    ("set_qmshader_value_vec4_v", (QM, 1, [(1, 2, 3, 4), (5, 6, 7, 8)]),
     [("SetShaderValueV", QM_RECORD, 1, floats(1, 2, 3, 4, 5, 6, 7, 8), 3, 2)]),
    ("set_qmshader_value_float_v", (QM, 1, [1.0, 2.0, 3.0]),
     [("SetShaderValueV", QM_RECORD, 1, floats(1, 2, 3), 0, 3)]),
    ("set_qmshader_value_vec2_qmvec", (QM, 1, QmVector2(10, 20)),
     [("SetShaderValue", QM_RECORD, 1, floats(10, 20), 1)]),
    ("c_clear_background_blank", (), [("ClearBackground", (0, 0, 0, 0))]),
]
NATIVE_IDS = [name for name, _, _ in NATIVE_CALLS]


def test_every_entry_but_two_is_driven_here():
    assert sorted({name for name, _ in EXPORTS} - set(NATIVE_IDS)) == [
        "get_qmshader_location", "init_raylib_pointers"]


@pytest.mark.parametrize("name, args, expected", NATIVE_CALLS, ids=NATIVE_IDS)
def test_each_entry_point_makes_its_raylib_call(fake, name, args, expected):
    assert native_consumer.call(name, *args) is None
    assert fake.calls() == expected


@pytest.mark.parametrize("name, args, expected", NATIVE_CALLS, ids=NATIVE_IDS)
def test_a_null_slot_leaves_the_error_pending_in_the_entry_point(rl, fake, entries_of, name,
                                                                 args, expected):
    raylib = expected[0][0]
    rl.init_raylib_pointers({raylib: 0})
    with pytest.raises(RuntimeError, match=unbound_message(raylib)) as info:
        native_consumer.call(name, *args)
    assert fake.calls() == []
    assert [entry for entry, _ in entries_of(info.value)][-1].startswith(
        "quelm_ui.fast.raylib.quelm_raylib.")


LOCATION_CALL = ("get_qmshader_location", (QM, "time"), [("GetShaderLocation",)])


@pytest.mark.parametrize("name, args, expected", NATIVE_CALLS + [LOCATION_CALL],
                         ids=NATIVE_IDS + ["get_qmshader_location"])
def test_an_exception_left_by_raylib_fails_the_entry_point(fake, name, args, expected):
    raylib = expected[0][0]
    fake.set_location(b"time", 8)
    fake.raise_in(raylib)
    with pytest.raises(ValueError, match=f"^raised inside {raylib}$"):
        native_consumer.call(name, *args)
    assert [call[0] for call in fake.calls()] == [raylib]


def test_native_entry_points_match_their_python_functions(rl, fake):
    native_consumer.call("draw_texture_rec", TEX, (0, 0, 8, 8), (1, 2), (1, 2, 3))
    rl.draw_texture_rec(TEX, (0, 0, 8, 8), (1, 2), (1, 2, 3))
    native_consumer.call("set_qmshader_value", QM, 2, (1, 2, 3), -4)
    rl.set_qmshader_value(QM, 2, (1, 2, 3), -4)
    native_consumer.call("begin_texture_mode", RT)
    rl.begin_texture_mode(RT)
    calls = fake.calls()
    assert calls[0] == calls[1] and calls[2] == calls[3] and calls[4] == calls[5]


def test_get_qmshader_location_answers_minus_one_without_an_error(fake):
    fake.set_location(b"time", 8)
    assert native_consumer.call("get_qmshader_location", QM, "time") == 8
    assert native_consumer.call("get_qmshader_location", QM, "missing") == -1
    with pytest.raises(AttributeError, match="^'NoneType' object has no attribute 'encode'$"):
        native_consumer.call("get_qmshader_location", QM, None)
    with pytest.raises(TypeError, match="Cannot convert NoneType to"):
        native_consumer.call("get_qmshader_location", None, "time")
    assert fake.calls() == [("GetShaderLocation", QM_RECORD, b"time"),
                            ("GetShaderLocation", QM_RECORD, b"missing")]


@pytest.mark.parametrize("name, args, error, message", [
    ("begin_qmshader_mode", (None,), TypeError,
     "Cannot convert NoneType to quelm_ui.fast.qmshader.qmshader.QmShader"),
    ("set_qmshader_value_float_v", (None, 1, [1.0]), TypeError,
     "Cannot convert NoneType to quelm_ui.fast.qmshader.qmshader.QmShader"),
    ("qm_clear_background", (None,), TypeError,
     "Cannot convert NoneType to quelm_ui.fast.qmrect.qmrect.QmRect"),
    ("c_draw_texture_qmvec", (TEX, QmVector2(), None, 0), TypeError,
     "Cannot convert NoneType to quelm_ui.fast.qmrect.qmrect.QmRect"),
    ("c_draw_texture_qmvec", (TEX, None, QmRect(), 0), AttributeError,
     "'NoneType' object has no attribute 'x'"),
    ("c_draw_qmtexture_qmvec", (None, QmVector2(), QmRect(), 0), TypeError,
     "Cannot convert NoneType to quelm_ui.fast.qmrendertex.qm_render_tex.QmRenderTexture"),
    ("c_draw_qmtexture_qmvec", (QmRenderTexture(None), QmVector2(), QmRect(), 0), AttributeError,
     "'NoneType' object has no attribute 'texture'"),
    ("c_draw_texture_rec", (TEX, [0, 0, 1, 1], (0, 0), (1, 2, 3)), TypeError,
     "Expected tuple, got list"),
    ("c_clear_background", (None,), TypeError, "'NoneType' object is not subscriptable"),
    ("clear_background", ((1, 2),), IndexError, "tuple index out of range"),
    ("set_qmshader_value", (QM, 1, [1.0], 0), TypeError, "Expected tuple, got list"),
    ("set_qmshader_value_vec2_tuple", (QM, 1, None), TypeError,
     "'NoneType' object is not subscriptable"),
    ("init_raylib_pointers", (None,), TypeError, "'NoneType' object is not iterable"),
    ("init_raylib_pointers", ([],), TypeError, "Expected dict, got list"),
    ("begin_texture_mode", (object(),), AttributeError, "'object' object has no attribute 'id'"),
])
def test_native_failures_stay_pending_and_nothing_is_drawn(fake, entries_of, name, args, error,
                                                           message):
    with pytest.raises(error) as info:
        native_consumer.call(name, *args)
    assert str(info.value) == message
    assert fake.calls() == []
    assert entry_name(name) in [entry for entry, _ in entries_of(info.value)]


def test_begin_qmshader_mode_returns_none(fake):
    assert native_consumer.call("begin_qmshader_mode", QM) is None


def test_init_raylib_pointers_natively(rl, fake):
    native_consumer.call("init_raylib_pointers", {"EndDrawing": 0})
    with pytest.raises(RuntimeError, match=unbound_message("EndDrawing")):
        rl.end_drawing()
    native_consumer.call("init_raylib_pointers", {"EndDrawing": fake.addresses()["EndDrawing"]})
    rl.end_drawing()
    assert fake.calls() == [("EndDrawing",)]


def test_empty_native_arrays_make_no_call(fake):
    native_consumer.call("set_qmshader_value_float_v", QM, 1, [])
    native_consumer.call("set_qmshader_value_vec4_v", QM, 1, [])
    assert fake.calls() == []


def test_a_frame_step_made_only_of_native_calls(fake):
    native_consumer.draw_native(TEX, 10.0, 20.0, 1, 2, 300, 4, 1)
    assert fake.calls() == [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 64.0, -32.0),
                             (f32(10.01), f32(20.01)), (1, 2, 44, 4))]
