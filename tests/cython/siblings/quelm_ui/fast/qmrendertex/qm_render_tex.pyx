# cython: language_level=3
# Test-bed QmRenderTexture written in Cython: wraps a render texture object and hands out its
# `texture` through the native entry the raylib bridge calls.

cdef class QmRenderTexture:
    def __init__(self, render_texture=None):
        self.render_texture = render_texture

    cdef int c_load(self, object render_texture) except -1:
        self.render_texture = render_texture
        self.loaded = render_texture is not None
        return 0

    cpdef load(self, object render_texture):
        self.c_load(render_texture)

    cdef void c_unload(self) noexcept:
        self.render_texture = None
        self.loaded = 0

    cpdef unload(self):
        self.c_unload()

    cpdef bint is_loaded(self):
        return self.loaded != 0

    cpdef object get_size(self):
        return self.size

    cpdef set_size(self, object size):
        self.size = size

    cdef int c_width(self) except? -1:
        return self.c_get_texture().width

    cdef int c_height(self) except? -1:
        return self.c_get_texture().height

    cpdef int width(self) except? -1:
        return self.c_width()

    cpdef int height(self) except? -1:
        return self.c_height()

    cpdef object get_render_texture(self):
        return self.render_texture

    cdef object c_get_texture(self):
        return self.render_texture.texture

    cpdef object get_texture(self):
        return self.c_get_texture()
