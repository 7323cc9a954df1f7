// Record-field properties shared by the extension types.
#include "quelm_ui/fast/common/fields.hpp"

#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"

#include <cstdint>

namespace qm {

PyObject* object_field_get(PyObject* self, void* offset) noexcept {
    PyObject* value = field_at<PyObject*>(self, offset);
    return Py_NewRef(value ? value : Py_None);
}

int object_field_set(PyObject* self, PyObject* value, void* offset) noexcept {
    replace_field(field_at<PyObject*>(self, offset), Ref::borrow(value ? value : Py_None));
    return 0;
}

PyObject* int32_field_get(PyObject* self, void* offset) noexcept {
    return PyLong_FromLong(field_at<int32_t>(self, offset));
}

int int32_field_set(PyObject* self, PyObject* value, void* offset) noexcept {
    if (!value) {
        return err::cannot_delete();
    }
    int32_t converted = 0;
    if (to_int32(value, converted) < 0) {
        return -1;
    }
    field_at<int32_t>(self, offset) = converted;
    return 0;
}

} // namespace qm
