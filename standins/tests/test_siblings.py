"""The minimal stand-ins for the sibling modules: the record layouts and table slots the
system's modules rely on, and the small Python surface tests and users build on."""

import ctypes
import gc
import weakref
from types import SimpleNamespace

import pytest

from quelm_ui.fast.qmparam.qmparam import QmParam
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmrendertex.qm_render_tex import QmRenderTexture
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.quelmcache.quelmcache import Cache
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.zsystem.zdispatch import ZRequest

OBJ = ctypes.py_object


def table_slot(cls, position, functype):
    """Slot `position` (1-based) of the type's native table, as a callable."""
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    table = get_pointer(cls.__dict__["__pyx_vtable__"], None)
    return functype(ctypes.c_void_p.from_address(table + (position - 1) * 8).value)


@pytest.mark.parametrize("cls, size", [(QmParam, 80), (QmRect, 40), (Cache, 32),
                                       (QuelmCobject, 208), (QmShader, 40),
                                       (QmRenderTexture, 48)])
def test_record_sizes_and_unnamed_table_capsules(cls, size):
    assert cls.__basicsize__ == size
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype = ctypes.c_char_p
    get_name.argtypes = [ctypes.py_object]
    assert get_name(cls.__dict__["__pyx_vtable__"]) is None


# ---- QmRect ----

def test_rect_fields_are_single_precision():
    rect = QmRect(0.1, y=2, h=-3.5)
    assert (rect.x, rect.y, rect.w, rect.h) == (0.10000000149011612, 2.0, 0.0, -3.5)
    assert ctypes.c_float.from_address(id(rect) + 24).value == rect.x
    assert ctypes.c_float.from_address(id(rect) + 36).value == -3.5
    rect.w = 7
    assert rect.w == 7.0 and repr(rect) == "QmRect(0.10000000149011612, 2.0, 7.0, -3.5)"


@pytest.mark.parametrize("action, error, message", [
    (lambda r: setattr(r, "x", "a"), TypeError, "must be real number, not str"),
    (lambda r: delattr(r, "y"), NotImplementedError, "__del__"),
    (lambda r: r.__init__(1, 2, 3, 4, 5), TypeError,
     "__init__() takes at most 4 positional arguments (5 given)"),
    (lambda r: r.__init__(1, q=2), TypeError, "__init__() got an unexpected keyword argument 'q'"),
])
def test_rect_errors_change_nothing(action, error, message):
    rect = QmRect(1, 2, 3, 4)
    with pytest.raises(error) as info:
        action(rect)
    assert str(info.value) == message
    assert (rect.x, rect.y, rect.w, rect.h) == (1.0, 2.0, 3.0, 4.0)


def test_rect_native_new():
    new = table_slot(QmRect, 1, ctypes.PYFUNCTYPE(OBJ, *[ctypes.c_float] * 4))
    rect = new(255.0, 1.5, -2.0, 0.25)
    assert type(rect) is QmRect and (rect.x, rect.y, rect.w, rect.h) == (255.0, 1.5, -2.0, 0.25)


# ---- QmParam and Cache ----

def test_param_fields():
    param = QmParam("z", 5)
    assert (param.name, param.value, param.layer) == ("z", 5, 0)
    assert (param.default, param.getter, param.setter, param.type) == (None,) * 4
    assert QmParam(name="n").value is None
    param.layer = 7
    param.default = param.getter = param.setter = param.type = len
    del param.value
    assert param.value is None and param.layer == 7 and param.type is len
    with pytest.raises(OverflowError, match="value too large to convert to int"):
        param.layer = 2**31
    with pytest.raises(NotImplementedError, match="__del__"):
        del param.layer
    with pytest.raises(TypeError, match="takes at least 1 positional argument"):
        QmParam()


def test_cache():
    cache = Cache()
    assert cache.cache_arr is None
    cache.cache_arr = [1]
    assert cache.cache_arr == [1]
    with pytest.raises(TypeError, match="takes exactly 0 positional arguments"):
        Cache(1)


# ---- QuelmCobject ----

def test_cobject_defaults_and_arguments():
    plain = QuelmCobject()
    assert (plain.qmrect.x, plain.qmrect.w) == (0.0, 0.0)
    assert list(plain.params) == ["z"] and plain.get_param_value("z") == 0
    assert plain._dead == 0 and plain._z_request is None
    rect = QmRect(1, 2, 3, 4)
    owner = QuelmCobject(rect, z=9)
    assert owner.get_qmrect() is rect and owner.qmrect is rect
    param = owner.get_param_strict("z")
    assert type(param) is QmParam and (param.name, param.value) == ("z", 9)
    bare = QuelmCobject.__new__(QuelmCobject)
    assert bare.get_param_value("z") == 0 and type(bare.get_qmrect()) is QmRect


def test_cobject_params():
    owner = QuelmCobject()
    owner.set_param_value("alpha", 0.5)
    owner.set_param_value("z", 3)
    assert owner.get_param_value("alpha") == 0.5 and owner.get_param_strict("z").value == 3
    with pytest.raises(KeyError):
        owner.get_param_strict("missing")
    owner.params = {"z": "not a param"}
    with pytest.raises(TypeError, match="^Cannot convert str to quelm_ui.fast.qmparam.qmparam"):
        owner.get_param_strict("z")
    owner.params = None
    with pytest.raises(TypeError, match="not subscriptable"):
        owner.get_param_strict("z")


@pytest.mark.parametrize("attribute, value, message", [
    ("qmrect", 5, "Cannot convert int to quelm_ui.fast.qmrect.qmrect.QmRect"),
    ("params", type("D", (dict,), {})(), "Expected dict, got D"),
    ("_z_request", QuelmCobject(), "Cannot convert quelm_ui.fast.quelmcobj.quelmcobj.QuelmCobject"
                                   " to quelm_ui.fast.zsystem.zdispatch.ZRequest"),
    ("_dead", "x", "an integer is required"),
])
def test_cobject_typed_attributes(attribute, value, message):
    owner = QuelmCobject()
    before = getattr(owner, attribute)
    with pytest.raises(TypeError) as info:
        setattr(owner, attribute, value)
    assert str(info.value) == message and getattr(owner, attribute) is before


def test_cobject_attribute_values():
    owner = QuelmCobject()
    request = ZRequest(owner)
    owner._z_request = request
    owner._dead = True
    owner.qmrect = None
    assert owner._z_request is request and owner._dead == 1 and owner.get_qmrect() is None
    del owner._z_request, owner.qmrect, owner.params
    assert owner._z_request is None and owner.qmrect is None and owner.params is None


class Custom(QuelmCobject):
    def get_qmrect(self):
        return self.result

    def get_param_strict(self, name):
        return QmParam(name, "override")


GET_QMRECT = ctypes.PYFUNCTYPE(OBJ, OBJ, ctypes.c_int)
GET_PARAM_STRICT = ctypes.PYFUNCTYPE(OBJ, OBJ, OBJ, ctypes.c_int)


def test_native_entries_honour_overrides_only_with_dispatch():
    get_qmrect = table_slot(QuelmCobject, 17, GET_QMRECT)
    get_param_strict = table_slot(QuelmCobject, 5, GET_PARAM_STRICT)
    custom = Custom(QmRect(1, 1, 1, 1), 4)
    custom.result = QmRect(9, 9, 9, 9)
    assert get_qmrect(custom, 0) is custom.result
    assert get_qmrect(custom, 1) is custom.qmrect
    assert get_param_strict(custom, "z", 0).value == "override"
    assert get_param_strict(custom, "z", 1).value == 4
    custom.result = None
    assert get_qmrect(custom, 0) is None
    custom.result = "no rect"
    with pytest.raises(TypeError, match="^Cannot convert str to quelm_ui.fast.qmrect.qmrect.QmRect"):
        get_qmrect(custom, 0)
    plain = QuelmCobject(QmRect(), 2)
    assert get_qmrect(plain, 0) is plain.qmrect and get_param_strict(plain, "z", 0).value == 2
    with pytest.raises(KeyError):
        get_param_strict(plain, "nope", 0)


def test_cobject_is_weakly_referenceable_and_collected():
    owner = QuelmCobject()
    watcher = weakref.ref(owner)
    owner.params["self"] = QmParam("self", owner)  # a cycle through params
    del owner
    gc.collect()
    assert watcher() is None
    sub = Custom()
    sub.anything = 1
    assert weakref.ref(sub)() is sub


# ---- QmShader and QmRenderTexture ----

def test_shader_fields():
    shader = QmShader(3, locs=0x1234)
    assert (shader.id, shader.locs) == (3, 0x1234)
    assert ctypes.c_uint32.from_address(id(shader) + 24).value == 3
    assert ctypes.c_void_p.from_address(id(shader) + 32).value == 0x1234
    assert (QmShader().id, QmShader().locs) == (0, 0)
    shader.id = 2**32 - 1
    assert shader.id == 4294967295
    with pytest.raises(OverflowError, match="can't convert negative value to unsigned int"):
        shader.id = -1
    with pytest.raises(OverflowError, match="value too large to convert to unsigned int"):
        shader.id = 2**32
    assert shader.id == 4294967295


def test_render_texture():
    holder = QmRenderTexture(SimpleNamespace(texture="the texture"))
    c_get_texture = table_slot(QmRenderTexture, 13, ctypes.PYFUNCTYPE(OBJ, OBJ))
    assert holder.get_texture() == "the texture" and c_get_texture(holder) == "the texture"
    empty = QmRenderTexture()
    assert empty.render_texture is None
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'texture'"):
        empty.get_texture()
    with pytest.raises(AttributeError):
        c_get_texture(empty)
