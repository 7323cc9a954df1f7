// Declarations shared by the translation units of the zdispatch module.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/qmparam_abi.hpp"
#include "quelm_ui/fast/common/qmrect_abi.hpp"
#include "quelm_ui/fast/common/quelmcache_abi.hpp"
#include "quelm_ui/fast/common/quelmcobj_abi.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/traceback.hpp"
#include "quelm_ui/fast/zsystem/zdispatch_api.hpp"

#include <span>

namespace qm::zsystem {

inline constexpr ModuleInfo kModule{"zdispatch", kModulePath,
                                    "src/quelm_ui/fast/zsystem/zdispatch"};

extern PyTypeObject ZRequestType;
extern PyTypeObject ZSystemType;
extern const ZRequestMethods kRequestMethods;
extern const ZSystemMethods kSystemMethods;

// What the module fetched at import; set in exec and held for the life of the process. An exec
// that runs again after a failed one replaces every member; the failed one drops `module_dict`.
struct Imported {
    PyObject* module_dict = nullptr; // the module's globals (np, weakref, BindType, ...)
    PyTypeObject* vector_type = nullptr;
    const vector2::qm_vector2_methods_t* vector_methods = nullptr;
    PyTypeObject* param_type = nullptr;
    PyTypeObject* rect_type = nullptr;
    PyTypeObject* cache_type = nullptr;
    PyTypeObject* cobject_type = nullptr;
    const siblings::QuelmCobjectMethods* cobject_methods = nullptr;
};
extern Imported g_imported;

// Names interned at exec for the per-call lookups (attributes, module globals, the override
// test), and the keyword-name tuple ("dtype",) of the array allocation.
struct Names {
    PyObject* x;
    PyObject* y;
    PyObject* z;
    PyObject* np;
    PyObject* empty;
    PyObject* int32;
    PyObject* dtype_kwnames;
    PyObject* weakref;
    PyObject* ref;
    PyObject* bind_type; // "BindType"
    PyObject* scroll;    // "Scroll"
    PyObject* dict;      // "__dict__"
    PyObject* update;
    PyObject* new_;             // "__new__"
    PyObject* unpickle_request; // "__pyx_unpickle_ZRequest"
    PyObject* add;
    PyObject* mark_dirty;
    PyObject* cycle;
    PyObject* get_active_requests;
};
extern Names g_names;

// Adds a traceback entry "<module path>.<operation>", e.g. "ZSystem.cycle".
inline void traceback(const char* operation) noexcept {
    add_traceback(kModule, operation);
}

// The module global `name` (an interned str of g_names), as a new reference; NameError when it
// is missing (or the module is not initialised).
Ref module_global(PyObject* name) noexcept;

// ---- ZRequest (zrequest.cpp) ----

inline bool is_request(PyObject* obj) noexcept {
    return PyObject_TypeCheck(obj, &ZRequestType);
}
inline ZRequestObject* as_request(PyObject* obj) noexcept {
    return reinterpret_cast<ZRequestObject*>(obj);
}

// `weakref.ref(obj)` through the module global, looked up at each call. May call back into
// Python.
Ref make_weak_ref(PyObject* obj) noexcept;

// `ref()`: the referent or None for a weakref.ref, else whatever calling it gives. May call
// back into Python.
Ref call_ref(PyObject* ref) noexcept;

// The request's owner: the result of calling its `_link_ref` (None once the owner is gone).
// No traceback entry. May call back into Python.
Ref request_link(ZRequestObject* request) noexcept;

// `obj` when it is a ZRequest; otherwise TypeError "Cannot convert ... to ...ZRequest".
int check_request(PyObject* obj) noexcept;
// `obj` when it is None or a QuelmCobject; otherwise the same TypeError naming QuelmCobject.
int check_owner(PyObject* obj) noexcept;

int ready_request_type() noexcept;
std::span<const FunctionDef> request_functions() noexcept;
std::span<const FunctionDef> unpickle_functions() noexcept;

// ---- ZSystem (zsystem.cpp, input_cycle.cpp) ----

inline ZSystemObject* as_system(PyObject* obj) noexcept {
    return reinterpret_cast<ZSystemObject*>(obj);
}

// Brings the arrays up to date when the dispatcher is dirty (the first step of cycle and
// get_active_requests). May call back into Python.
int refresh_arrays(ZSystemObject* self) noexcept;

int ready_system_type() noexcept;
std::span<const FunctionDef> system_functions() noexcept;
std::span<const FunctionDef> system_pickle_functions() noexcept;

// Native bodies and table entries of the input cycle.
Ref get_active_requests_body(ZSystemObject* self) noexcept;
PyObject* slot_cycle(ZSystemObject* self, vector2::QmVector2Object* mouse_pos, int mouse_down,
                     int mouse_up, int any_wheel, int wheel_down, int skip_dispatch) noexcept;
ZRequestObject* slot_request_cycle(ZSystemObject* self, vector2::QmVector2Object* mouse_pos,
                                   int any_wheel, int wheel_down) noexcept;
PyObject* slot_get_active_requests(ZSystemObject* self, int skip_dispatch) noexcept;
PyObject* py_cycle(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept;
PyObject* py_get_active_requests(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept;

// ---- hit arrays (hit_arrays.cpp, the only user of NumPy besides the module set-up) ----

// An ArrayView that owns its `owner` until it is swapped into a record.
struct LocalView {
    ArrayView view{};
    LocalView() = default;
    LocalView(const LocalView&) = delete;
    LocalView& operator=(const LocalView&) = delete;
    ~LocalView() { Py_XDECREF(view.owner); }
};

// NumPy `empty` of `rows` rows (of four columns when `columns` is 4, a 1-D array when it is 0)
// with dtype int32, through the module global `np` at each call. May call back into Python.
Ref new_int32_array(Py_ssize_t rows, int columns) noexcept;
// The first `rows` rows of `array` (a NumPy slice), checked to be an ndarray.
Ref first_rows(PyObject* array, Py_ssize_t rows) noexcept;
// Binds `out` to `array` after checking it is a writable, C-contiguous int32 ndarray with
// `ndim` dimensions (and four columns when ndim is 2). Errors as ValueError/TypeError.
int bind_view(PyObject* array, int ndim, LocalView& out) noexcept;
// Puts `fresh` into `field`; `fresh` ends up holding the old view, released with it.
void swap_view(ArrayView& field, LocalView& fresh) noexcept;
// Drops the view's owner (destruction only).
void release_view(ArrayView& view) noexcept;

int import_numpy() noexcept;

} // namespace qm::zsystem
