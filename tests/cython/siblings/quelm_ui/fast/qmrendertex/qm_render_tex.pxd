# QmRenderTexture as a toolkit developer declares it in Cython: a render texture object, its size
# and a loaded flag; 14 native entries, the 13th (c_get_texture) called by the raylib bridge.

cdef class QmRenderTexture:
    cdef public object render_texture
    cdef public object size                  # QmVector2
    cdef public int loaded

    cdef int c_load(self, object render_texture) except -1                  # 1
    cpdef load(self, object render_texture)                                  # 2
    cdef void c_unload(self) noexcept                                        # 3
    cpdef unload(self)                                                       # 4
    cpdef bint is_loaded(self)                                               # 5
    cpdef object get_size(self)                                              # 6
    cpdef set_size(self, object size)                                        # 7
    cdef int c_width(self) except? -1                                        # 8
    cdef int c_height(self) except? -1                                       # 9
    cpdef int width(self) except? -1                                         # 10
    cpdef int height(self) except? -1                                        # 11
    cpdef object get_render_texture(self)                                    # 12
    cdef object c_get_texture(self)                                          # 13
    cpdef object get_texture(self)                                           # 14
