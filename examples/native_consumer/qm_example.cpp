// An example native consumer of quelm-ui-fast: at import it fetches QmVector2's native method
// table and binds three of quelm_raylib's exported entry points, compiled against the headers
// the installed package reports (quelm_ui.fast.qmvector2.get_include()), then calls them.
#include <Python.h>

#include "quelm_ui/fast/qmvector2/qmvector2_api.hpp"
#include "quelm_ui/fast/raylib/quelm_raylib_capi.hpp"

namespace {

namespace capi = qm::raylib::capi;
using qm::vector2::qm_vector2_methods_t;
using qm::vector2::QmVector2Object;

// Bound once by the module's exec slot; valid for the life of the process, because the modules
// that own them are never unloaded.
const qm_vector2_methods_t* vector_table = nullptr;
capi::CClearBackground c_clear_background = nullptr;
capi::ObjectAndFlag init_raylib_pointers = nullptr;
capi::FlagOnly end_drawing = nullptr;

// QmVector2's table from the capsule under `__pyx_vtable__` in the type's dictionary, after
// checking the type's record size against the header. Returns 0, or -1 with an exception set.
int bind_vector_table() noexcept {
    PyObject* module = PyImport_ImportModule(qm::vector2::kModulePath);
    if (module == nullptr) {
        return -1;
    }
    PyObject* type = PyObject_GetAttrString(module, qm::vector2::kTypeName);
    Py_DECREF(module);
    if (type == nullptr) {
        return -1;
    }
    int result = -1;
    if (!PyType_Check(type) || reinterpret_cast<PyTypeObject*>(type)->tp_basicsize !=
                                   static_cast<Py_ssize_t>(qm::vector2::kRecordSize)) {
        PyErr_SetString(PyExc_ImportError, "QmVector2 does not match qmvector2_api.hpp");
    } else if (PyObject* capsule = PyObject_GetAttrString(type, "__pyx_vtable__")) {
        vector_table =
            static_cast<const qm_vector2_methods_t*>(PyCapsule_GetPointer(capsule, nullptr));
        Py_DECREF(capsule);
        result = vector_table == nullptr ? -1 : 0;
    }
    Py_DECREF(type);
    return result;
}

// Three entry points from quelm_raylib's `__pyx_capi__`, by name and signature text. Returns 0,
// or -1 with an exception set.
int bind_raylib_entries() noexcept {
    PyObject* module = PyImport_ImportModule(capi::kModulePath);
    if (module == nullptr) {
        return -1;
    }
    PyObject* table = PyObject_GetAttrString(module, capi::kCapiAttr);
    Py_DECREF(module);
    if (table == nullptr) {
        return -1;
    }
    c_clear_background = capi::bind_entry(table, capi::c_clear_background);
    init_raylib_pointers =
        c_clear_background ? capi::bind_entry(table, capi::init_raylib_pointers) : nullptr;
    end_drawing = init_raylib_pointers ? capi::bind_entry(table, capi::end_drawing) : nullptr;
    Py_DECREF(table);
    return end_drawing == nullptr ? -1 : 0;
}

// path_end(steps): the sum of the (x, y) steps, as a new QmVector2 built and added up through
// the table alone. Returns a new reference, or null with an exception set.
PyObject* path_end(PyObject*, PyObject* steps) noexcept {
    PyObject* items = PySequence_Fast(steps, "path_end() takes a sequence of (x, y) tuples");
    if (items == nullptr) {
        return nullptr;
    }
    QmVector2Object* end = vector_table->new_(0.0, 0.0);
    for (Py_ssize_t i = 0; end != nullptr && i < PySequence_Fast_GET_SIZE(items); ++i) {
        QmVector2Object* step = vector_table->cfrom_tuple(PySequence_Fast_GET_ITEM(items, i));
        if (step == nullptr) {
            Py_CLEAR(end);
            break;
        }
        vector_table->_iadd(end, step);
        Py_DECREF(step);
    }
    Py_DECREF(items);
    return reinterpret_cast<PyObject*>(end);
}

// The entry points leave a Python exception pending on failure: check after every call.
PyObject* finish_call() noexcept {
    if (PyErr_Occurred()) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

// bind(addresses): hands raylib function addresses to the bridge, natively.
PyObject* bind(PyObject*, PyObject* addresses) noexcept {
    init_raylib_pointers(addresses, 0);
    return finish_call();
}

// clear(color): raylib's ClearBackground through the bridge, natively.
PyObject* clear(PyObject*, PyObject* color) noexcept {
    c_clear_background(color);
    return finish_call();
}

// finish_frame(): raylib's EndDrawing through the bridge, natively.
PyObject* finish_frame(PyObject*, PyObject*) noexcept {
    end_drawing(0);
    return finish_call();
}

int exec_module(PyObject*) noexcept {
    return bind_vector_table() < 0 ? -1 : bind_raylib_entries();
}

PyMethodDef methods[] = {
    {"path_end", path_end, METH_O, "Sum of (x, y) steps as a QmVector2, added up natively."},
    {"bind", bind, METH_O, "Bind raylib function addresses (a dict) through the bridge."},
    {"clear", clear, METH_O, "Clear the background through the bridge's native entry."},
    {"finish_frame", finish_frame, METH_NOARGS, "End the frame through the bridge's native entry."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "qm_example", nullptr, 0, methods, slots, nullptr, nullptr, nullptr};

} // namespace

PyMODINIT_FUNC PyInit_qm_example() noexcept {
    return PyModuleDef_Init(&module_def);
}
