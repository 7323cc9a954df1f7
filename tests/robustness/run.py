"""Seeded, bounded random-input run over the Python surface and the native tables of qmvector2,
zdispatch and quelm_raylib. Each call runs in a child forked from a warmed-up parent, so a crash,
hang or sanitizer report is pinned to the seed and call number that replays it.

    python tests/robustness/run.py [--seconds 60] [--seed S] [--only REGEX] [--verbose]
    python tests/robustness/run.py --seed S --replay K     # call K of seed S, in this process

Every callable is called at least once, then callables are drawn at random until the time is
up. Exit status 1 on any finding (a crash, a hang, a sanitizer report or a native call that broke
the error-indicator contract) or when a callable was never reached. Under AddressSanitizer, run
with the sanitizer's libraries in LD_PRELOAD, ASAN_OPTIONS=detect_leaks=0 and PYTHONMALLOC=malloc
(so freed Python objects are visible to it).
"""

from __future__ import annotations

import argparse
import ast
import ctypes
import gc
import math
import os
import random
import re
import shlex
import signal
import sys
import time
import weakref

import numpy as np

# The scripts beside this one: the installed-wheel check runs it under PYTHONSAFEPATH, which
# leaves the script's folder off sys.path.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from forking import EXIT_SYSTEM_ERROR, describe_status, excerpt, prepare_parent, run_pool

import quelm_ui.core.modules as md
from quelm_ui.core.enums import BindType
from quelm_ui.fast.qmparam.qmparam import QmParam
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmrendertex.qm_render_tex import QmRenderTexture
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2 import qmvector2 as qv_module
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.raylib import quelm_raylib as rl_module
from quelm_ui.fast.zsystem import zdispatch as zd_module
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem
from quelm_ui_testbeds import fake_raylib, native_consumer, noop_raylib

MODULES = (qv_module, zd_module, rl_module)
SLOT_KEYS = ("DrawTextureRec", "DrawTexturePro", "BeginBlendMode", "EndBlendMode",
             "BeginTextureMode", "EndTextureMode", "ClearBackground", "BeginShaderMode",
             "EndShaderMode", "SetShaderValue", "GetShaderLocation", "BeginDrawing", "EndDrawing",
             "SetShaderValueV")


class Boom(Exception):
    """Raised on purpose by the hostile objects."""


# ---------------------------------------------------------------------------------------------
# The native tables, reached through ctypes the way another extension module calls them.

OBJ, INT = ctypes.py_object, ctypes.c_int
VECTOR_SLOTS = [
    ("new", ctypes.PYFUNCTYPE(OBJ, ctypes.c_double, ctypes.c_double), "dd"),
    ("cfrom_list", ctypes.PYFUNCTYPE(OBJ, OBJ), "L"),
    ("cfrom_ints", ctypes.PYFUNCTYPE(OBJ, ctypes.c_int32, ctypes.c_int32), "ii"),
    ("cfrom_floats", ctypes.PYFUNCTYPE(OBJ, ctypes.c_float, ctypes.c_float), "ff"),
    ("cfrom_tuple", ctypes.PYFUNCTYPE(OBJ, OBJ), "T"),
    ("cfrom_qmvector2", ctypes.PYFUNCTYPE(OBJ, OBJ), "V"),
    ("cfrom_xy", ctypes.PYFUNCTYPE(OBJ, ctypes.c_double, ctypes.c_double), "dd"),
    ("c_get_int_tuple", ctypes.PYFUNCTYPE(OBJ, OBJ), "V"),
    ("_add", ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ), "VV"),
    ("_sub", ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ), "VV"),
    ("_iadd", ctypes.PYFUNCTYPE(None, OBJ, OBJ), "VV"),
    ("_isub", ctypes.PYFUNCTYPE(None, OBJ, OBJ), "VV"),
    ("_imul", ctypes.PYFUNCTYPE(None, OBJ, OBJ), "VV"),
    ("_sadd", ctypes.PYFUNCTYPE(None, OBJ, OBJ, OBJ), "VVV"),
    ("copy", ctypes.PYFUNCTYPE(OBJ, OBJ, INT), "Vi"),
    ("sadd", ctypes.PYFUNCTYPE(None, OBJ, OBJ, OBJ, INT), "VVVi"),
]
REQUEST_SLOTS = [
    ("new", ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ, OBJ, OBJ, OBJ, OBJ, OBJ), "OAAAAAA"),
    ("get_link", ctypes.PYFUNCTYPE(OBJ, OBJ), "R"),
]
SYSTEM_SLOTS = [
    ("c_mark_dirty", ctypes.PYFUNCTYPE(None, OBJ), "S"),
    ("_reset_arrays", ctypes.PYFUNCTYPE(None, OBJ), "S"),
    ("add", ctypes.PYFUNCTYPE(None, OBJ, OBJ, INT), "SRi"),
    ("_rebuild_arrays", ctypes.PYFUNCTYPE(None, OBJ), "S"),
    ("mark_dirty", ctypes.PYFUNCTYPE(OBJ, OBJ, INT), "Si"),
    ("get_active_requests", ctypes.PYFUNCTYPE(OBJ, OBJ, INT), "Si"),
    ("cycle", ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ, INT, INT, INT, INT, INT), "SPiiiii"),
    ("request_cycle", ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ, INT, INT), "SPii"),
]
# quelm_raylib's exported entry points as the native consumer test bed calls them: one code per
# argument (see Context.native_argument).
CAPI_ENTRIES = [
    ("begin_qmshader_mode", "H"), ("get_qmshader_location", "Hs"), ("c_clear_background", "C"),
    ("c_draw_texture_rec", "XQWC"), ("c_draw_texture_pro", "XQQWfC"),
    ("draw_texture_pro", "XQQWfC"), ("draw_texture_rec", "XQWC"), ("c_draw_texture_vec", "XWCi"),
    ("draw_texture_vec", "XWCi"), ("begin_texture_mode", "Y"), ("clear_background", "C"),
    ("init_raylib_pointers", "D"), ("c_draw_texture_qmvec", "XPGi"), ("begin_drawing", ""),
    ("end_blend_mode", ""), ("end_drawing", ""), ("end_shader_mode", ""),
    ("end_texture_mode", ""), ("begin_blend_mode", "i"), ("c_draw_qmtexture_qmvec", "ZPGi"),
    ("qm_clear_background", "G"), ("set_qmshader_value_vec2_tuple", "HiW"),
    ("set_qmshader_value_vec4_tuple", "HiQ"), ("set_qmshader_value", "HiTi"),
    ("set_qmshader_value_float", "Hif"), ("set_qmshader_value_int", "Hii"),
    ("set_qmshader_value_vec4_v", "HiM"), ("set_qmshader_value_float_v", "HiN"),
    ("set_qmshader_value_vec2_qmvec", "HiP"), ("c_clear_background_blank", ""),
]


def vtable(cls, fields):
    class Table(ctypes.Structure):
        _fields_ = [(name, proto) for name, proto, _ in fields]

    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    return Table.from_address(get_pointer(cls.__dict__["__pyx_vtable__"], None))


def collector_clear(obj) -> None:
    """Runs the type's tp_clear, as the cycle collector does on garbage that is still reachable
    from a finaliser. tp_clear sits at offset 192 of a type object on 64-bit builds."""
    address = ctypes.c_void_p.from_address(id(type(obj)) + 192).value
    if address:
        ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object)(address)(obj)


# ---------------------------------------------------------------------------------------------
# Hostile values.

class Num:
    """A number-like object whose conversions (__float__, __index__, __int__, __bool__, __eq__,
    __hash__) behave as `mode` says: ok, raise, mutate (runs a random mutation of the call's
    state first), badtype (returns the wrong type), huge, nan."""

    def __init__(self, ctx, mode, value):
        self.ctx, self.mode, self.value = ctx, mode, value

    def __repr__(self):
        return f"Num({self.mode}, {self.value!r})"

    def _act(self):
        if self.mode == "raise":
            raise Boom("conversion")
        if self.mode == "mutate":
            self.ctx.mutate()

    def __float__(self):
        self._act()
        if self.mode == "badtype":
            return "not a float"
        if self.mode == "huge":
            return 1e308
        if self.mode == "nan":
            return math.nan
        return float(self.value)

    def __index__(self):
        self._act()
        if self.mode == "badtype":
            return 1.5
        if self.mode == "huge":
            return 2**100
        return int(self.value)

    __int__ = __index__

    def __bool__(self):
        self._act()
        return bool(self.value)

    def __eq__(self, other):
        self._act()
        return self is other

    def __hash__(self):
        self._act()
        return 7

    def __len__(self):
        self._act()
        return 2

    def __getitem__(self, index):
        self._act()
        if index > 3:
            raise IndexError(index)
        return self.value


class Shape:
    """A binding-side record (texture, render texture, shader, vector-like): its attributes
    come from `attrs`; with mode 'raise' or 'mutate' every attribute lookup does that first."""

    def __init__(self, ctx, kind, attrs, mode):
        self._ctx, self._kind, self._attrs, self._mode = ctx, kind, attrs, mode

    def __repr__(self):
        return f"Shape({self._kind}, {self._mode}, {self._attrs!r})"

    def __getattr__(self, name):
        if name.startswith("_"):
            raise AttributeError(name)
        if self._mode == "raise":
            raise Boom(f"attribute {name}")
        if self._mode == "mutate":
            self._ctx.mutate()
        try:
            return self._attrs[name]
        except KeyError:
            raise AttributeError(name) from None


class Str(str):
    """A str subclass whose comparison, hashing and `encode` misbehave as `mode` says."""

    ctx = None
    mode = "ok"

    def __repr__(self):
        return f"Str({self.mode}, {str.__repr__(self)})"

    def _act(self):
        if self.mode == "raise":
            raise Boom("str")
        if self.mode == "mutate":
            self.ctx.mutate()

    def __eq__(self, other):
        self._act()
        return str.__eq__(self, other)

    def __hash__(self):
        self._act()
        return str.__hash__(self)

    def encode(self, *args, **kwargs):
        self._act()
        if self.mode == "badtype":
            return 12
        return str.encode(self, *args, **kwargs)


class Int(int):
    """An int subclass with hostile conversions."""

    ctx = None
    mode = "ok"

    def __repr__(self):
        return f"Int({self.mode}, {int.__repr__(self)})"

    def _act(self):
        if self.mode == "raise":
            raise Boom("int")
        if self.mode == "mutate":
            self.ctx.mutate()

    def __index__(self):
        self._act()
        return int(self)

    def __int__(self):
        self._act()
        return int.__int__(self)

    def __float__(self):
        self._act()
        return int.__float__(self)

    def __bool__(self):
        self._act()
        return int.__bool__(self)

    def __eq__(self, other):
        self._act()
        return int.__eq__(self, other)

    def __hash__(self):
        self._act()
        return int.__hash__(self)


class Float(float):
    ctx = None
    mode = "ok"

    def __repr__(self):
        return f"Float({self.mode}, {float.__repr__(self)})"

    def __float__(self):
        if self.mode == "raise":
            raise Boom("float")
        if self.mode == "mutate":
            self.ctx.mutate()
        return float.__float__(self)


class List(list):
    """A list subclass whose length and items lie."""

    ctx = None

    def __repr__(self):
        return f"List({list.__repr__(self)})"

    def __len__(self):
        self.ctx.mutate()
        return 2

    def __getitem__(self, index):
        self.ctx.mutate()
        return list.__getitem__(self, index) if index < list.__len__(self) else Boom

    def __iter__(self):
        self.ctx.mutate()
        return list.__iter__(self)


class Dict(dict):
    """An instance dictionary whose update, length and iteration mutate the call's state."""

    ctx = None

    def __repr__(self):
        return f"Dict({dict.__repr__(self)})"

    def update(self, *args, **kwargs):
        self.ctx.mutate()
        dict.update(self, *args, **kwargs)

    def __len__(self):
        self.ctx.mutate()
        return dict.__len__(self)

    def __iter__(self):
        self.ctx.mutate()
        return dict.__iter__(self)


class Tuple(tuple):
    def __repr__(self):
        return f"Tuple({tuple.__repr__(self)})"

    def __len__(self):
        return 2

    def __getitem__(self, index):
        raise Boom("tuple item")


class Callback:
    """A stored callback: two-stage or plain, raising, re-entering the dispatcher, dropping
    owners or requests, or returning something that is not callable."""

    def __init__(self, ctx, mode, depth=0):
        self.ctx, self.mode, self.depth = ctx, mode, depth

    def __repr__(self):
        return f"Callback({self.mode})"

    def __call__(self, *args):
        if self.mode == "raise":
            raise Boom("callback")
        if self.mode == "mutate":
            self.ctx.mutate()
            return None
        if self.mode == "junk":
            return self.ctx.rng.choice([5, "x", (), Boom])
        if self.mode == "two_stage" and self.depth == 0:
            if self.ctx.valid:
                return Callback(self.ctx, "plain", 1)
            return Callback(self.ctx, self.ctx.rng.choice(["plain", "raise", "mutate"]), 1)
        return None


class Weakref:
    """A stand-in for the module global `weakref` whose `ref` misbehaves."""

    def __init__(self, ctx, mode):
        self.ctx, self.mode = ctx, mode

    def __repr__(self):
        return f"Weakref({self.mode})"

    def ref(self, obj, *args):
        if self.mode == "raise":
            raise Boom("weakref.ref")
        if self.mode == "junk":
            return 5
        if self.mode == "mutate":
            self.ctx.mutate()
            return weakref.ref(obj)
        junk = self.ctx.rng.choice([None, 3, object(), "s"])
        return lambda: junk


class NumPy:
    """A stand-in for the module global `np` whose `empty` misbehaves."""

    int32 = np.int32

    def __init__(self, ctx, mode):
        self.ctx, self.mode = ctx, mode

    def __repr__(self):
        return f"NumPy({self.mode})"

    def empty(self, shape, dtype=None):
        if self.mode == "raise":
            raise MemoryError("np.empty")
        if self.mode == "list":
            return []
        if self.mode == "float64":
            return np.empty(shape, np.float64)
        if self.mode == "strided":
            full = np.empty((shape[0] * 2, 4) if isinstance(shape, tuple) else shape * 2, dtype)
            return full[::2]
        if self.mode == "fortran":
            return np.empty(shape, dtype, order="F")
        if self.mode == "subclass":
            return np.empty(shape, dtype).view(Sliced)
        if self.mode == "small":
            return np.empty((0, 4) if isinstance(shape, tuple) else 0, dtype)
        if self.mode == "mutate":
            self.ctx.mutate()
        return np.empty(shape, dtype)


class Sliced(np.ndarray):
    """An array whose slices are of another shape, type or memory order than asked for."""

    def __getitem__(self, index):
        choice = random.Random(id(self)).randrange(4)
        if choice == 0:
            return [1, 2]
        if choice == 1:
            return np.asarray(self)[::-1]
        if choice == 2:
            return np.empty((1,) + self.shape[1:], np.int32)
        return np.zeros(self.shape[:1] * 2 + self.shape[1:], np.int32)


class Scrolls:
    """A stand-in for `BindType` whose `Scroll` raises or mutates."""

    def __init__(self, ctx, mode):
        self.ctx, self.mode = ctx, mode

    def __repr__(self):
        return f"BindTypeStandIn({self.mode})"

    @property
    def Scroll(self):
        if self.mode == "raise":
            raise Boom("BindType.Scroll")
        self.ctx.mutate()
        return BindType.Scroll


class PygameModules:
    """A stand-in for `md` whose pygame.Vector2 raises, returns junk or mutates."""

    def __init__(self, ctx, mode):
        self.ctx, self.mode = ctx, mode

    def __repr__(self):
        return f"ModulesStandIn({self.mode})"

    @property
    def pygame(self):
        if self.mode == "raise":
            raise Boom("md.pygame")
        return self

    def Vector2(self, x, y):
        if self.mode == "mutate":
            self.ctx.mutate()
        return None


class Owner(QuelmCobject):
    """An owner whose rectangle and z come from Python overrides that misbehave."""

    ctx = None
    mode = "ok"

    def get_qmrect(self):
        mode = self.mode
        if mode == "raise":
            raise Boom("get_qmrect")
        if mode == "none":
            return None
        if mode == "mutate":
            self.ctx.mutate()
        if mode == "junk":
            return QmRect(math.nan, math.inf, -1e30, 3e9)
        return QuelmCobject.get_qmrect(self)

    def get_param_strict(self, name):
        mode = self.mode
        if mode == "raise":
            raise Boom("get_param_strict")
        if mode == "none":
            return None
        if mode == "mutate":
            self.ctx.mutate()
        if mode == "junk":
            return QmParam("z", self.ctx.anything())
        return QuelmCobject.get_param_strict(self, name)


class SubRequest(ZRequest):
    pass


class SubSystem(ZSystem):
    """A Python subclass overriding the entries that dispatch to Python overrides."""

    ctx = None

    def add(self, z_request):
        self.ctx.mutate()
        return ZSystem.add(self, z_request)

    def mark_dirty(self):
        return self.ctx.anything()

    def get_active_requests(self):
        return self.ctx.rng.choice([None, [], [1, 2], (1,), "list"])

    def cycle(self, *args):
        self.ctx.mutate()
        return self.ctx.anything()


# ---------------------------------------------------------------------------------------------
# One call's state: the objects a call and its hostile arguments can reach and mutate.

SCALARS = [None, True, False, 0, 1, -1, 7, 2**31 - 1, 2**31, -2**31, -2**31 - 1, 2**32, 2**63,
           -2**63 - 1, 2**64, 10**400, -10**400, 0.0, -0.0, 0.5, -2.7, 1e10, 1e308, -1e308,
           5e-324, math.nan, math.inf, -math.inf, "", "z", "time", "\udc80", "a\0b", b"z",
           bytearray(b"zz"), 1j, object(), int, QmVector2, ZRequest, ZSystem, Ellipsis,
           NotImplemented, sys]
MODES = ["ok", "raise", "mutate", "mutate", "mutate", "badtype", "huge", "nan"]


class Context:
    """`valid`: every value well-formed and nothing hostile (the exhaustion sweep's arguments)."""

    def __init__(self, rng: random.Random, tables, valid: bool = False):
        self.rng = rng
        self.valid = valid
        self.tables = tables
        self.depth = 0
        self.owners: list = []      # the only strong references to owners
        self.requests: list = []    # strong references to requests
        self.systems: list = []
        self.victims: list = []     # containers handed to the call, cleared by mutations
        self.vectors: list = []
        self.thunk = None           # the call under test, for re-entering it
        for cls in (Str, Int, Float, List, Dict, Owner, SubSystem):
            cls.ctx = self

    # ---- plain values ----
    def number(self):
        return self.rng.choice([0, 1, -3, 2.5, -0.5, 5, 10, 20, 45, 100, 1e6, 64, 32])

    def vector(self):
        vector = QmVector2(self.number(), self.number())
        self.vectors.append(vector)
        return vector

    def record_field(self):
        return self.rng.choice([0, 1, 5, 64]) if self.valid else self.number()

    def texture(self, hostile=False):
        attrs = {name: self.record_field()
                 for name in ("id", "width", "height", "mipmaps", "format")}
        if hostile:
            for name in self.rng.sample(list(attrs), self.rng.randint(1, 3)):
                attrs[name] = self.anything()
            if self.rng.random() < 0.3:
                del attrs[self.rng.choice(list(attrs))]
        mode = self.rng.choice(["ok", "raise", "mutate"]) if hostile else "ok"
        return Shape(self, "texture", attrs, mode)

    def render_texture(self, hostile=False):
        attrs = {"id": self.record_field(), "texture": self.texture(hostile),
                 "depth": self.texture(hostile)}
        if hostile and self.rng.random() < 0.5:
            attrs[self.rng.choice(list(attrs))] = self.anything()
        mode = self.rng.choice(["ok", "raise", "mutate"]) if hostile else "ok"
        return Shape(self, "render_texture", attrs, mode)

    def shader(self, hostile=False):
        attrs = {"id": self.record_field(), "locs": self.rng.choice([0, 4096])}
        if hostile:
            attrs[self.rng.choice(list(attrs))] = self.anything()
        mode = self.rng.choice(["ok", "raise", "mutate"]) if hostile else "ok"
        return Shape(self, "shader", attrs, mode)

    def qmshader(self):
        return QmShader(self.rng.randint(0, 9), self.rng.choice([0, 4096]))

    def qmrect(self):
        return QmRect(*(self.rng.choice([0, 1, 255, 300, -1, 1e9, math.nan]) for _ in range(4)))

    def seq(self, n, kind=tuple):
        items = [self.number() if self.valid or self.rng.random() < 0.92 else self.anything()
                 for _ in range(n)]
        value = kind(items)
        if kind is list:
            self.victims.append(value)
        return value

    def pointers(self):
        if self.valid:
            return fake_raylib.addresses()
        addresses = self.rng.choice([fake_raylib, noop_raylib]).addresses()
        for name in self.rng.sample(list(addresses), self.rng.randint(0, 4)):
            addresses[name] = 0
        if self.rng.random() < 0.3:
            addresses[self.rng.choice(list(addresses))] = self.anything()
        if self.rng.random() < 0.2:
            addresses[self.rng.choice(list(addresses))] = Num(self, "mutate", 0)
        if self.rng.random() < 0.2:
            addresses[self.anything_hashable()] = 0
        self.victims.append(addresses)
        return addresses

    def anything_hashable(self):
        value = self.anything()
        try:
            hash(value)
        except Exception:
            return "junk"
        return value

    # ---- the dispatcher scenario ----
    def owner(self):
        z = self.rng.choice([0, 1, 5, -2**31, 2**31 - 1, True, 7.9]) \
            if self.valid or self.rng.random() < 0.8 else self.anything()
        rng = self.rng
        sizes = [100, 50, 10] if self.valid else [100, 100, 50, 10, 0]
        rect = QmRect(rng.choice([0, 0, 5, -3.7, 40]), rng.choice([0, 0, 5, -3.7, 40]),
                      rng.choice(sizes), rng.choice(sizes))
        if not self.valid and self.rng.random() < 0.3:
            owner = Owner(rect, z)
            owner.mode = self.rng.choice(["ok", "raise", "none", "mutate", "junk"])
        else:
            owner = QuelmCobject(rect, z)
        if not self.valid and self.rng.random() < 0.1:
            owner._dead = 1
        self.owners.append(owner)
        return owner

    def callback(self):
        if self.valid:
            return Callback(self, self.rng.choice(["plain", "two_stage"]))
        if self.rng.random() < 0.15:
            return self.rng.choice([None, 5, "x"])
        return Callback(self, self.rng.choice(["plain", "two_stage", "two_stage", "raise",
                                               "mutate", "junk"]))

    def request(self, fresh=False):
        if self.requests and not fresh and self.rng.random() < 0.6:
            return self.rng.choice(self.requests)
        roll = 1.0 if self.valid else self.rng.random()
        cls = SubRequest if not self.valid and self.rng.random() < 0.2 else ZRequest
        if roll < 0.08:
            request = cls.__new__(cls)
        else:
            owner = self.owner()
            request = cls(owner, *(self.callback() for _ in range(6)))
            owner._z_request = request
        if cls is SubRequest and self.rng.random() < 0.3:
            request.__dict__ = Dict(extra=self.anything(1))
        elif cls is SubRequest and self.rng.random() < 0.5:
            request.extra = self.anything()
        self.requests.append(request)
        return request

    def system(self):
        if self.systems and self.rng.random() < 0.7:
            return self.rng.choice(self.systems)
        system = SubSystem() if not self.valid and self.rng.random() < 0.15 else ZSystem()
        self.systems.append(system)
        for _ in range(self.rng.randint(0, 5)):
            try:
                ZSystem.add(system, self.request())
            except Exception:
                pass
        if self.rng.random() < 0.5:
            self.guarded(ZSystem.cycle, system, self.vector(), *self.flags(4))
        return system

    def flags(self, n):
        return [self.rng.random() < 0.5 for _ in range(n)]

    def guarded(self, function, *args):
        try:
            function(*args)
        except Exception:
            pass

    # ---- random values ----
    def hostile_number(self):
        mode = self.rng.choice(MODES)
        value = self.rng.choice([0, 1, 3, -1, 2**31, 0.5])
        kind = self.rng.random()
        if kind < 0.5:
            return Num(self, mode, value)
        if kind < 0.75:
            obj = Int(self.rng.choice([0, 1, 2**40, -5]))
        else:
            obj = Float(self.rng.choice([0.5, math.nan, 1e300]))
        obj.mode = mode
        return obj

    def anything(self, depth=0):
        rng = self.rng
        roll = rng.random()
        if roll < 0.3:
            return rng.choice(SCALARS)
        if roll < 0.5:
            return self.hostile_number()
        if roll < 0.6 and depth < 2:
            n = rng.randint(0, 5)
            items = [self.anything(depth + 1) if rng.random() < 0.4 else self.number()
                     for _ in range(n)]
            kind = rng.choice([tuple, list, List, Tuple, dict])
            if kind is dict:
                value = {self.anything_hashable() if depth < 1 else "k": item for item in items}
            else:
                value = kind(items)
            if kind in (list, List, dict):
                self.victims.append(value)
            return value
        if roll < 0.65:
            text = Str(rng.choice(["time", "", "z", "\udc80"]))
            text.mode = rng.choice(["ok", "raise", "mutate", "badtype"])
            return text
        if roll < 0.75:
            return self.callback()
        choices = [self.vector, self.qmrect, self.qmshader, self.owner,
                   lambda: self.texture(True), lambda: self.shader(True),
                   lambda: self.render_texture(True), self.request,
                   lambda: QmRenderTexture(self.render_texture(rng.random() < 0.5)),
                   lambda: QmParam("z", self.number()), lambda: rng.choice(self.functions()),
                   lambda: rng.choice(MODULES)]
        if depth == 0:
            choices.append(self.system)
        return rng.choice(choices)()

    def functions(self):
        return [v for m in MODULES for v in vars(m).values() if callable(v)]

    # ---- state mutations, run by hostile objects in the middle of a call ----
    def mutate(self):
        if self.depth >= 2:
            return
        self.depth += 1
        try:
            if self.victims and self.rng.random() < 0.4:
                mutate_victims(self)
            else:
                self.rng.choice(MUTATIONS)(self)
        except Exception:
            pass
        finally:
            self.depth -= 1

    # ---- sabotage before the call ----
    def sabotage(self, log):
        rng = self.rng
        if rng.random() < 0.08:
            modes = ["raise", "list", "float64", "strided", "fortran", "small", "mutate",
                     "subclass"]
            value = rng.choice([None, object(), NumPy(self, rng.choice(modes))])
            zd_module.np = value
            log.append(f"zdispatch.np = {value!r}")
        if rng.random() < 0.06:
            value = rng.choice([None, Weakref(self, rng.choice(["raise", "junk", "mutate",
                                                                "lambda"]))])
            zd_module.weakref = value
            log.append(f"zdispatch.weakref = {value!r}")
        if rng.random() < 0.06:
            value = rng.choice([None, 5, Scrolls(self, rng.choice(["raise", "mutate"]))])
            zd_module.BindType = value
            log.append(f"zdispatch.BindType = {value!r}")
        if rng.random() < 0.05:
            value = rng.choice([None, PygameModules(self, rng.choice(["raise", "junk",
                                                                     "mutate"]))])
            qv_module.md = value
            log.append(f"qmvector2.md = {value!r}")
        if rng.random() < 0.04:
            name = rng.choice(["np", "weakref", "BindType", "md"])
            module = qv_module if name == "md" else zd_module
            delattr(module, name)
            log.append(f"del {module.__name__}.{name}")
        if rng.random() < 0.04 and (self.systems or self.requests):
            victim = rng.choice(self.systems + self.requests)
            collector_clear(victim)
            log.append(f"collector cleared {short(victim)}")
        if rng.random() < 0.03:
            rl_module._base_color_qmvec_ez = rng.choice([None, QmRect(1, 2, 3, 4)])
            log.append("quelm_raylib._base_color_qmvec_ez replaced")
        roll = rng.random()
        if roll < 0.08:
            nulls = rng.sample(SLOT_KEYS, rng.randint(1, len(SLOT_KEYS)))
            rl_module.init_raylib_pointers(dict.fromkeys(nulls, 0))
            log.append(f"raylib slots set to null: {nulls}")
        elif roll < 0.15:
            rl_module.init_raylib_pointers(noop_raylib.addresses())
            log.append("raylib bound to noop_raylib")
        elif roll < 0.2:
            name = rng.choice(SLOT_KEYS)
            fake_raylib.raise_in(name)
            log.append(f"fake raylib raises in {name}")


def mutate_victims(ctx):
    for victim in ctx.victims:
        if isinstance(victim, dict):
            if ctx.rng.random() < 0.5:
                victim.clear()
            else:
                for i in range(64):
                    victim[f"k{i}"] = i
        elif isinstance(victim, list):
            if ctx.rng.random() < 0.5:
                list.clear(victim)
            else:
                list.extend(victim, range(100))


def drop_owners(ctx):
    ctx.owners.clear()
    gc.collect()


def drop_requests(ctx):
    for owner in ctx.owners:
        owner._z_request = None
    ctx.requests.clear()
    gc.collect()


def reenter(ctx):
    if not ctx.systems:
        return
    system = ctx.rng.choice(ctx.systems)
    action = ctx.rng.randint(0, 4)
    if action == 0:
        ZSystem.cycle(system, ctx.vector(), *ctx.flags(4))
    elif action == 1:
        ZSystem.add(system, ctx.request(fresh=True))
    elif action == 2:
        ZSystem.mark_dirty(system)
    elif action == 3:
        ZSystem.get_active_requests(system)
    else:
        for _ in range(20):
            ZSystem.add(system, ctx.request())


def scramble_system(ctx):
    if not ctx.systems:
        return
    system = ctx.rng.choice(ctx.systems)
    field = ctx.rng.choice(["live_requests", "last_hovered_request", "clicked_request",
                            "is_dirty"])
    if field == "live_requests":
        value = ctx.rng.choice([None, [], [ctx.anything(1) for _ in range(3)],
                                list(ctx.requests)])
    else:
        value = ctx.anything(1)
    setattr(system, field, value)


def clear_for_collector(ctx):
    candidates = ctx.systems + ctx.requests
    if candidates:
        collector_clear(ctx.rng.choice(candidates))


def reinit_request(ctx):
    if not ctx.requests:
        return
    request = ctx.rng.choice(ctx.requests)
    if ctx.rng.random() < 0.5:
        ZRequest.__init__(request, ctx.owner(), *(ctx.callback() for _ in range(6)))
    else:
        state = tuple(ctx.anything(1) for _ in range(ctx.rng.randint(6, 8)))
        ZRequest.__setstate__(request, state)


def mutate_vectors(ctx):
    for vector in ctx.vectors:
        vector.x, vector.y = ctx.rng.choice([math.nan, 1e300, -5.0]), 0.0


def kill_owner(ctx):
    for owner in ctx.owners:
        owner._dead = 1


def unbind_raylib(ctx):
    rl_module.init_raylib_pointers(dict.fromkeys(SLOT_KEYS, 0))


def replace_globals(ctx):
    ctx.sabotage([])


def reenter_call(ctx):
    """The call under test, again, from inside itself (with the same arguments)."""
    if ctx.thunk is not None:
        ctx.thunk()


MUTATIONS = [reenter_call, reenter_call, mutate_victims, mutate_victims, drop_owners,
             drop_requests, reenter, reenter, scramble_system, clear_for_collector,
             reinit_request, mutate_vectors, kill_owner, unbind_raylib, replace_globals]


# ---------------------------------------------------------------------------------------------
# The callables: every Python-visible function, method, slot wrapper and property of the three
# modules (and of their function types), every native table slot and every exported entry.

def plausible(ctx, annotation: str, pname: str = ""):
    """A well-formed value for a parameter annotated `annotation` in the typing stubs."""
    rng = ctx.rng
    a = annotation
    if pname == "link":
        return ctx.owner()
    if pname.endswith("_func"):
        return ctx.callback()
    if pname == "__pyx_checksum" and ctx.valid:
        return 0x80E39C8
    if pname == "__pyx_state" and ctx.valid:
        return ZRequest.__reduce__(ctx.request(fresh=True))[2]
    if pname == "__pyx_checksum":
        return rng.choice([0x80E39C8, 0x1B44BE, 0xFE25AF3, 0xFE25AF3, 1, -1, 2**70])
    if pname == "memo":
        return {}
    if "list[ZRequest]" in a:
        return [ctx.request() for _ in range(rng.randint(0, 3))]
    if "type[ZRequest]" in a:
        if ctx.valid:
            return ZRequest
        if rng.random() < 0.2:
            return rng.choice([ZSystem, SubSystem, int, object, QmVector2, type, Boom, Owner])
        return rng.choice([ZRequest, SubRequest])
    if "ZRequest" in a:
        return ctx.request() if ctx.valid or rng.random() < 0.9 else None
    if "QmShader" in a:
        return ctx.qmshader()
    if "_Shader" in a:
        return ctx.shader()
    if "_RenderTexture" in a:
        return ctx.render_texture()
    if "_Texture" in a:
        return ctx.texture()
    if "QmRect" in a:
        return ctx.qmrect()
    if "_VectorLike" in a:
        return rng.choice([ctx.vector(), ctx.seq(2), ctx.seq(2, list),
                           Shape(ctx, "vector", {"x": ctx.number(), "y": ctx.number(),
                                                 "clamp_magnitude_ip": None}, "ok")])
    if "QmVector2" in a:
        return ctx.vector()
    if "_Color" in a:
        return ctx.seq(rng.choice([3, 4]))
    if "_Rectangle" in a or "_Vector4" in a:
        return ctx.seq(4)
    if "_Vector2" in a:
        return ctx.seq(2)
    if "dict[str" in a:
        return ctx.pointers()
    if "Mapping" in a:
        values = [dict(x=ctx.number(), y=ctx.number(), z=ctx.number(), w=ctx.number())
                  for _ in range(rng.randint(0, 3))]
        ctx.victims.append(values)
        return values
    if "Iterable" in a:
        return ctx.seq(rng.randint(0, 4), list)
    if pname == "__pyx_state":
        return tuple(ctx.anything(1) for _ in range(rng.choice([6, 7, 7, 8])))
    if a.startswith("list["):
        return ctx.seq(rng.randint(2, 3), list)
    if "tuple" in a:
        return ctx.seq(rng.randint(2, 4))
    if "str" in a:
        return rng.choice(["time", "u", "missing"])
    if "Integer" in a or "SupportsInt" in a or "SupportsIndex" in a:
        return rng.choice([0, 1, -1] if ctx.valid else [0, 1, 2, 5, -1, 3])
    if "Number" in a or "float" in a:
        return ctx.number()
    if a in ("object", "Any", ""):
        return rng.choice([True, False, 0, 1, None, ctx.callback()])
    return ctx.anything()


def argument(ctx, annotation: str, pname: str = ""):
    if ctx.valid:
        return plausible(ctx, annotation, pname)
    return ctx.anything() if ctx.rng.random() < 0.15 else plausible(ctx, annotation, pname)


def stub_signatures() -> dict[str, list[list[tuple[str, str, bool]]]]:
    """{"Class.method" or "function": [overload: [(name, annotation, has default)]]} read from the
    modules' typing stubs, receivers left out."""
    found: dict[str, list] = {}
    for module in MODULES:
        base = os.path.basename(module.__file__).split(".")[0]
        path = os.path.join(os.path.dirname(module.__file__), base + ".pyi")
        tree = ast.parse(open(path).read())

        def walk(body, prefix):
            for node in body:
                if isinstance(node, ast.ClassDef):
                    walk(node.body, f"{node.name}.")
                elif isinstance(node, ast.FunctionDef):
                    args = node.args
                    params = args.posonlyargs + args.args
                    defaults = len(args.defaults)
                    static = any(isinstance(d, ast.Name) and d.id == "staticmethod"
                                 for d in node.decorator_list)
                    if prefix and not static and params:
                        params = params[1:]
                    described = [(p.arg, ast.unparse(p.annotation) if p.annotation else "",
                                  i >= len(params) - defaults) for i, p in enumerate(params)]
                    found.setdefault(prefix + node.name, []).append(described)
                elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
                    found.setdefault(prefix + node.target.id + ":value", []).append(
                        [("value", ast.unparse(node.annotation), False)])

        walk(tree.body, "")
    return found


def short(value) -> str:
    try:
        text = repr(value)
    except Exception as error:
        text = f"<repr failed: {type(error).__name__}>"
    return text if len(text) < 160 else text[:150] + "...>"


def call_text(name, args, kwargs) -> str:
    parts = [short(a) for a in args] + [f"{k}={short(v)}" for k, v in kwargs.items()]
    return f"{name}({', '.join(parts)})"


class Target:
    def __init__(self, name, make):
        self.name, self.make = name, make


REFLECTED = {"__radd__": "__add__", "__rsub__": "__sub__", "__rmul__": "__mul__",
             "__rtruediv__": "__truediv__", "__rfloordiv__": "__floordiv__"}


def shape_arguments(ctx, overloads, name, keywords=True):
    """Arguments (and keywords) for one call: a random overload, mostly well-formed arguments,
    sometimes hostile ones, a wrong count or keywords."""
    rng = ctx.rng
    if isinstance(overloads, ValidOnly):
        overloads = overloads if ctx.valid else []
    if not overloads:
        return [ctx.anything() for _ in range(rng.randint(0, 3))], {}
    params = rng.choice(overloads)
    args = []
    for pname, annotation, has_default in params:
        if has_default and rng.random() < 0.3:
            break
        args.append(argument(ctx, annotation, pname))
    kwargs = {}
    if ctx.valid:
        return args, kwargs
    roll = rng.random()
    if roll < 0.07 and args:
        args.pop()
    elif roll < 0.14:
        args.append(ctx.anything())
    elif roll < 0.3 and args and keywords:
        split = rng.randint(0, len(args))
        for (pname, _, _), value in zip(params[split:], args[split:]):
            kwargs[pname] = value
        del args[split:]
    elif roll < 0.34 and keywords:
        kwargs[rng.choice(["bogus", "self", params[0][0] if params else "x"])] = ctx.anything()
    return args, kwargs


def build_targets(tables) -> list[Target]:
    sigs = stub_signatures()
    targets: list[Target] = []
    receivers = {QmVector2: lambda ctx: ctx.vector(), ZRequest: lambda ctx: ctx.request(),
                 ZSystem: lambda ctx: ctx.system()}

    def receiver(ctx, cls):
        if not ctx.valid and ctx.rng.random() < 0.05:
            return ctx.anything()
        return receivers[cls](ctx)

    for cls in (QmVector2, ZRequest, ZSystem):
        tname = cls.__name__
        for attr, descriptor in cls.__dict__.items():
            if attr in ("__doc__", "__pyx_vtable__", "__module__", "__dict__", "__weakref__"):
                continue
            name = f"{tname}.{attr}"
            overloads = sigs.get(name) or sigs.get(f"{tname}.{REFLECTED.get(attr, attr)}") or \
                ValidOnly(text_signature(descriptor, cls))
            if type(descriptor).__name__ == "getset_descriptor":
                value_sigs = sigs.get(f"{name}:value") or [[("value", "Any", False)]]
                targets.extend(property_targets(name, descriptor, cls, receiver, value_sigs))
                continue
            if attr == "__new__":
                def make(ctx, cls=cls, name=name, overloads=overloads):
                    klass = cls if ctx.valid else \
                        ctx.rng.choice([cls, cls, SubRequest, SubSystem, object, int, Owner])
                    args, kwargs = shape_arguments(ctx, overloads, name)
                    return call_text(name, [klass] + args, kwargs), \
                        lambda: cls.__new__(klass, *args, **kwargs)
            elif isinstance(descriptor, staticmethod):
                def make(ctx, cls=cls, attr=attr, name=name, overloads=overloads):
                    args, kwargs = shape_arguments(ctx, overloads, name)
                    holder = cls if ctx.rng.random() < 0.7 else receivers[cls](ctx)
                    function = getattr(holder, attr)
                    return call_text(name, args, kwargs), lambda: function(*args, **kwargs)
            else:
                wrapper = type(descriptor).__name__ == "wrapper_descriptor" and attr != "__init__"

                def make(ctx, cls=cls, descriptor=descriptor, name=name, overloads=overloads,
                         wrapper=wrapper):
                    self = receiver(ctx, cls)
                    args, kwargs = shape_arguments(ctx, overloads, name, not wrapper)
                    return call_text(name, [self] + args, kwargs), \
                        lambda: descriptor(self, *args, **kwargs)
            targets.append(Target(name, make))
        # Calling the type: allocation and __init__ together.
        def make_type(ctx, cls=cls, tname=tname):
            args, kwargs = shape_arguments(ctx, sigs.get(f"{tname}.__init__", []), tname)
            return call_text(tname, args, kwargs), lambda: cls(*args, **kwargs)
        targets.append(Target(f"{tname}()", make_type))

    for module in MODULES:
        short_name = module.__name__.rsplit(".", 1)[1]
        for attr, value in vars(module).items():
            if attr.startswith("__") and attr != "__pyx_unpickle_ZRequest":
                continue
            name = f"{short_name}.{attr}"
            if type(value).__name__ == "quelm_function":
                overloads = sigs.get(attr, [])

                def make(ctx, function=value, name=name, overloads=overloads):
                    args, kwargs = shape_arguments(ctx, overloads, name)
                    return call_text(name, args, kwargs), lambda: function(*args, **kwargs)
                targets.append(Target(name, make))

    targets.extend(function_type_targets())
    targets.extend(native_targets(tables))
    return targets


class ValidOnly(list):
    """Overloads taken from a text signature rather than the stubs: the valid mode's alone."""


def text_signature(descriptor, cls):
    """[overload] from a slot wrapper's text signature, each parameter taken as `cls`; [] when
    it has none."""
    text = getattr(descriptor, "__text_signature__", None)
    if not text:
        return []
    names = [p.strip() for p in text.strip("()").split(",")]
    return [[(p, cls.__name__, False) for p in names
             if p and p not in ("/", "*") and not p.startswith("$")]]


def property_targets(name, descriptor, cls, receiver, value_sigs):
    def getter(ctx):
        self = receiver(ctx, cls)
        return f"{name}.__get__({short(self)})", lambda: descriptor.__get__(self, cls)

    def setter(ctx):
        self = receiver(ctx, cls)
        value = argument(ctx, ctx.rng.choice(value_sigs)[0][1], name.rsplit(".", 1)[1])
        return f"{name}.__set__({short(self)}, {short(value)})", \
            lambda: descriptor.__set__(self, value)

    def deleter(ctx):
        self = receiver(ctx, cls)
        return f"{name}.__delete__({short(self)})", lambda: descriptor.__delete__(self)

    return [Target(f"{name}.__get__", getter), Target(f"{name}.__set__", setter),
            Target(f"{name}.__delete__", deleter)]


def function_type_targets():
    """The members of the modules' own function and method types, on their functions."""
    targets = []
    samples = {"quelm_method": QmVector2.__dict__["to_int"],
               "quelm_function": rl_module.draw_texture_rec}
    for tname, sample in samples.items():
        kind = type(sample)

        def pick(ctx, kind=kind):
            pool = [v for m in MODULES for v in vars(m).values() if type(v) is kind]
            pool += [v for c in (QmVector2, ZRequest, ZSystem) for v in c.__dict__.values()
                     if type(v) is kind]
            pool += [getattr(QmVector2, n) for n in ("from_xy", "from_tuple")
                     if type(getattr(QmVector2, n)) is kind]
            return ctx.rng.choice(pool) if pool else ctx.anything()

        for attr, descriptor in kind.__dict__.items():
            name = f"{tname}.{attr}"
            if type(descriptor).__name__ == "getset_descriptor":
                targets.extend(property_targets(
                    name, descriptor, kind, lambda ctx, cls, pick=pick: pick(ctx),
                    [[("value", "Any", False)]]))
                continue

            def make(ctx, descriptor=descriptor, name=name, pick=pick, attr=attr):
                function = pick(ctx) if ctx.valid or ctx.rng.random() < 0.95 else ctx.anything()
                args = [ctx.anything() if not ctx.valid and ctx.rng.random() < 0.5
                        else ctx.vector() for _ in range(ctx.rng.randint(0, 3))]
                if ctx.valid:
                    args = [] if attr in ("__repr__", "__reduce__") else [ctx.vector()]
                def thunk():
                    result = descriptor(function, *args)
                    if attr == "__get__" and callable(result):
                        result(*args[:1])
                return call_text(name, [function] + args, {}), thunk
            targets.append(Target(name, make))
    return targets


def native_argument(ctx, code):
    """An argument of a native slot or entry: what its contract admits, with hostile contents
    where the contract takes any object."""
    rng = ctx.rng
    if code == "d":
        return rng.choice([0.0, 1.5, -2.5, 1e308, -1e308, math.nan, math.inf, 5e-324, 2.0**31])
    if code == "f":
        return rng.choice([0.0, 1.5, -2.5, 1e30, math.nan, math.inf, 3e38])
    if code == "i":
        return rng.choice([0, 1, -1, 2, 5, 2**31 - 1, -2**31])
    if code == "L":  # an exact list of at least two items
        items = [ctx.number() if ctx.valid or rng.random() < 0.6 else ctx.anything(1)
                 for _ in range(rng.randint(2, 4))]
        ctx.victims.append(items)
        return items
    if code == "T":
        return tuple(ctx.number() if ctx.valid or rng.random() < 0.6 else ctx.anything(1)
                     for _ in range(rng.randint(2, 4)))
    if code == "V":
        return ctx.vector()
    if code == "s":
        return argument(ctx, "str")
    if code == "R":
        request = ctx.request()
        if not ctx.valid and rng.random() < 0.15:  # a link that is not a weak reference
            ZRequest.__setstate__(request, (ctx.anything(),) + (None,) * 6)
        return request
    if code == "S":
        return ctx.system()
    hostile = not ctx.valid
    if code == "P":
        return ctx.vector() if ctx.valid or rng.random() < 0.9 else None
    if code == "H":
        return ctx.qmshader() if ctx.valid or rng.random() < 0.9 else None
    if code == "G":
        return ctx.qmrect() if ctx.valid or rng.random() < 0.9 else None
    if code == "Z":
        return QmRenderTexture(ctx.render_texture(hostile and rng.random() < 0.4)) \
            if ctx.valid or rng.random() < 0.9 else None
    if code == "X":
        return ctx.texture(hostile and rng.random() < 0.3)
    if code == "Y":
        return ctx.render_texture(hostile and rng.random() < 0.3)
    if code == "C":
        return argument(ctx, "_Color")
    if code == "Q":
        return argument(ctx, "_Rectangle")
    if code == "W":
        return argument(ctx, "_Vector2")
    if code == "M":  # std::vector<Vector4>: a list of 4-tuples
        return [tuple(rng.choice([0.0, 1.0, math.nan, 1e30]) for _ in range(4))
                for _ in range(rng.randint(0, 3))]
    if code == "N":
        return [rng.choice([0.0, 1.0, math.nan, 1e30]) for _ in range(rng.randint(0, 5))]
    if code == "D":
        return ctx.pointers() if ctx.valid or rng.random() < 0.8 else ctx.anything()
    if ctx.valid:  # "O" an owner, "A" a callback
        return ctx.owner() if code == "O" else ctx.callback()
    return ctx.anything()


def native_targets(tables):
    targets = []
    for tname, table, fields in (("QmVector2", tables["vector"], VECTOR_SLOTS),
                                 ("ZRequest", tables["request"], REQUEST_SLOTS),
                                 ("ZSystem", tables["system"], SYSTEM_SLOTS)):
        for slot, _, codes in fields:
            name = f"native {tname}.{slot}"

            def make(ctx, table=table, slot=slot, codes=codes, name=name):
                args = [native_argument(ctx, c) for c in codes]
                function = getattr(table, slot)
                return call_text(name, args, {}), lambda: function(*args)
            targets.append(Target(name, make))
    for entry, codes in CAPI_ENTRIES:
        name = f"capi {entry}"

        def make(ctx, entry=entry, codes=codes, name=name):
            args = [native_argument(ctx, c) for c in codes]
            return call_text(name, args, {}), lambda: native_consumer.call(entry, *args)
        targets.append(Target(name, make))
    return targets


# ---------------------------------------------------------------------------------------------
# Running one call (in a child) and the forking loop (in the parent).

def call_rng(seed: int, k: int) -> random.Random:
    return random.Random(f"{seed}:{k}")


def pick_target(targets, order, seed, k):
    if k < len(order):
        return targets[order[k]]
    return targets[random.Random(f"{seed}:{k}:pick").randrange(len(targets))]


def run_case(targets, order, tables, seed, k, report_fd=None) -> int:
    """Runs call `k`; returns the child's exit code (0: nothing found)."""
    rng = call_rng(seed, k)
    target = pick_target(targets, order, seed, k)
    ctx = Context(rng, tables)
    log: list[str] = []
    reached = "reached"
    try:
        description, thunk = target.make(ctx)
        ctx.sabotage(log)
    except Exception as error:
        reached = "not reached"
        description, thunk = f"set-up failed ({type(error).__name__}: {error})", None
    text = f"{target.name}\t{reached}\t{description}" + "".join(f" [{e}]" for e in log)
    if report_fd is not None:
        os.write(report_fd, text.encode("utf-8", "backslashreplace") + b"\n")
    else:
        print(text)
    code = 0
    outcome = "set-up failed"
    if thunk is not None:
        outcome = "returned"
        ctx.thunk = thunk
        try:
            thunk()
        except SystemError as error:
            print(f"SystemError: {error}", file=sys.stderr)
            code = EXIT_SYSTEM_ERROR
        except ValueError as error:
            outcome = "ValueError"
            if "PyObject is NULL" in str(error):  # ctypes: a null result without an error
                print(f"null result without an exception: {error}", file=sys.stderr)
                code = EXIT_SYSTEM_ERROR
        except BaseException as error:
            outcome = type(error).__name__
            if report_fd is None:
                print(f"  -> {outcome}: {short(error)}")
    if report_fd is None and outcome in ("returned", "ValueError"):
        print(f"  -> {outcome}")
    if report_fd is not None:
        os.write(report_fd, f"\t{outcome}\n".encode())
    # Aftermath: collect, then let the dispatchers run a frame over whatever state is left.
    try:
        ctx.victims.clear()
        gc.collect()
        for system in list(ctx.systems):
            ctx.guarded(ZSystem.cycle, system, QmVector2(5, 5), True, True, True, True)
            ctx.guarded(ZSystem.get_active_requests, system)
        # Then let everything go, so deallocation and collection run over the final states.
        ctx.thunk = thunk = None
        for held in (ctx.owners, ctx.requests, ctx.systems, ctx.vectors):
            held.clear()
        gc.collect()
    except SystemError as error:
        print(f"SystemError after the call: {error}", file=sys.stderr)
        code = EXIT_SYSTEM_ERROR
    except BaseException:
        pass
    return code


def warm_up():
    # The lazy import, so children do not pay for it. pygame installs handlers for the fatal
    # signals; the ones in place before (the default, or the sanitizer's) are put back so that
    # a crash keeps its own signal and the sanitizer its report.
    libc = ctypes.CDLL(None, use_errno=True)
    fatal = (signal.SIGSEGV, signal.SIGBUS, signal.SIGFPE, signal.SIGILL, signal.SIGABRT)
    saved = {sig: ctypes.create_string_buffer(256) for sig in fatal}  # struct sigaction
    for sig, action in saved.items():
        libc.sigaction(sig, None, action)
    md.pygame
    for sig, action in saved.items():
        libc.sigaction(sig, action, None)
    fake_raylib.clear()
    rl_module.init_raylib_pointers(fake_raylib.addresses())
    return {"vector": vtable(QmVector2, VECTOR_SLOTS), "request": vtable(ZRequest, REQUEST_SLOTS),
            "system": vtable(ZSystem, SYSTEM_SLOTS)}


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--timeout", type=int, default=20, help="seconds before a call is a hang")
    parser.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1))
    parser.add_argument("--replay", type=int, default=None, help="run call K in this process")
    parser.add_argument("--list", action="store_true", help="list the callables and exit")
    parser.add_argument("--verbose", action="store_true", help="outcomes per callable")
    parser.add_argument("--only", help="run only the callables whose name matches this regex")
    parser.add_argument("--plant", choices=["crash", "hang", "use-after-free", "unreachable"],
                        help=argparse.SUPPRESS)
    options = parser.parse_args(argv)
    seed = options.seed if options.seed is not None else int(time.time() * 1000) % 2**32
    started = time.monotonic()

    tables = warm_up()
    targets = build_targets(tables)
    if options.plant:
        targets.append(Target(f"planted {options.plant}", planted(options.plant)))
    if options.only:
        targets = [t for t in targets if re.search(options.only, t.name)]
    if options.list:
        print("\n".join(t.name for t in targets))
        return 0
    order = list(range(len(targets)))
    random.Random(seed).shuffle(order)
    if options.replay is not None:
        return run_case(targets, order, tables, seed, options.replay)

    print(f"robustness run: seed {seed}, {len(targets)} callables, {options.seconds:g} s, "
          f"{options.jobs} jobs", flush=True)
    prepare_parent()
    deadline = started + options.seconds
    replay = " ".join(shlex.quote(a) for a in [sys.executable, sys.argv[0], "--seed", str(seed)]
                      + (["--only", options.only] if options.only else [])
                      + (["--plant", options.plant] if options.plant else []))
    covered: set[str] = set()
    outcomes: dict[str, dict[str, int]] = {}
    findings: list[str] = []
    calls = 0

    def calls_to_make():
        k = 0
        while (k < len(targets) or time.monotonic() < deadline) and len(findings) < 20:
            yield k
            k += 1

    def run(k, report_fd):
        return run_case(targets, order, tables, seed, k, report_fd)

    def done(k, status, report, output):
        nonlocal calls
        calls += 1
        lines = report.splitlines() or [""]
        name, reached, description = (lines[0].split("\t", 2) + ["", ""])[:3]
        if reached == "reached":
            covered.add(name)
            outcome = lines[1].strip() if len(lines) > 1 else "no outcome"
            outcomes.setdefault(name, {}).setdefault(outcome, 0)
            outcomes[name][outcome] += 1
        problem = describe_status(status, output)
        if problem:
            findings.append(problem)
            tail = excerpt(output)
            print(f"FINDING {problem}: seed {seed} call {k}: {description.strip()}\n"
                  f"  replay: {replay} --replay {k}\n"
                  + "\n".join("  | " + line for line in tail.splitlines()), flush=True)

    run_pool(calls_to_make(), run, done, options.jobs, options.timeout)
    if options.verbose:
        for name in sorted(outcomes):
            counts = outcomes[name]
            total = sum(counts.values())
            ranked = ", ".join(f"{k} {v}" for k, v in sorted(counts.items(), key=lambda i: -i[1]))
            print(f"  {name}: {total} calls, {counts.get('returned', 0) * 100 // total}% "
                  f"returned ({ranked})")
    names = {t.name for t in targets}
    missing = sorted(names - covered)
    for name in missing:
        print(f"NOT REACHED: {name}")
    elapsed = time.monotonic() - started
    print(f"robustness: {calls} calls, {len(covered & names)}/{len(names)} callables covered, "
          f"seed {seed}, {len(findings)} findings, {elapsed:.0f} s", flush=True)
    return 1 if findings or missing else 0


def use_after_free():
    libc = ctypes.CDLL(None)
    libc.malloc.restype = ctypes.c_void_p
    libc.free.argtypes = [ctypes.c_void_p]
    block = libc.malloc(16)
    libc.free(block)
    return ctypes.string_at(block, 8)


def planted(kind):
    """A deliberate crash, hang or (seen only by AddressSanitizer) use after free, to check that
    the harness reports them."""
    def make(ctx):
        if kind == "unreachable":
            raise Boom("the arguments cannot be made")
        if kind == "use-after-free":
            return "planted use-after-free()", use_after_free
        if kind == "crash":
            return "planted crash()", lambda: ctypes.c_int.from_address(8).value
        return "planted hang()", lambda: time.sleep(3600)
    return make


if __name__ == "__main__":
    sys.exit(main())
