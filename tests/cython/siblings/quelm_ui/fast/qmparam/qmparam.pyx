# cython: language_level=3
# Test-bed QmParam written in Cython: a named parameter of a toolkit object.

cdef class QmParam:
    def __init__(self, name, value=None):
        self.name = name
        self.value = value

    cpdef object get_value(self):
        return self.value if self.getter is None else self.getter()

    cpdef set_value(self, object value):
        if self.setter is not None:
            self.setter(value)
        self.value = value

    cpdef object get_default(self):
        return self.default

    cpdef reset(self):
        self.set_value(self.default)

    cdef int _set_layer(self, int layer) except -1:
        self.layer = layer
        return 0

    cpdef QmParam copy(self):
        cdef QmParam param = QmParam(self.name, self.value)
        param.layer = self.layer
        param.default = self.default
        param.getter = self.getter
        param.setter = self.setter
        param.type = self.type
        return param
