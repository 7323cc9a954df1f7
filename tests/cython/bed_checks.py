"""Checks run inside the Cython sibling bed (started by test_cython_siblings.py): each returns
plain literals that the outer test compares. Imports happen inside the functions, so a check can
follow any import order its caller chose."""

from __future__ import annotations

import ctypes
import importlib
import sys

# Sibling module -> the type it publishes.
SIBLING_MODULES = {
    "quelm_ui.fast.qmparam.qmparam": "QmParam",
    "quelm_ui.fast.qmrect.qmrect": "QmRect",
    "quelm_ui.fast.quelmcache.quelmcache": "Cache",
    "quelm_ui.fast.quelmcobj.quelmcobj": "QuelmCobject",
    "quelm_ui.fast.qmshader.qmshader": "QmShader",
    "quelm_ui.fast.qmrendertex.qm_render_tex": "QmRenderTexture",
}
PY_TPFLAGS_HEAPTYPE = 1 << 9


def provenance(root: str) -> dict:
    """For every sibling module loaded: whether it came from the bed, and its type's record size
    and heap-type flag."""
    loaded = {}
    for name, type_name in SIBLING_MODULES.items():
        module = sys.modules.get(name)
        if module is not None:
            cls = getattr(module, type_name)
            loaded[name] = (module.__file__.startswith(root), cls.__basicsize__,
                            bool(cls.__flags__ & PY_TPFLAGS_HEAPTYPE))
    return loaded


def outcome(function):
    try:
        return ("ok", function())
    except Exception as error:  # the error itself is the result under test
        return (type(error).__name__, str(error))


# ---- owners ----

def owner_classes():
    from quelm_ui.fast.qmparam.qmparam import QmParam
    from quelm_ui.fast.qmrect.qmrect import QmRect
    from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
    from cy_widgets import FramedWidget

    class Widget(QuelmCobject):
        """A Python widget: the 208-byte record has no weak-reference slot, its subclasses do."""

    class PyRect(Widget):
        def get_qmrect(self):
            return QmRect(10.9, 20.5, 30.1, 40.9)

    class PyZ(Widget):
        def get_param_strict(self, name):
            return QmParam(name, 9)

    class PyOverNative(FramedWidget):
        def get_qmrect(self):
            return QmRect(-1.5, -2.5, 3, 4)

    return {"python": Widget, "python get_qmrect": PyRect, "python get_param_strict": PyZ,
            "native": FramedWidget, "python over native": PyOverNative}


def make_owner(kind, z=5, layer=11):
    """An owner of class `kind` (a name of owner_classes() or a class) at (1, 2, 3, 4) and z `z`,
    holding its request; a FramedWidget's frame is (50, 60, 70, 80) at z `layer`."""
    from quelm_ui.fast.qmrect.qmrect import QmRect
    from quelm_ui.fast.zsystem.zdispatch import ZRequest

    cls = owner_classes()[kind] if isinstance(kind, str) else kind
    owner = cls(QmRect(1, 2, 3, 4), z)
    if hasattr(owner, "frame"):
        owner.frame, owner.layer = QmRect(50, 60, 70, 80), layer
    owner._z_request = ZRequest(owner)
    return owner


def rows(system) -> list:
    """The hit arrays' rows of the live requests: ((x, y, w, h), z) each."""
    count = len(system.get_active_requests())

    def field(offset):
        address = ctypes.c_void_p.from_address(id(system) + offset).value
        return ctypes.cast(address, ctypes.py_object).value

    rects, zs = field(64), field(72)
    return [(tuple(rects[i].tolist()), int(zs[i])) for i in range(count)]


def rows_of(*owners) -> list:
    from quelm_ui.fast.zsystem.zdispatch import ZSystem

    system = ZSystem()
    for owner in owners:
        system.add(owner._z_request)
    return rows(system)


# ---- checks ----

def override_rows(kinds) -> dict:
    return {kind: rows_of(make_owner(kind)) for kind in kinds}


def dead_rows(cases) -> dict:
    results = {}
    for kind, dead in cases:
        alive, target = make_owner("python", z=1), make_owner(kind)
        target._dead = dead
        results[f"{kind} {dead}"] = rows_of(alive, target)
    return results


class IntLike:
    def __int__(self):
        return 3


def z_rows(sources) -> dict:
    """The z row of an owner whose "z" is each value (given as source text), held in its params
    or given by a native override."""
    results = {}
    for kind in ("python", "native"):
        for source in sources:
            value = eval(source, {"IntLike": IntLike})
            owner = make_owner(kind, z=value, layer=value)
            results[f"{kind} {source}"] = outcome(lambda: rows_of(owner)[0][1])
    return results


def base_color() -> tuple:
    from quelm_ui.fast.qmrect.qmrect import QmRect
    from quelm_ui.fast.raylib import quelm_raylib

    color = quelm_raylib._base_color_qmvec_ez
    return (type(color) is QmRect, color.to_tuple())


class Texture:
    def __init__(self, id, width=16, height=8):
        self.id, self.width, self.height, self.mipmaps, self.format = id, width, height, 1, 7


class RenderTexture:
    def __init__(self, texture_id=21, depth_id=31):
        self.id, self.texture, self.depth = 9, Texture(texture_id), Texture(depth_id)


def draw_render_texture(render_texture):
    """Draws `render_texture` through the bridge's exported c_draw_qmtexture_qmvec, as another
    extension module does; returns the outcome, the texture record of each raylib call and the
    number of raylib calls made while an exception was pending."""
    from quelm_ui.fast.qmrect.qmrect import QmRect
    from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
    from quelm_ui.fast.raylib import quelm_raylib
    from quelm_ui_testbeds import fake_raylib, native_consumer

    fake_raylib.clear()
    quelm_raylib.init_raylib_pointers(fake_raylib.addresses())
    result = outcome(lambda: native_consumer.call("c_draw_qmtexture_qmvec", render_texture,
                                                  QmVector2(1, 2), QmRect(5, 6, 7, 8), 0))
    textures = [call[1] for call in fake_raylib.calls()]
    return result, textures, fake_raylib.calls_with_pending_error()


def render_textures():
    from quelm_ui.fast.qmrendertex.qm_render_tex import QmRenderTexture
    from cy_widgets import DepthTexture

    class PyTexture(QmRenderTexture):
        """c_get_texture is native-only: a Python method of that name is not an override."""

        def c_get_texture(self):
            return Texture(41)

    return {"base": QmRenderTexture, "native": DepthTexture, "python": PyTexture}


def drawn(kinds) -> dict:
    return {kind: draw_render_texture(render_textures()[kind](RenderTexture()))
            for kind in kinds}


def _faulty(method, body):
    return make_owner(type("Faulty", (owner_classes()["python"],), {method: body}))


def _raise(error):
    raise error


def _with_fault(target, error):
    target.fault = error
    return target


def _without_z():
    from quelm_ui.fast.qmparam.qmparam import QmParam

    owner = make_owner("python")
    owner.params = {"x": QmParam("x", 1)}
    return owner


# Owners whose get_qmrect/get_param_strict fails, by case name.
FAULTY_OWNERS = {
    "python get_qmrect raises":
        lambda: _faulty("get_qmrect", lambda self: _raise(ValueError("layout not ready"))),
    "python get_param_strict raises":
        lambda: _faulty("get_param_strict", lambda self, name: _raise(LookupError(name))),
    "python get_qmrect returns a tuple": lambda: _faulty("get_qmrect", lambda self: (1, 2)),
    "python get_qmrect returns None": lambda: _faulty("get_qmrect", lambda self: None),
    "python get_param_strict returns None":
        lambda: _faulty("get_param_strict", lambda self, name: None),
    "native raises": lambda: _with_fault(make_owner("native"), ValueError("frame not laid out")),
    "base get_param_strict raises": _without_z,
}

# Render textures whose c_get_texture fails, by case name.
FAULTY_TEXTURES = {
    "base c_get_texture raises": lambda: render_textures()["base"](None),
    "native c_get_texture raises":
        lambda: _with_fault(render_textures()["native"](RenderTexture()),
                            RuntimeError("depth not attached")),
}


def raising(cases) -> dict:
    """The outcome of a cycle over each faulty owner, or of drawing each faulty texture."""
    from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
    from quelm_ui.fast.zsystem.zdispatch import ZSystem

    results = {}
    for case in cases:
        if case in FAULTY_TEXTURES:
            results[case] = draw_render_texture(FAULTY_TEXTURES[case]())
            continue
        owner, system = FAULTY_OWNERS[case](), ZSystem()
        system.add(owner._z_request)
        results[case] = (outcome(lambda: system.cycle(QmVector2(0, 0), 0, 0, 0, 0)),
                         system.is_dirty)
    return results


def import_in_order(modules) -> tuple:
    for name in modules:
        importlib.import_module(name)
    return (rows_of(make_owner("native"), make_owner("python")), base_color(),
            drawn(["native"])["native"])
