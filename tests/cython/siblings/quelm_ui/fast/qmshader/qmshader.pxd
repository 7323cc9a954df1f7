# QmShader as a toolkit developer declares it in Cython: a shader program id and its uniform
# location array; one native entry.

cdef class QmShader:
    cdef unsigned int id
    cdef int* locs

    @staticmethod
    cdef QmShader c_create_from_code(unsigned int id, int* locs)            # 1
