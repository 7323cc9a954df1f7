# QuelmCobject as a toolkit developer declares it in Cython: the owner of an input request.
# 208-byte record (no weak-reference slot: owners are Python subclasses, as widgets are) and
# 34 native entries; the dispatcher calls get_param_strict (5) and get_qmrect (17).

from quelm_ui.fast.qmparam.qmparam cimport QmParam
from quelm_ui.fast.qmrect.qmrect cimport QmRect
from quelm_ui.fast.quelmcache.quelmcache cimport Cache

cdef class QuelmCobject:
    cdef int _sended_z_link
    cdef int _dragging
    cdef int _is_kup
    cdef int _kup_abandoned
    cdef int _force_state_set_continue
    cdef int _visible
    cdef int _active
    cdef int _changed
    cdef int _first_update
    cdef int _wait_mode
    cdef public int _dead
    cdef int booted
    cdef object coordinates                  # QmVector2
    cdef object absolute_coordinates         # QmVector2
    cdef object size                         # QmVector2
    cdef object _resize_ratio                # QmVector2
    cdef object _style                       # holds the rectangle get_qmrect returns
    cdef object hover_state
    cdef object _system_callbacks
    cdef public dict params
    cdef object _blacklisted_params
    cdef object _next_frame_functions
    cdef unsigned short node_type
    cdef object _params_map
    cdef object _param_links
    cdef Cache cache
    cdef int _has_position_anim
    cdef unsigned char _custom_flags
    cdef object _z_request                   # ZRequest or None
    cdef object specific_cache_whitelist

    cdef int _set_node_type(self, unsigned short node_type) except -1        # 1
    cdef list _get_param_names(self)                                         # 2
    cdef QmParam _find_param(self, object name)                              # 3
    cdef int _add_param(self, QmParam param) except -1                       # 4
    cpdef QmParam get_param_strict(self, object name)                        # 5
    cpdef QmParam get_param(self, object name)                               # 6
    cpdef object get_param_value(self, object name)                          # 7
    cpdef set_param_value(self, object name, object value)                   # 8
    cpdef double relx_custom(self, double x, double ratio) except? -1        # 9
    cpdef double rely_custom(self, double y, double ratio) except? -1        # 10
    cpdef tuple relm_custom(self, double x, double y, double ratio)          # 11
    cpdef double relx(self, double x) except? -1                             # 12
    cpdef double rely(self, double y) except? -1                             # 13
    cpdef set_hover_state(self, object state)                                # 14
    cpdef tuple relm(self, double x, double y)                               # 15
    cpdef tuple rel(self, object point)                                      # 16
    cpdef QmRect get_qmrect(self)                                            # 17
    cpdef set_qmrect(self, QmRect rect)                                      # 18
    cpdef bint is_visible(self) except -1                                    # 19
    cpdef set_visible(self, bint visible)                                    # 20
    cpdef bint is_active(self) except -1                                     # 21
    cpdef set_active(self, bint active)                                      # 22
    cpdef mark_changed(self)                                                 # 23
    cpdef kill(self)                                                         # 24
    cpdef object get_coordinates(self)                                       # 25
    cpdef set_coordinates(self, object coordinates)                          # 26
    cpdef object get_size(self)                                              # 27
    cpdef set_size(self, object size)                                        # 28
    cpdef add_next_frame_function(self, object function)                     # 29
    cpdef run_next_frame_functions(self)                                     # 30
    cpdef object get_z_request(self)                                         # 31
    cpdef set_z_request(self, object request)                                # 32
    cpdef bint has_custom_flag(self, unsigned char flag) except -1           # 33
    cpdef set_custom_flag(self, unsigned char flag, bint on)                 # 34
