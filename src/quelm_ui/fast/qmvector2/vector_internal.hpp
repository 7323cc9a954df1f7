// Declarations shared by the translation units of the qmvector2 module.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/traceback.hpp"
#include "quelm_ui/fast/qmvector2/vec2_math.hpp"

#include <span>

namespace qm::vector2 {

inline constexpr ModuleInfo kModule{"qmvector2", "quelm_ui.fast.qmvector2.qmvector2",
                                    "src/quelm_ui/fast/qmvector2/qmvector2"};

extern PyTypeObject QmVector2Type;
extern const qm_vector2_methods_t kMethods;

// Names interned at exec for the per-call lookups (null until the first exec, replaced by a
// later one after a failure).
struct Names {
    PyObject* x;
    PyObject* y;
    PyObject* clamp_magnitude_ip; // the marker of a pygame-shaped vector
    PyObject* md;                 // the module global holding the toolkit's modules
    PyObject* pygame;
    PyObject* vector2; // "Vector2"
};
extern Names g_names;

inline QmVector2Object* as_vector(PyObject* obj) noexcept {
    return reinterpret_cast<QmVector2Object*>(obj);
}
inline bool is_vector(PyObject* obj) noexcept {
    return Py_IS_TYPE(obj, &QmVector2Type);
}
inline PyObject* as_object(QmVector2Object* vector) noexcept {
    return reinterpret_cast<PyObject*>(vector);
}

// 0 for a vector; -1 with the standard argument-type TypeError naming `param` for anything
// else, None included (a None must never reach the field reads that follow).
inline int require_vector(PyObject* obj, const char* param) noexcept {
    if (is_vector(obj)) [[likely]] {
        return 0;
    }
    err::arg_type(param, QmVector2Type.tp_name, obj);
    return -1;
}

// A new vector from the free list (or fresh memory) holding `value`; never runs __init__.
// Returns a new reference, or nullptr with MemoryError.
QmVector2Object* make_vector(const Vec2& value) noexcept;

// Adds a traceback entry "QmVector2.<operation>".
inline void traceback(const char* operation) noexcept {
    char name[128];
    PyOS_snprintf(name, sizeof name, "QmVector2.%s", operation);
    add_traceback(kModule, name);
}

// Error exit of a Python-visible operation: adds its traceback entry and returns nullptr. Kept
// out of line so that the hot paths calling it carry no name buffer.
[[gnu::cold, gnu::noinline]] inline PyObject* fail(const char* operation) noexcept {
    traceback(operation);
    return nullptr;
}

// check_no_args with the common case, no arguments at all, decided inline.
inline int no_args(const char* func, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (nargs == 0 && !kwnames) [[likely]] {
        return 0;
    }
    return check_no_args(func, nargs, kwnames);
}

// A new vector holding `value` as the result of `operation` (a new reference), or nullptr with
// MemoryError and the operation's traceback entry.
inline PyObject* new_result(const Vec2& value, const char* operation) noexcept {
    QmVector2Object* result = make_vector(value);
    if (!result) [[unlikely]] {
        return fail(operation);
    }
    return as_object(result);
}

// `value` as a new Python float, or nullptr with MemoryError and the operation's entry.
inline PyObject* float_result(double value, const char* operation) noexcept {
    PyObject* result = PyFloat_FromDouble(value);
    if (!result) [[unlikely]] {
        return fail(operation);
    }
    return result;
}

// Python-visible functions of the type, by area; the module attaches them all at import.
std::span<const FunctionDef> construction_functions() noexcept;
std::span<const FunctionDef> operator_functions() noexcept;
std::span<const FunctionDef> conversion_functions() noexcept;
std::span<const FunctionDef> geometry_functions() noexcept;

// Components taken from Python objects for construction and the factories.
int sequence_pair(PyObject* seq, Vec2& out) noexcept;

// Type slots defined by the operator and conversion areas (installed before PyType_Ready).
void install_operator_slots(PyTypeObject& type) noexcept;
void install_conversion_slots(PyTypeObject& type) noexcept;

// Read-only properties of the operator and geometry areas (listed in the type's getset table):
// the swizzles return new vectors, `length` a float. Each returns a new reference.
PyObject* get_xx(PyObject* self, void*) noexcept;
PyObject* get_yy(PyObject* self, void*) noexcept;
PyObject* get_xy(PyObject* self, void*) noexcept;
PyObject* get_yx(PyObject* self, void*) noexcept;
PyObject* get_length(PyObject* self, void*) noexcept;

// (int(x), int(y)) with each component truncated into 32 bits, as a new tuple reference or
// nullptr with an error set (no traceback entry: callers add their own).
PyObject* int_tuple(const Vec2& value) noexcept;

int ready_vector_type() noexcept;

// Module-exec steps of the areas that need interpreter objects (e.g. the built-in `round`), and
// the release of the module dictionary they captured, after a failed initialisation.
int exec_conversions(PyObject* module) noexcept;
void release_module_dict() noexcept;

} // namespace qm::vector2
