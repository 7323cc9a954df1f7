# cython: language_level=3
# Test-bed Cache written in Cython: cached values of a toolkit object, by key.

cdef class Cache:
    def __init__(self):
        pass

    cdef dict _entries(self):
        if self.cache_arr is None:
            self.cache_arr = {}
        return self.cache_arr

    cpdef object get(self, object key):
        return self._entries().get(key)

    cpdef set(self, object key, object value):
        self._entries()[key] = value

    cpdef bint has(self, object key) except -1:
        return key in self._entries()

    cpdef remove(self, object key):
        self._entries().pop(key, None)

    cpdef clear(self):
        self._entries().clear()

    cpdef Py_ssize_t size(self) except -1:
        return len(self._entries())
