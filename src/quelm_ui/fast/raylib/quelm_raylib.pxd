# Declarations of quelm_raylib's exported native entry points for the toolkit's Cython modules
# (C++ mode: two entries take std::vector). Each binds at import through __pyx_capi__ by name and
# signature text; an entry that fails leaves the exception pending and Cython checks after it.

from libcpp.vector cimport vector

from quelm_ui.fast.qmrect.qmrect cimport QmRect
from quelm_ui.fast.qmrendertex.qm_render_tex cimport QmRenderTexture
from quelm_ui.fast.qmshader.qmshader cimport QmShader
from quelm_ui.fast.qmvector2.qmvector2 cimport QmVector2


# raylib's four-float vector, defined here unless raylib.h (same guard) came first.
cdef extern from *:
    """
    #ifndef RL_VECTOR4_TYPE
    typedef struct Vector4 { float x; float y; float z; float w; } Vector4;
    #define RL_VECTOR4_TYPE
    #endif
    """
    ctypedef struct Vector4:
        float x
        float y
        float z
        float w


cdef object begin_qmshader_mode(QmShader shader)
cpdef int get_qmshader_location(QmShader shader, str name) except? -1
cdef void c_clear_background(object color)
cdef void c_draw_texture_rec(object texture, object source_rec, object position, object color)
cdef void c_draw_texture_pro(object texture, object source_rec, object dest_rec, object origin,
                             float rotation, object color)
cpdef void draw_texture_pro(object texture, tuple source_rec, tuple dest_rec, tuple origin,
                            float rotation, tuple color)
cpdef void draw_texture_rec(object texture, tuple source_rec, tuple position, tuple color)
cdef void c_draw_texture_vec(object texture, object position, object color, bint flip)
cpdef void draw_texture_vec(object texture, tuple position, tuple color, bint flip)
cpdef void begin_texture_mode(object target)
cpdef void clear_background(tuple color)
cpdef void init_raylib_pointers(dict pointers)
cdef void c_draw_texture_qmvec(object texture, QmVector2 position, QmRect color, bint flip)
cpdef void begin_drawing()
cpdef void end_blend_mode()
cpdef void end_drawing()
cpdef void end_shader_mode()
cpdef void end_texture_mode()
cpdef void begin_blend_mode(int mode)
cdef void c_draw_qmtexture_qmvec(QmRenderTexture texture, QmVector2 position, QmRect color,
                                 bint flip)
cdef void qm_clear_background(QmRect color)
cpdef void set_qmshader_value_vec2_tuple(QmShader shader, int loc_index, tuple value)
cpdef void set_qmshader_value_vec4_tuple(QmShader shader, int loc_index, tuple value)
cpdef void set_qmshader_value(QmShader shader, int loc_index, tuple value, int uniform_type)
cpdef void set_qmshader_value_float(QmShader shader, int loc_index, float value)
cpdef void set_qmshader_value_int(QmShader shader, int loc_index, int value)
cpdef void set_qmshader_value_vec4_v(QmShader shader, int loc_index, vector[Vector4] values)
cpdef void set_qmshader_value_float_v(QmShader shader, int loc_index, vector[float] values)
cpdef void set_qmshader_value_vec2_qmvec(QmShader shader, int loc_index, QmVector2 value)
cdef void c_clear_background_blank()
