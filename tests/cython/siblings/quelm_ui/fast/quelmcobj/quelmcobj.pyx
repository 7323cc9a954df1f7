# cython: language_level=3
# Test-bed QuelmCobject written in Cython: a toolkit object with a rectangle and named
# parameters (its z among them), the owner of an input request.

from quelm_ui.fast.qmparam.qmparam cimport QmParam
from quelm_ui.fast.qmrect.qmrect cimport QmRect
from quelm_ui.fast.quelmcache.quelmcache cimport Cache


cdef class QuelmCobject:
    def __cinit__(self, *args, **kwargs):
        self._visible = 1
        self._active = 1
        self._first_update = 1
        self._style = QmRect.new(0.0, 0.0, 0.0, 0.0)
        self.params = {"z": QmParam("z", 0)}
        self.cache = Cache()

    def __init__(self, QmRect rect=None, z=0):
        self._style = QmRect.new(0.0, 0.0, 0.0, 0.0) if rect is None else rect
        self.params = {"z": QmParam("z", z)}

    @property
    def qmrect(self):
        return self._style

    @qmrect.setter
    def qmrect(self, QmRect rect):
        self._style = rect

    @property
    def _z_request(self):
        return self._z_request

    @_z_request.setter
    def _z_request(self, request):
        self.set_z_request(request)

    cdef int _set_node_type(self, unsigned short node_type) except -1:
        self.node_type = node_type
        return 0

    cdef list _get_param_names(self):
        return list(self.params)

    cdef QmParam _find_param(self, object name):
        return self.params.get(name)

    cdef int _add_param(self, QmParam param) except -1:
        self.params[param.name] = param
        return 0

    cpdef QmParam get_param_strict(self, object name):
        return self.params[name]

    cpdef QmParam get_param(self, object name):
        return self._find_param(name)

    cpdef object get_param_value(self, object name):
        return self.get_param_strict(name).value

    cpdef set_param_value(self, object name, object value):
        cdef QmParam param = self._find_param(name)
        if param is None:
            self._add_param(QmParam(name, value))
        else:
            param.value = value

    cpdef double relx_custom(self, double x, double ratio) except? -1:
        return x * ratio

    cpdef double rely_custom(self, double y, double ratio) except? -1:
        return y * ratio

    cpdef tuple relm_custom(self, double x, double y, double ratio):
        return (x * ratio, y * ratio)

    cpdef double relx(self, double x) except? -1:
        return x if self._resize_ratio is None else x * self._resize_ratio.x

    cpdef double rely(self, double y) except? -1:
        return y if self._resize_ratio is None else y * self._resize_ratio.y

    cpdef set_hover_state(self, object state):
        self.hover_state = state

    cpdef tuple relm(self, double x, double y):
        return (self.relx(x), self.rely(y))

    cpdef tuple rel(self, object point):
        return self.relm(point[0], point[1])

    cpdef QmRect get_qmrect(self):
        return self._style

    cpdef set_qmrect(self, QmRect rect):
        self._style = rect

    cpdef bint is_visible(self) except -1:
        return self._visible != 0

    cpdef set_visible(self, bint visible):
        self._visible = visible

    cpdef bint is_active(self) except -1:
        return self._active != 0

    cpdef set_active(self, bint active):
        self._active = active

    cpdef mark_changed(self):
        self._changed = 1

    cpdef kill(self):
        self._dead = 1

    cpdef object get_coordinates(self):
        return self.coordinates

    cpdef set_coordinates(self, object coordinates):
        self.coordinates = coordinates

    cpdef object get_size(self):
        return self.size

    cpdef set_size(self, object size):
        self.size = size

    cpdef add_next_frame_function(self, object function):
        if self._next_frame_functions is None:
            self._next_frame_functions = []
        self._next_frame_functions.append(function)

    cpdef run_next_frame_functions(self):
        functions, self._next_frame_functions = self._next_frame_functions, None
        for function in functions or ():
            function()

    cpdef object get_z_request(self):
        return self._z_request

    cpdef set_z_request(self, object request):
        if request is not None:
            from quelm_ui.fast.zsystem.zdispatch import ZRequest
            if not isinstance(request, ZRequest):
                raise TypeError(f"Cannot convert {type(request).__name__} to "
                                f"{ZRequest.__module__}.{ZRequest.__qualname__}")
        self._z_request = request

    cpdef bint has_custom_flag(self, unsigned char flag) except -1:
        return (self._custom_flags & flag) != 0

    cpdef set_custom_flag(self, unsigned char flag, bint on):
        if on:
            self._custom_flags |= flag
        else:
            self._custom_flags &= ~flag
