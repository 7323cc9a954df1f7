// Binary contract of the zdispatch module: the ZRequest and ZSystem records and their native
// method tables, as other extension modules of the toolkit see them (the owner type's module
// holds a ZRequest field and creates requests through the table). Importers include only this
// header.
#pragma once

#include <Python.h>

#include <cstddef>

#include "quelm_ui/fast/qmvector2/qmvector2_api.hpp"

namespace qm::zsystem {

struct ZRequestObject;
struct ZSystemObject;

// Native table of ZRequest, in binding slot order. `new` is static and never runs __init__;
// both return new references, or null with an exception set.
struct ZRequestMethods {
    ZRequestObject* (*new_)(PyObject* link, PyObject* on_hover_func, PyObject* on_unhover_func,
                            PyObject* on_click_func, PyObject* on_keyup_func,
                            PyObject* on_keyup_abandon_func,
                            PyObject* on_scroll_func) noexcept; // 1 "new"
    PyObject* (*get_link)(ZRequestObject* self) noexcept;       // 2
};

// Invariant: the seven object fields always hold a reference (None when unset); `_link_ref` is
// the owner's weak reference, never the owner itself.
struct ZRequestObject {
    PyObject_HEAD const ZRequestMethods* vtab;
    PyObject* _link_ref;
    PyObject* on_hover_func;
    PyObject* on_unhover_func;
    PyObject* on_click_func;
    PyObject* on_scroll_func;
    PyObject* on_keyup_func;
    PyObject* on_keyup_abandon_func;
    PyObject* weakreflist;
};

// A typed view of a NumPy array: the object that keeps the data alive (a strong reference, or
// null while unbound), the first element, and shape/strides/suboffsets per dimension (bytes;
// suboffsets -1: no indirection).
struct ArrayView {
    PyObject* owner;
    char* data;
    Py_ssize_t shape[8];
    Py_ssize_t strides[8];
    Py_ssize_t suboffsets[8];
};

// Native table of ZSystem, in binding slot order. Entries that take `skip_dispatch` call a
// Python subclass's method of the same name instead when it is 0 (Python overrides honoured).
// Entries without an object result report failure through the error indicator only: callers
// test PyErr_Occurred() after them. Object results are new references or null with an error.
struct ZSystemMethods {
    void (*c_mark_dirty)(ZSystemObject* self) noexcept;                                      // 1
    void (*_reset_arrays)(ZSystemObject* self) noexcept;                                     // 2
    void (*add)(ZSystemObject* self, ZRequestObject* z_request, int skip_dispatch) noexcept; // 3
    void (*_rebuild_arrays)(ZSystemObject* self) noexcept;                                   // 4
    PyObject* (*mark_dirty)(ZSystemObject* self, int skip_dispatch) noexcept;                // 5
    PyObject* (*get_active_requests)(ZSystemObject* self, int skip_dispatch) noexcept;       // 6
    PyObject* (*cycle)(ZSystemObject* self, vector2::QmVector2Object* mouse_pos, int mouse_down,
                       int mouse_up, int any_wheel, int wheel_down,
                       int skip_dispatch) noexcept; // 7
    ZRequestObject* (*request_cycle)(ZSystemObject* self, vector2::QmVector2Object* mouse_pos,
                                     int any_wheel, int wheel_down) noexcept; // 8
};

// Invariants: the six object fields hold references (None after a garbage-collector clear);
// `_registered_requests` and `live_requests` are lists or None; rects_view/z_view view
// rects_data/z_indices as C-contiguous int32 arrays of shapes (n, 4) and (n,).
struct ZSystemObject {
    PyObject_HEAD const ZSystemMethods* vtab;
    PyObject* _registered_requests;
    PyObject* last_hovered_request;
    PyObject* clicked_request;
    PyObject* live_requests;
    int is_dirty;
    int reserved_; // padding in the published layout; private to the zdispatch module
    PyObject* rects_data;
    PyObject* z_indices;
    ArrayView rects_view;
    ArrayView z_view;
};

inline constexpr const char* kModulePath = "quelm_ui.fast.zsystem.zdispatch";
inline constexpr const char* kZRequestName = "ZRequest";
inline constexpr const char* kZSystemName = "ZSystem";
inline constexpr size_t kZRequestSize = 88;
inline constexpr size_t kZSystemSize = 496;

static_assert(sizeof(ArrayView) == 208);
static_assert(offsetof(ArrayView, data) == 8 && offsetof(ArrayView, shape) == 16 &&
              offsetof(ArrayView, strides) == 80 && offsetof(ArrayView, suboffsets) == 144);

static_assert(sizeof(ZRequestObject) == kZRequestSize);
static_assert(offsetof(ZRequestObject, vtab) == 16 && offsetof(ZRequestObject, _link_ref) == 24 &&
              offsetof(ZRequestObject, on_hover_func) == 32 &&
              offsetof(ZRequestObject, on_unhover_func) == 40 &&
              offsetof(ZRequestObject, on_click_func) == 48 &&
              offsetof(ZRequestObject, on_scroll_func) == 56 &&
              offsetof(ZRequestObject, on_keyup_func) == 64 &&
              offsetof(ZRequestObject, on_keyup_abandon_func) == 72 &&
              offsetof(ZRequestObject, weakreflist) == 80);

static_assert(sizeof(ZSystemObject) == kZSystemSize);
static_assert(offsetof(ZSystemObject, vtab) == 16 &&
              offsetof(ZSystemObject, _registered_requests) == 24 &&
              offsetof(ZSystemObject, last_hovered_request) == 32 &&
              offsetof(ZSystemObject, clicked_request) == 40 &&
              offsetof(ZSystemObject, live_requests) == 48 &&
              offsetof(ZSystemObject, is_dirty) == 56 &&
              offsetof(ZSystemObject, rects_data) == 64 &&
              offsetof(ZSystemObject, z_indices) == 72 &&
              offsetof(ZSystemObject, rects_view) == 80 && offsetof(ZSystemObject, z_view) == 288);

#define QM_ZSYSTEM_SLOT(table, field, position)                                                    \
    static_assert(offsetof(table, field) == ((position) - 1) * sizeof(void*))
QM_ZSYSTEM_SLOT(ZRequestMethods, new_, 1);
QM_ZSYSTEM_SLOT(ZRequestMethods, get_link, 2);
static_assert(sizeof(ZRequestMethods) == 2 * sizeof(void*));
QM_ZSYSTEM_SLOT(ZSystemMethods, c_mark_dirty, 1);
QM_ZSYSTEM_SLOT(ZSystemMethods, _reset_arrays, 2);
QM_ZSYSTEM_SLOT(ZSystemMethods, add, 3);
QM_ZSYSTEM_SLOT(ZSystemMethods, _rebuild_arrays, 4);
QM_ZSYSTEM_SLOT(ZSystemMethods, mark_dirty, 5);
QM_ZSYSTEM_SLOT(ZSystemMethods, get_active_requests, 6);
QM_ZSYSTEM_SLOT(ZSystemMethods, cycle, 7);
QM_ZSYSTEM_SLOT(ZSystemMethods, request_cycle, 8);
static_assert(sizeof(ZSystemMethods) == 8 * sizeof(void*));
#undef QM_ZSYSTEM_SLOT

} // namespace qm::zsystem
