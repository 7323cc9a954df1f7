# Cache as a toolkit developer declares it in Cython: one dict of cached values; 7 native entries.

cdef class Cache:
    cdef public object cache_arr

    cpdef object get(self, object key)                                       # 1
    cpdef set(self, object key, object value)                                # 2
    cpdef bint has(self, object key) except -1                               # 3
    cpdef remove(self, object key)                                           # 4
    cpdef clear(self)                                                        # 5
    cpdef Py_ssize_t size(self) except -1                                    # 6
    cdef dict _entries(self)                                                 # 7
