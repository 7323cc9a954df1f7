# QmParam as a toolkit developer declares it in Cython: a named parameter; 6 native entries.

cdef class QmParam:
    cdef public object name
    cdef public int layer
    cdef public object value
    cdef public object default
    cdef public object getter
    cdef public object setter
    cdef public object type

    cpdef object get_value(self)                                             # 1
    cpdef set_value(self, object value)                                      # 2
    cpdef object get_default(self)                                           # 3
    cpdef reset(self)                                                        # 4
    cdef int _set_layer(self, int layer) except -1                           # 5
    cpdef QmParam copy(self)                                                 # 6
