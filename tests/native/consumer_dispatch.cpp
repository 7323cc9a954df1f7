// The dispatcher half of the native consumer test bed: ZRequest's and ZSystem's native tables
// driven the way the toolkit's owner module does (requests made without __init__, frames fed to
// `cycle` with natively made QmVector2 positions), checking the error indicator after each call.
#include "consumer_internal.hpp"

#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/type_import.hpp"
#include "quelm_ui/fast/qmvector2/qmvector2_api.hpp"
#include "quelm_ui/fast/zsystem/zdispatch_api.hpp"

namespace qm::testbeds {
namespace {

using vector2::QmVector2Object;
using zsystem::ZRequestObject;
using zsystem::ZSystemObject;

struct DispatchTypes {
    PyTypeObject* request;
    const zsystem::ZRequestMethods* request_methods;
    PyTypeObject* system;
    const zsystem::ZSystemMethods* system_methods;
    PyTypeObject* vector2;
    const vector2::qm_vector2_methods_t* vector_methods;
};
DispatchTypes g_dispatch{};

PyObject* as_object(void* record) noexcept {
    return static_cast<PyObject*>(record);
}

// None for a void slot that left no error, else the pending exception.
PyObject* finish() noexcept {
    if (PyErr_Occurred()) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

// An object result of a slot: it must be null exactly when an exception is pending.
PyObject* checked(PyObject* result) noexcept {
    if ((result == nullptr) != (PyErr_Occurred() != nullptr)) {
        Py_XDECREF(result);
        PyErr_SetString(PyExc_SystemError, "a native slot broke its result contract");
        return nullptr;
    }
    return result;
}

int as_system(PyObject* obj, ZSystemObject*& out) noexcept {
    if (!PyObject_TypeCheck(obj, g_dispatch.system)) {
        PyErr_Format(PyExc_TypeError, "expected a ZSystem, got %s", Py_TYPE(obj)->tp_name);
        return -1;
    }
    out = reinterpret_cast<ZSystemObject*>(obj);
    return 0;
}

int as_flag(PyObject* obj, int& out) noexcept {
    const long value = PyLong_AsLong(obj);
    if (value == -1 && PyErr_Occurred()) {
        return -1;
    }
    out = static_cast<int>(value);
    return 0;
}

// A QmVector2 made through the vector table's `new` slot; the vector's own type check is the
// caller's promise, as for any native caller.
Ref native_vector(PyObject* x, PyObject* y) noexcept {
    const double vx = PyFloat_AsDouble(x);
    if (vx == -1.0 && PyErr_Occurred()) {
        return Ref();
    }
    const double vy = PyFloat_AsDouble(y);
    if (vy == -1.0 && PyErr_Occurred()) {
        return Ref();
    }
    return Ref::steal(as_object(g_dispatch.vector_methods->new_(vx, vy)));
}

// new_request(link, on_hover, on_unhover, on_click, on_keyup, on_keyup_abandon, on_scroll):
// ZRequest's static `new` slot, which never runs __init__.
PyObject* py_new_request(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs != 7) {
        PyErr_SetString(PyExc_TypeError, "new_request takes 7 arguments");
        return nullptr;
    }
    return checked(as_object(g_dispatch.request_methods->new_(args[0], args[1], args[2], args[3],
                                                              args[4], args[5], args[6])));
}

// request_link(request): the request's `get_link` slot (its owner, or None once it is gone).
PyObject* py_request_link(PyObject*, PyObject* request) noexcept {
    if (!PyObject_TypeCheck(request, g_dispatch.request)) {
        PyErr_SetString(PyExc_TypeError, "expected a ZRequest");
        return nullptr;
    }
    auto* record = reinterpret_cast<ZRequestObject*>(request);
    return checked(record->vtab->get_link(record));
}

// system_call(system, slot, *args): one slot of the system's own native table; the dispatch
// flag is the last argument where the slot has one.
PyObject* py_system_call(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    ZSystemObject* system = nullptr;
    if (nargs < 2 || as_system(args[0], system) < 0 || !PyUnicode_Check(args[1])) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_TypeError, "system_call(system, slot: str, *args)");
        }
        return nullptr;
    }
    const zsystem::ZSystemMethods& m = *system->vtab;
    PyObject* const* a = args + 2;
    const Py_ssize_t n = nargs - 2;
    auto is = [&](const char* slot, Py_ssize_t arity) noexcept {
        return PyUnicode_CompareWithASCIIString(args[1], slot) == 0 && n == arity;
    };
    int flag = 0;
    if (is("c_mark_dirty", 0)) {
        m.c_mark_dirty(system);
        return finish();
    }
    if (is("_reset_arrays", 0)) {
        m._reset_arrays(system);
        return finish();
    }
    if (is("_rebuild_arrays", 0)) {
        m._rebuild_arrays(system);
        return finish();
    }
    if (is("add", 2)) {
        if (a[0] != Py_None && !PyObject_TypeCheck(a[0], g_dispatch.request)) {
            PyErr_SetString(PyExc_TypeError, "expected a ZRequest or None");
            return nullptr;
        }
        if (as_flag(a[1], flag) < 0) {
            return nullptr;
        }
        m.add(system, reinterpret_cast<ZRequestObject*>(a[0]), flag);
        return finish();
    }
    if (is("mark_dirty", 1)) {
        return as_flag(a[0], flag) < 0 ? nullptr : checked(m.mark_dirty(system, flag));
    }
    if (is("get_active_requests", 1)) {
        return as_flag(a[0], flag) < 0 ? nullptr : checked(m.get_active_requests(system, flag));
    }
    PyErr_Format(PyExc_KeyError, "no slot %R taking %zd arguments", args[1], n);
    return nullptr;
}

// frame(system, x, y, mouse_down, mouse_up, any_wheel, wheel_down, skip_dispatch): one input
// frame made only of native calls: the pointer position from QmVector2's table, then the
// system's `cycle` slot. Returns cycle's result.
PyObject* py_frame(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    ZSystemObject* system = nullptr;
    int flags[5] = {};
    if (nargs != 8 || as_system(args[0], system) < 0) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_TypeError, "frame takes 8 arguments");
        }
        return nullptr;
    }
    for (int i = 0; i < 5; ++i) {
        if (as_flag(args[3 + i], flags[i]) < 0) {
            return nullptr;
        }
    }
    Ref position = native_vector(args[1], args[2]);
    if (!position) {
        return nullptr;
    }
    return checked(system->vtab->cycle(system, position.as<QmVector2Object>(), flags[0], flags[1],
                                       flags[2], flags[3], flags[4]));
}

// hovered_by(system, x, y, any_wheel, wheel_down): the `request_cycle` slot (the request under
// the pointer, or None), a new reference.
PyObject* py_hovered_by(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    ZSystemObject* system = nullptr;
    int any_wheel = 0;
    int wheel_down = 0;
    if (nargs != 5 || as_system(args[0], system) < 0 || as_flag(args[3], any_wheel) < 0 ||
        as_flag(args[4], wheel_down) < 0) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_TypeError, "hovered_by takes 5 arguments");
        }
        return nullptr;
    }
    Ref position = native_vector(args[1], args[2]);
    if (!position) {
        return nullptr;
    }
    ZRequestObject* hit =
        system->vtab->request_cycle(system, position.as<QmVector2Object>(), any_wheel, wheel_down);
    if (PyErr_Occurred()) {
        Py_XDECREF(as_object(hit));
        return nullptr;
    }
    return hit ? as_object(hit) : Py_NewRef(Py_None);
}

PyMethodDef methods[] = {
    {"new_request", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_new_request)),
     METH_FASTCALL, "ZRequest's native `new` slot."},
    {"request_link", py_request_link, METH_O, "ZRequest's native `get_link` slot."},
    {"system_call", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_system_call)),
     METH_FASTCALL, "One slot of ZSystem's native table."},
    {"frame", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_frame)), METH_FASTCALL,
     "A native QmVector2 position fed to ZSystem's `cycle` slot."},
    {"hovered_by", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_hovered_by)),
     METH_FASTCALL, "ZSystem's `request_cycle` slot at a natively made position."},
    {nullptr, nullptr, 0, nullptr},
};

} // namespace

int add_dispatch_functions(PyObject* module) noexcept {
    DispatchTypes& t = g_dispatch;
    if (import_type_with_table(vector2::kModulePath, vector2::kTypeName, vector2::kRecordSize,
                               t.vector2, t.vector_methods) < 0 ||
        import_type_with_table(zsystem::kModulePath, zsystem::kZRequestName, zsystem::kZRequestSize,
                               t.request, t.request_methods) < 0 ||
        import_type_with_table(zsystem::kModulePath, zsystem::kZSystemName, zsystem::kZSystemSize,
                               t.system, t.system_methods) < 0) {
        return -1;
    }
    return PyModule_AddFunctions(module, methods);
}

} // namespace qm::testbeds
