# Declarations of ZRequest and ZSystem for the toolkit's Cython modules: the two records with
# their fields in record order and the native method tables in slot order. Entries that return
# nothing report failure through the error indicator, which Cython checks after each call.

from cpython.object cimport PyObject

from quelm_ui.fast.qmvector2.qmvector2 cimport QmVector2


# A hit array as the dispatcher holds it: `owner` is the NumPy array itself (a strong reference,
# or null while unbound), `data` its first element; shape and strides in bytes per dimension.
# The owner is not a Cython memoryview, so the views are declared as this plain record: a
# memoryview slice declaration would let Cython count acquisitions inside the array object.
ctypedef struct ArrayView:
    PyObject* owner
    char* data
    Py_ssize_t shape[8]
    Py_ssize_t strides[8]
    Py_ssize_t suboffsets[8]


cdef class ZRequest:
    cdef object _link_ref                # weakref.ref to the owner; None before initialisation
    cdef public object on_hover_func
    cdef public object on_unhover_func
    cdef public object on_click_func
    cdef public object on_scroll_func
    cdef public object on_keyup_func
    cdef public object on_keyup_abandon_func
    cdef object __weakref__

    @staticmethod
    cdef ZRequest new(object link, object on_hover_func, object on_unhover_func,
                      object on_click_func, object on_keyup_func, object on_keyup_abandon_func,
                      object on_scroll_func)                                  # 1
    cdef object get_link(self)                                                # 2


cdef class ZSystem:
    cdef list _registered_requests       # weak references to the registered requests
    cdef public object last_hovered_request
    cdef public object clicked_request
    cdef public list live_requests       # one request per row of the hit arrays
    cdef public bint is_dirty
    cdef object rects_data               # int32 ndarray, shape (n, 4): x, y, w, h
    cdef object z_indices                # int32 ndarray, shape (n,)
    cdef ArrayView rects_view            # rects_data, row-major
    cdef ArrayView z_view                # z_indices, contiguous

    cdef void c_mark_dirty(self)                                              # 1
    cdef void _reset_arrays(self)                                             # 2
    cpdef void add(self, ZRequest z_request)                                  # 3
    cdef void _rebuild_arrays(self)                                           # 4
    cpdef object mark_dirty(self)                                             # 5
    cpdef object get_active_requests(self)                                    # 6
    cpdef object cycle(self, QmVector2 mouse_pos, bint mouse_down, bint mouse_up,
                       bint any_wheel, bint wheel_down)                       # 7
    cdef ZRequest request_cycle(self, QmVector2 mouse_pos, bint any_wheel,
                                bint wheel_down)                              # 8
