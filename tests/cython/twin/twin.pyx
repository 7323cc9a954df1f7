# distutils: language = c++
"""Signature twin of every Python-visible callable of qmvector2, zdispatch and quelm_raylib.

Each def carries its counterpart's parameter names, C types (int, float, double, bint, long,
vector[...]) and argument types (extension types, exact containers, `not None` where our modules
reject None before the body) and does nothing else, so a faulty call fails here exactly where
the Cython release that compiled this file fails it. The sibling types are local stand-ins with
the same names. Methods take `self` positional-only, as their text signatures publish it
("($self, /)"), which makes a method without parameters an argument-less callable ("takes no
arguments", keywords refused first) as the modules' conventions have it.
"""

cimport cython
from libcpp.vector cimport vector


ctypedef struct Vector4:
    float x
    float y
    float z
    float w


@cython.auto_pickle(False)
cdef class QmRect:
    pass


@cython.auto_pickle(False)
cdef class QmShader:
    pass


@cython.final
cdef class QmVector2:
    def __init__(self, *args):
        pass

    @staticmethod
    def from_qmvector2(QmVector2 other not None):
        pass

    @staticmethod
    def from_tuple(tuple other not None):
        pass

    @staticmethod
    def from_list(list other not None):
        pass

    @staticmethod
    def from_ints(int x, int y):
        pass

    @staticmethod
    def from_floats(float x, float y):
        pass

    @staticmethod
    def from_xy(double x, double y):
        pass

    def sadd(self, /, QmVector2 new_vec not None, QmVector2 old_vec not None):
        pass

    def to_int(self, /):
        pass

    def get_int(self, /):
        pass

    def to_round(self, /):
        pass

    def get_round(self, /):
        pass

    def to_abs(self, /):
        pass

    def get_abs(self, /):
        pass

    def to_neg(self, /):
        pass

    def get_neg(self, /):
        pass

    def to_tuple(self, /):
        pass

    def get_int_tuple(self, /):
        pass

    def to_pygame(self, /):
        pass

    def copy(self, /):
        pass

    def __copy__(self, /):
        pass

    def __deepcopy__(self, /, memo):
        pass

    def __reduce__(self, /):
        pass

    def __setstate__(self, /, state):
        pass

    def normalize(self, /):
        pass

    def normalize_ip(self, /):
        pass

    def distance_to(self, /, QmVector2 other not None):
        pass

    def distance_squared_to(self, /, QmVector2 other not None):
        pass

    def dot(self, /, QmVector2 other not None):
        pass


cdef class ZRequest:
    cdef object __weakref__

    def __init__(self, link, on_hover_func=None, on_unhover_func=None, on_click_func=None,
                 on_keyup_func=None, on_keyup_abandon_func=None, on_scroll_func=None):
        pass

    def __reduce__(self, /):
        pass

    def __setstate__(self, /, __pyx_state):
        pass


cdef class ZSystem:
    def __cinit__(self, *args, **kwargs):
        pass

    def add(self, /, ZRequest z_request):
        pass

    def mark_dirty(self, /):
        pass

    def get_active_requests(self, /):
        pass

    def cycle(self, /, QmVector2 mouse_pos, bint mouse_down, bint mouse_up, bint any_wheel,
                bint wheel_down):
        pass

    def __reduce__(self, /):
        pass

    def __setstate__(self, /, __pyx_state):
        pass


def __pyx_unpickle_ZRequest(__pyx_type, long __pyx_checksum, tuple __pyx_state):
    pass


def init_raylib_pointers(dict pointers):
    pass


cpdef draw_texture_rec(texture, tuple source_rec, tuple position, tuple color):
    pass


def draw_texture_rec_ez(texture, tuple source_rec, tuple position):
    pass


cpdef draw_texture_vec(texture, tuple position, tuple color, bint flip):
    pass


def draw_texture_vec_ez(texture, tuple position, bint flip):
    pass


def draw_texture_qmvec(texture, QmVector2 position, QmRect color, bint flip):
    pass


def draw_texture_qmvec_ez(texture, QmVector2 position, bint flip):
    pass


cpdef draw_texture_pro(texture, tuple source_rec, tuple dest_rec, tuple origin, float rotation,
                       tuple color):
    pass


cpdef clear_background(tuple color):
    pass


cpdef begin_drawing():
    pass


cpdef end_drawing():
    pass


cpdef begin_blend_mode(int mode):
    pass


cpdef end_blend_mode():
    pass


cpdef begin_texture_mode(target):
    pass


cpdef end_texture_mode():
    pass


def begin_shader_mode(shader):
    pass


cpdef end_shader_mode():
    pass


def get_shader_location(shader, str name):
    pass


cpdef get_qmshader_location(QmShader shader, str name):
    pass


def set_shader_value(shader, int loc_index, tuple value, int uniform_type):
    pass


cpdef set_qmshader_value(QmShader shader, int loc_index, tuple value, int uniform_type):
    pass


def set_shader_value_float(shader, int loc_index, float value):
    pass


cpdef set_qmshader_value_float(QmShader shader, int loc_index, float value):
    pass


cpdef set_qmshader_value_int(QmShader shader, int loc_index, int value):
    pass


def set_shader_value_vec2_qmvec(shader, int loc_index, QmVector2 value):
    pass


cpdef set_qmshader_value_vec2_qmvec(QmShader shader, int loc_index, QmVector2 value):
    pass


def set_shader_value_vec2_tuple(shader, int loc_index, tuple value):
    pass


cpdef set_qmshader_value_vec2_tuple(QmShader shader, int loc_index, tuple value):
    pass


def set_shader_value_vec4_tuple(shader, int loc_index, tuple value):
    pass


cpdef set_qmshader_value_vec4_tuple(QmShader shader, int loc_index, tuple value):
    pass


cpdef set_qmshader_value_vec4_v(QmShader shader, int loc_index, vector[Vector4] values):
    pass


cpdef set_qmshader_value_float_v(QmShader shader, int loc_index, vector[float] values):
    pass
