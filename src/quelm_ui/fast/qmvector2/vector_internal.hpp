// Declarations shared by the translation units of the qmvector2 module.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/traceback.hpp"
#include "quelm_ui/fast/qmvector2/vec2_math.hpp"

#include <span>

namespace qm::vector2 {

inline constexpr ModuleInfo kModule{"qmvector2", "quelm_ui.fast.qmvector2.qmvector2",
                                    "src/quelm_ui/fast/qmvector2/qmvector2"};

extern PyTypeObject QmVector2Type;
extern const qm_vector2_methods_t kMethods;

inline QmVector2Object* as_vector(PyObject* obj) noexcept {
    return reinterpret_cast<QmVector2Object*>(obj);
}
inline bool is_vector(PyObject* obj) noexcept {
    return Py_IS_TYPE(obj, &QmVector2Type);
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

// Python-visible functions of the type, by area; the module attaches them all at import.
std::span<const FunctionDef> construction_functions() noexcept;
std::span<const FunctionDef> operator_functions() noexcept;
std::span<const FunctionDef> conversion_functions() noexcept;

// Components taken from Python objects for construction and the factories.
int sequence_pair(PyObject* seq, Vec2& out) noexcept;

// Type slots defined by the operator and conversion areas (installed before PyType_Ready).
void install_operator_slots(PyTypeObject& type) noexcept;
void install_conversion_slots(PyTypeObject& type) noexcept;

int ready_vector_type() noexcept;

// Module-exec steps of the areas that need interpreter objects (e.g. the built-in `round`).
int exec_conversions(PyObject* module) noexcept;

} // namespace qm::vector2
