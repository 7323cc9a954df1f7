# cython: language_level=3
# Test-bed QmShader written in Cython: a shader program id and its uniform location array.

from libc.stdint cimport uintptr_t

cdef class QmShader:
    def __init__(self, id=0, locs=0):
        self.id = id
        self.locs = <int*><uintptr_t>locs

    @staticmethod
    cdef QmShader c_create_from_code(unsigned int id, int* locs):
        cdef QmShader shader = QmShader.__new__(QmShader)
        shader.id = id
        shader.locs = locs
        return shader

    @property
    def id(self):
        return self.id

    @id.setter
    def id(self, unsigned int value):
        self.id = value

    @property
    def locs(self):
        return <uintptr_t>self.locs

    @locs.setter
    def locs(self, uintptr_t value):
        self.locs = <int*>value
