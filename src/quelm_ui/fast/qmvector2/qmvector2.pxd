# Declarations of QmVector2 for the toolkit's Cython modules: the record and its native method
# table in slot order (1-7 static). The type is final: the dispatch flag of the two cpdef
# entries is accepted and ignored. No entry checks its vector arguments: never pass None.

ctypedef struct qm_vector2_t:
    double x
    double y


cdef class QmVector2:
    cdef qm_vector2_t data

    @staticmethod
    cdef QmVector2 new(double x, double y)                                    # 1
    @staticmethod
    cdef QmVector2 cfrom_list(list other)                                     # 2
    @staticmethod
    cdef QmVector2 cfrom_ints(int x, int y)                                   # 3
    @staticmethod
    cdef QmVector2 cfrom_floats(float x, float y)                             # 4
    @staticmethod
    cdef QmVector2 cfrom_tuple(tuple other)                                   # 5
    @staticmethod
    cdef QmVector2 cfrom_qmvector2(QmVector2 other)                           # 6
    @staticmethod
    cdef QmVector2 cfrom_xy(double x, double y)                               # 7
    cdef tuple c_get_int_tuple(self)                                          # 8
    cdef QmVector2 _add(self, QmVector2 other)                                # 9
    cdef QmVector2 _sub(self, QmVector2 other)                                # 10
    cdef void _iadd(self, QmVector2 other) noexcept                           # 11
    cdef void _isub(self, QmVector2 other) noexcept                           # 12
    cdef void _imul(self, QmVector2 other) noexcept                           # 13
    cdef void _sadd(self, QmVector2 new_vec, QmVector2 old_vec) noexcept      # 14
    cpdef QmVector2 copy(self)                                                # 15
    cpdef void sadd(self, QmVector2 new_vec, QmVector2 old_vec)               # 16
