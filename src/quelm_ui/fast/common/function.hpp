// Python-visible functions and methods of the three modules: vectorcall callables that carry a
// name, qualified name, text signature and return annotation. Methods behave as method
// descriptors, so `obj.method(...)` is called without allocating a bound method.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/ref.hpp"

#include <span>

namespace qm {

// Native body of a Python-visible callable. `self` is the instance for methods, nullptr for
// static methods and module functions; args/nargs/kwnames follow the vectorcall protocol
// (nargs without the offset flag). Returns a new reference or nullptr with an error set.
using FastImpl = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) noexcept;

enum class FunctionKind {
    Method, // instance method of a type
    Static, // static method of a type (stored wrapped in staticmethod)
    Module, // module-level function
};

struct FunctionDef {
    const char* name;
    FastImpl impl;
    FunctionKind kind;
    const char* text_signature;    // e.g. "($self, /, other)"; nullptr when unknown
    const char* return_annotation; // string annotation of the result, nullptr for none
    const char* doc;
};

// Readies the function types; called from every module's exec before it creates functions.
int ready_function_types() noexcept;

// Creates the callable for `def` (which must live in static storage). `owner` is the type of
// a method or static method (used for the qualified name and the self check), nullptr for a
// module function; `module_name` becomes __module__.
Ref make_function(const FunctionDef& def, PyTypeObject* owner, const char* module_name) noexcept;

// Creates and stores each definition in the type's dictionary, static methods wrapped in
// staticmethod. For static types that are already readied.
int add_type_functions(PyTypeObject* type, std::span<const FunctionDef> defs,
                       const char* module_name) noexcept;

// Creates and binds each definition as a module attribute.
int add_module_functions(PyObject* module, std::span<const FunctionDef> defs) noexcept;

// True when `attr` is the callable made from a definition with this native body, or such a
// method bound to an instance: the test that tells a type's own method from a Python override.
bool is_native_function(PyObject* attr, FastImpl impl) noexcept;

// Stores `value` under `name` in a static type's dictionary after it has been readied.
int set_type_attr(PyTypeObject* type, const char* name, PyObject* value) noexcept;

} // namespace qm
