# cython: language_level=3
# Toolkit widgets written as native subclasses of the Cython siblings, the way the toolkit's own
# widgets are: their overrides of cpdef/cdef entries live in their own native tables.

from quelm_ui.fast.qmparam.qmparam cimport QmParam
from quelm_ui.fast.qmrect.qmrect cimport QmRect
from quelm_ui.fast.qmrendertex.qm_render_tex cimport QmRenderTexture
from quelm_ui.fast.quelmcobj.quelmcobj cimport QuelmCobject


cdef class FramedWidget(QuelmCobject):
    """Hit-tested by its `frame` rather than its layout rectangle, at the z of its `layer`;
    `fault`, when set, is raised by both methods (a widget whose layout is not ready). Its own
    weak-reference slot lets its instances own input requests without a Python subclass."""
    cdef object __weakref__
    cdef public QmRect frame
    cdef public object layer
    cdef public object fault

    cpdef QmRect get_qmrect(self):
        if self.fault is not None:
            raise self.fault
        return self.frame

    cpdef QmParam get_param_strict(self, object name):
        if self.fault is not None:
            raise self.fault
        if name == "z":
            return QmParam("z", self.layer)
        return QuelmCobject.get_param_strict(self, name)


cdef class DepthTexture(QmRenderTexture):
    """A render texture drawn by its depth attachment; `fault`, when set, is raised instead."""
    cdef public object fault

    cdef object c_get_texture(self):
        if self.fault is not None:
            raise self.fault
        return self.render_texture.depth
