"""The shipped .pxd declarations of qmvector2, zdispatch and quelm_raylib, proven by a Cython
consumer (consumer.pyx) compiled against them: its import runs Cython's size, method-table and
signature checks against the installed modules, and it calls every table slot and every
exported entry point once."""

from __future__ import annotations

import importlib
import importlib.util
import struct
import sys
import warnings
from pathlib import Path

import pytest

from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmrendertex.qm_render_tex import QmRenderTexture
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2 import qmvector2
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.raylib import quelm_raylib
from quelm_ui.fast.zsystem import zdispatch
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem
from quelm_ui_testbeds import fake_raylib

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[2]

_spec = importlib.util.spec_from_file_location("qm_bridge_fakes",
                                               REPO / "tests" / "raylib" / "bridge_fakes.py")
fakes = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(fakes)


@pytest.fixture(scope="module")
def consumer(cybuild):
    """Built once (cached across sessions); imported with warnings as errors, so a record larger
    than its declaration fails like a smaller one."""
    root = cybuild.build("pxd_consumer", {"qm_pxd_consumer": HERE / "consumer.pyx"},
                         include_path=[REPO / "src", REPO / "tests" / "cython" / "siblings"],
                         cplus=True)
    sys.path.insert(0, str(root))
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            return importlib.import_module("qm_pxd_consumer")
    finally:
        sys.path.remove(str(root))


@pytest.mark.parametrize("module", [qmvector2, zdispatch, quelm_raylib],
                         ids=lambda module: module.__name__.rpartition(".")[2])
def test_declarations_are_installed_next_to_their_module(module):
    installed = Path(module.__file__).with_name(module.__name__.rpartition(".")[2] + ".pxd")
    source = REPO / "src" / installed.relative_to(Path(module.__file__).parents[3])
    assert installed.read_bytes() == source.read_bytes()


def test_import_binds_every_record_table_and_export(consumer):
    assert consumer.record_sizes() == {"QmVector2": QmVector2.__basicsize__,
                                       "ZRequest": ZRequest.__basicsize__,
                                       "ZSystem": ZSystem.__basicsize__}
    assert list(consumer.ENTRIES) == list(quelm_raylib.__pyx_capi__)


# ---- QmVector2: a = (1.5, -2.5), b = (0.25, 4.0) ----

VECTOR_SLOTS = [
    ("new", (1.5, -2.5)),
    ("cfrom_list", (3.0, 4.5)),
    ("cfrom_ints", (7.0, -8.0)),
    ("cfrom_floats", (fakes.f32(0.1), fakes.f32(0.2))),
    ("cfrom_tuple", (5.0, 6.0)),
    ("cfrom_qmvector2", ((1.5, -2.5), False)),
    ("cfrom_xy", (0.25, 4.0)),
    ("c_get_int_tuple", (2, -2)),
    ("_add", (1.75, 1.5)),
    ("_sub", (1.25, -6.5)),
    ("_iadd", (1.75, 1.5)),
    ("_isub", (1.25, -6.5)),
    ("_imul", (0.375, -10.0)),
    ("_sadd", (1.75, 1.5)),
    ("copy", ((1.5, -2.5), False)),
    ("sadd", (1.25, 5.0)),
]


@pytest.fixture(scope="module")
def vector_results(consumer):
    return consumer.vector_slots()


@pytest.mark.parametrize("slot, expected", VECTOR_SLOTS, ids=[s for s, _ in VECTOR_SLOTS])
def test_each_vector_slot_computes_its_result(vector_results, slot, expected):
    assert vector_results[slot] == expected


# ---- ZRequest and ZSystem: two owners overlapping at (7, 7), the second one on top ----

class Owner(QuelmCobject):
    pass


class Scene:
    def __init__(self, consumer):
        self.log = []
        self.owners = [Owner(QmRect(0, 0, 10, 10), 1), Owner(QmRect(5.9, 5, 10, 10), 2)]
        self.requests = [self.request(consumer, name, owner)
                         for name, owner in zip(("first", "second"), self.owners)]
        self.system = ZSystem()
        self.out = consumer.system_slots(self.system, *self.requests, QmVector2(7, 7), self.log)

    def request(self, consumer, name, owner):
        def callback(event):
            return lambda: self.log.append(f"{event} {name}")
        events = ("hover", "unhover", "click", "keyup", "keyup_abandon", "scroll")
        return consumer.request_slots(owner, *map(callback, events))[0]


@pytest.fixture(scope="module")
def scene(consumer):
    return Scene(consumer)


def test_request_slots_store_each_argument_in_its_field(consumer):
    owner = Owner()
    callbacks = [object() for _ in range(6)]
    request, fields, link = consumer.request_slots(owner, *callbacks)
    hover, unhover, click, keyup, keyup_abandon, scroll = callbacks
    assert type(request) is ZRequest and link is owner
    assert fields == (owner, hover, unhover, click, scroll, keyup, keyup_abandon)


SYSTEM_SLOTS = [
    ("c_mark_dirty", lambda s: True),
    ("_reset_arrays", lambda s: (([], [], True), (0, 4), (0,))),
    ("add", lambda s: (s.requests, True)),
    ("_rebuild_arrays", lambda s: (([[0, 0, 10, 10], [5, 5, 10, 10]], [1, 2], True), s.requests)),
    ("mark_dirty", lambda s: (None, True)),
    ("get_active_requests", lambda s: s.requests),
    ("cycle", lambda s: (None, ["hover second", "click second"])),
    ("request_cycle", lambda s: s.requests[1]),
]


@pytest.mark.parametrize("slot, expected", SYSTEM_SLOTS, ids=[s for s, _ in SYSTEM_SLOTS])
def test_each_system_slot_does_its_work(scene, slot, expected):
    assert scene.out[slot] == expected(scene)


def test_cpdef_slots_pass_the_dispatch_flag_so_python_overrides_run(consumer, scene):
    seen = []

    class Overriding(ZSystem):
        def add(self, z_request):
            seen.append(z_request)

        def mark_dirty(self):
            return "overridden"

    system = Overriding()
    consumer.system_add(system, scene.requests[0])
    assert seen == [scene.requests[0]] and system.get_active_requests() == []
    assert consumer.system_mark_dirty(system) == "overridden"


# ---- quelm_raylib's exports over the recording fake raylib ----

@pytest.fixture
def fake(consumer):
    """Every slot of the bridge null, then bound by the consumer's own init_raylib_pointers: the
    calls below reach raylib only through the entry point bound from the .pxd."""
    null = dict.fromkeys(fakes.SLOT_KEYS, 0)
    quelm_raylib.init_raylib_pointers(null)
    fake_raylib.clear()
    consumer.call("init_raylib_pointers", fake_raylib.addresses())
    yield fake_raylib
    pending = fake_raylib.calls_with_pending_error()
    fake_raylib.clear()
    quelm_raylib.init_raylib_pointers(null)
    assert pending == 0


def floats(*values) -> bytes:
    return struct.pack(f"<{len(values)}f", *values)


QM, QM_RECORD = QmShader(4, 0x2000), (4, 0x2000)
SET_AT_1 = ("SetShaderValue", QM_RECORD, 1)  # SetShaderValue of QM at location 1
TEX = fakes.Texture()
TEX_RECORD = TEX.record()
f32 = fakes.f32

EXPORT_CALLS = [
    ("begin_qmshader_mode", (QM,), [("BeginShaderMode", QM_RECORD)]),
    ("get_qmshader_location", (QM, "u"), [("GetShaderLocation", QM_RECORD, b"u")]),
    ("c_clear_background", ((1, 2, 3),), [("ClearBackground", (1, 2, 3, 255))]),
    ("c_draw_texture_rec", (TEX, (0, 0, 8, 8), (1, 2), (1, 2, 3, 4)),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 8.0, 8.0), (1.0, 2.0), (1, 2, 3, 4))]),
    ("c_draw_texture_pro", (TEX, (0, 0, 8, 8), (1, 2, 3, 4), (5, 6), 0.1, (1, 2, 3)),
     [("DrawTexturePro", TEX_RECORD, (0.0, 0.0, 8.0, 8.0), (1.0, 2.0, 3.0, 4.0), (5.0, 6.0),
       f32(0.1), (1, 2, 3, 255))]),
    ("draw_texture_pro", (TEX, (0, 0, 8, 8), (1, 2, 3, 4), (5, 6), -90, (1, 2, 3)),
     [("DrawTexturePro", TEX_RECORD, (0.0, 0.0, 8.0, 8.0), (1.0, 2.0, 3.0, 4.0), (5.0, 6.0),
       -90.0, (1, 2, 3, 255))]),
    ("draw_texture_rec", (TEX, (0, 0, 8, 8), (1, 2), (1, 2, 3, 4)),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 8.0, 8.0), (1.0, 2.0), (1, 2, 3, 4))]),
    ("c_draw_texture_vec", (TEX, (1, 2), (1, 2, 3), True),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 64.0, -32.0), (1.0, 2.0), (1, 2, 3, 255))]),
    ("draw_texture_vec", (TEX, (1, 2), (1, 2, 3), False),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 64.0, 32.0), (1.0, 2.0), (1, 2, 3, 255))]),
    ("begin_texture_mode", (fakes.RenderTexture(),),
     [("BeginTextureMode", 9, (10, 128, 64, 1, 7), (11, 128, 64, 1, 19))]),
    ("clear_background", ((1, 2, 3, 4),), [("ClearBackground", (1, 2, 3, 4))]),
    # Bound by the fixture already; rebinding nothing makes no raylib call.
    ("init_raylib_pointers", ({},), []),
    ("c_draw_texture_qmvec", (TEX, QmVector2(10, 20), QmRect(1, 2, 3, 4), True),
     [("DrawTextureRec", TEX_RECORD, (0.0, 0.0, 64.0, -32.0), (f32(10.01), f32(20.01)),
       (1, 2, 3, 4))]),
    ("begin_drawing", (), [("BeginDrawing",)]),
    ("end_blend_mode", (), [("EndBlendMode",)]),
    ("end_drawing", (), [("EndDrawing",)]),
    ("end_shader_mode", (), [("EndShaderMode",)]),
    ("end_texture_mode", (), [("EndTextureMode",)]),
    ("begin_blend_mode", (3,), [("BeginBlendMode", 3)]),
    ("c_draw_qmtexture_qmvec",
     (QmRenderTexture(fakes.RenderTexture(texture=fakes.Texture(21, 16, 8))), QmVector2(1, 2),
      QmRect(5, 6, 7, 8), False),
     [("DrawTextureRec", (21, 16, 8, 1, 7), (0.0, 0.0, 16.0, 8.0), (f32(1.01), f32(2.01)),
       (5, 6, 7, 8))]),
    ("qm_clear_background", (QmRect(1, 2, 300, -1),), [("ClearBackground", (1, 2, 44, 255))]),
    ("set_qmshader_value_vec2_tuple", (QM, 1, (1, 2)), [(*SET_AT_1, floats(1, 2), 1)]),
    ("set_qmshader_value_vec4_tuple", (QM, 1, (1, 2, 3, 4)),
     [(*SET_AT_1, floats(1, 2, 3, 4), 3)]),
    ("set_qmshader_value", (QM, 1, (7, -1), 5), [(*SET_AT_1, struct.pack("<2i", 7, -1), 5)]),
    ("set_qmshader_value_float", (QM, 1, 0.1), [(*SET_AT_1, floats(f32(0.1)), 0)]),
    ("set_qmshader_value_int", (QM, 1, -7), [(*SET_AT_1, struct.pack("<i", -7), 4)]),
    ("set_qmshader_value_vec4_v", (QM, 1, [(1, 2, 3, 4), (5, 6, 7, 8)]),
     [("SetShaderValueV", QM_RECORD, 1, floats(1, 2, 3, 4, 5, 6, 7, 8), 3, 2)]),
    ("set_qmshader_value_float_v", (QM, 1, [1.0, 2.0, 3.0]),
     [("SetShaderValueV", QM_RECORD, 1, floats(1, 2, 3), 0, 3)]),
    ("set_qmshader_value_vec2_qmvec", (QM, 1, QmVector2(10, 20)),
     [(*SET_AT_1, floats(10, 20), 1)]),
    ("c_clear_background_blank", (), [("ClearBackground", (0, 0, 0, 0))]),
]


@pytest.mark.parametrize("name, args, expected", EXPORT_CALLS, ids=[n for n, _, _ in EXPORT_CALLS])
def test_each_export_makes_its_raylib_call(consumer, fake, name, args, expected):
    fake.set_location(b"u", 8)
    result = consumer.call(name, *args)
    assert result == {"get_qmshader_location": 8}.get(name)
    assert fake.calls() == expected


# ---- failures reach the Cython caller through the declared exception conventions ----

FAILURES = [
    ("vector slot 2 (null result)", lambda c: c.vector_from_list(["a", 1]), TypeError,
     "must be real number, not str"),
    ("request slot 1 (null result)", lambda c: c.request_slots(None, *[None] * 6), TypeError,
     "cannot create weak reference to 'NoneType' object"),
    ("system slot 3 (void, checked)", lambda c: c.system_add(ZSystem(), None), TypeError,
     "cannot create weak reference to 'NoneType' object"),
    ("void export", lambda c: c.call("clear_background", (1, 2)), IndexError,
     "tuple index out of range"),
    ("object export", lambda c: c.call("begin_qmshader_mode", None), TypeError,
     "Cannot convert NoneType to quelm_ui.fast.qmshader.qmshader.QmShader"),
    ("int export", lambda c: c.call("get_qmshader_location", QM, "\ud800"), UnicodeEncodeError,
     None),
]


@pytest.mark.parametrize("case, action, error, message", FAILURES, ids=[f[0] for f in FAILURES])
def test_failures_raise_in_the_cython_caller(consumer, fake, case, action, error, message):
    with pytest.raises(error) as info:
        action(consumer)
    assert message is None or str(info.value) == message
    assert fake.calls() == []


def test_an_unknown_uniform_answers_minus_one_without_an_error(consumer, fake):
    assert consumer.call("get_qmshader_location", QM, "missing") == -1
