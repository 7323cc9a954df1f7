// Fetching native types and their method tables from other modules.
#include "quelm_ui/fast/common/type_import.hpp"

#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/ref.hpp"

namespace qm {

int publish_vtable(PyTypeObject* type, const void* table) noexcept {
    Ref capsule = Ref::steal(PyCapsule_New(const_cast<void*>(table), nullptr, nullptr));
    if (!capsule) {
        return -1;
    }
    return set_type_attr(type, "__pyx_vtable__", capsule.get());
}

PyTypeObject* import_type(const char* module_path, const char* type_name,
                          size_t expected_size) noexcept {
    Ref module = Ref::steal(PyImport_ImportModule(module_path));
    if (!module) {
        return nullptr;
    }
    Ref attr = Ref::steal(PyObject_GetAttrString(module.get(), type_name));
    if (!attr) {
        return nullptr;
    }
    if (!PyType_Check(attr.get())) {
        PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", module_path, type_name);
        return nullptr;
    }
    PyTypeObject* type = attr.as<PyTypeObject>();
    const Py_ssize_t basic_size = type->tp_basicsize;
    Py_ssize_t item_size = type->tp_itemsize;
    // A variable-size record counts at least one pointer-aligned item.
    // GCOVR_EXCL_START: no imported type has items smaller than a pointer
    if (item_size > 0 && item_size < static_cast<Py_ssize_t>(sizeof(void*))) {
        item_size = sizeof(void*);
    }
    // GCOVR_EXCL_STOP
    const auto expected = static_cast<Py_ssize_t>(expected_size);
    if (basic_size + item_size < expected) {
        PyErr_Format(PyExc_ValueError,
                     "%.200s.%.200s size changed, may indicate binary incompatibility. Expected "
                     "%zd from C header, got %zd from PyObject",
                     module_path, type_name, expected, basic_size);
        return nullptr;
    }
    if (basic_size > expected) {
        if (PyErr_WarnFormat(nullptr, 0,
                             "%.200s.%.200s size changed, may indicate binary incompatibility. "
                             "Expected %zd from C header, got %zd from PyObject",
                             module_path, type_name, expected, basic_size) < 0) {
            return nullptr;
        }
    }
    return reinterpret_cast<PyTypeObject*>(attr.release());
}

const void* get_vtable(PyTypeObject* type) noexcept {
    Ref key = Ref::steal(PyUnicode_FromString("__pyx_vtable__"));
    if (!key) {
        return nullptr;
    }
    Ref capsule = Ref::steal(PyObject_GetItem(type->tp_dict, key.get()));
    if (!capsule) {
        return nullptr;
    }
    void* table = PyCapsule_GetPointer(capsule.get(), nullptr);
    // GCOVR_EXCL_START: PyCapsule_GetPointer sets an error whenever it returns null
    if (!table && !PyErr_Occurred()) {
        PyErr_SetString(PyExc_RuntimeError, "invalid vtable found for imported type");
    }
    // GCOVR_EXCL_STOP
    return table;
}

} // namespace qm
