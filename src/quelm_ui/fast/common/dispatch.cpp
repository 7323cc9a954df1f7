// The one override test used by every overridable native entry.
#include "quelm_ui/fast/common/dispatch.hpp"

namespace qm {

Ref find_override(PyObject* self, PyObject* name, FastImpl impl) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    const bool python_subclass =
        type->tp_dictoffset != 0 || (type->tp_flags & Py_TPFLAGS_HEAPTYPE) != 0;
    if (!python_subclass) {
        return Ref();
    }
    Ref attr = Ref::steal(PyObject_GetAttr(self, name));
    if (!attr || is_native_function(attr.get(), impl)) {
        return Ref();
    }
    return attr;
}

} // namespace qm
