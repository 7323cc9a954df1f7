// Hand-written vectorcall argument parsing with the toolkit's standard messages, and the
// argument type checks shared by every Python-visible entry point.
#pragma once

#include <Python.h>

#include <initializer_list>

namespace qm {

// The parameter list of one Python-visible function: all names in order, the first `required`
// of them without default. Lives in static storage next to the function it describes.
struct ArgSpec {
    const char* func;         // name used in messages, e.g. "from_xy"
    const char* const* names; // parameter names
    Py_ssize_t count;         // number of parameters
    Py_ssize_t required;      // leading parameters that have no default
};

// Fills out[0..spec.count) with borrowed references; parameters not given stay nullptr.
// Returns 0, or -1 with TypeError set (count, unexpected/multiple keyword, non-string keyword).
int parse_args(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** out) noexcept;

// parse_args for tp_init-style calls: `args` is the positional tuple, `kwargs` a dict or
// nullptr. Values in `out` are borrowed from `args`/`kwargs`, which the caller keeps alive.
int parse_tuple_args(const ArgSpec& spec, PyObject* args, PyObject* kwargs,
                     PyObject** out) noexcept;

// For functions without parameters: -1 with the standard TypeError when anything was passed,
// keywords before positionals.
int check_no_args(const char* func, Py_ssize_t nargs, PyObject* kwnames) noexcept;

// For a call that takes no keywords but got some (`keywords`: a non-empty tuple of names or a
// dict): always -1, with "keywords must be strings" when any name is not a str, else the
// unexpected-keyword error naming the last one, as a keyword dict is checked.
int refuse_keywords(const char* func, PyObject* keywords) noexcept;

// For a call that takes any keywords into a dict (`kwargs` may be nullptr): -1 with "keywords
// must be strings" when a name is not a str, else 0.
int check_keyword_strings(const char* func, PyObject* kwargs) noexcept;

// Extension-type parameter: accepts the type, its subclasses and, if none_ok, None.
inline bool is_instance_or_none(PyObject* obj, PyTypeObject* type) noexcept {
    return obj == Py_None || PyObject_TypeCheck(obj, type);
}

// -1 with "Argument '...' has incorrect type" unless `obj` is an instance of `type` (subclasses
// included) or, when none_ok, None.
int check_arg_type(PyObject* obj, PyTypeObject* type, bool none_ok, const char* param) noexcept;

// Built-in container parameter (tuple, list, dict, str): exactly that type or None.
int check_arg_exact(PyObject* obj, PyTypeObject* type, const char* param) noexcept;

} // namespace qm
