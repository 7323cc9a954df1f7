# QmRect as a toolkit developer declares it in Cython: four 32-bit floats; 12 native entries,
# the first being the static constructor `new`.

cdef class QmRect:
    cdef public float x
    cdef public float y
    cdef public float w
    cdef public float h

    @staticmethod
    cdef QmRect new(float x, float y, float w, float h)                      # 1
    cpdef QmRect copy(self)                                                  # 2
    cdef bint c_collidepoint(self, float px, float py) noexcept              # 3
    cpdef bint collidepoint(self, float px, float py)                        # 4
    cpdef bint colliderect(self, QmRect other)                               # 5
    cpdef QmRect move(self, float dx, float dy)                              # 6
    cpdef move_ip(self, float dx, float dy)                                  # 7
    cpdef float right(self)                                                  # 8
    cpdef float bottom(self)                                                 # 9
    cpdef float centerx(self)                                                # 10
    cpdef float centery(self)                                                # 11
    cpdef tuple to_tuple(self)                                               # 12
