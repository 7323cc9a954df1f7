// Every user-visible message shared by the three modules, written once. Each function raises
// (sets the error indicator) and returns the failure value its name suggests.
#pragma once

#include <Python.h>

namespace qm::err {

// "%.200s() takes %.8s %zd positional argument%.1s (%zd given)"; exact selects "exactly",
// otherwise "at least"/"at most" by comparing `given` with the bounds.
void arg_count(const char* func, bool exact, Py_ssize_t min, Py_ssize_t max,
               Py_ssize_t given) noexcept;
// "%.200s() takes no arguments (%zd given)"
void no_args(const char* func, Py_ssize_t given) noexcept;
// "%.200s() needs an argument" (a method called on its type without an instance)
void needs_receiver(const char* func) noexcept;
// "%.200s() takes no keyword arguments"
void no_keywords(const char* func) noexcept;
// "%s() got an unexpected keyword argument '%U'"; for a key that is not a str (possible through
// `**mapping` into tp_init or a native vectorcall) "%.200s() keywords must be strings" instead.
void unexpected_keyword(const char* func, PyObject* key) noexcept;
// "%s() got multiple values for keyword argument '%U'"; a non-str key as above.
void multiple_values(const char* func, PyObject* key) noexcept;
// "%.200s() keywords must be strings"
void keywords_not_strings(const char* func) noexcept;
// "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)"
void arg_type(const char* param, const char* expected, PyObject* got) noexcept;
// "Expected %.42s, got %.200s" (typed variables and override results of built-in types)
void expected_got(const char* expected, PyObject* got) noexcept;
// "Cannot convert %.200s to %.200s" (typed variables of extension types)
void cannot_convert(PyObject* got, PyTypeObject* expected) noexcept;
// OverflowError "value too large to convert to %.200s"
void too_large(const char* c_type) noexcept;
// OverflowError "can't convert negative value to %.200s"
void negative(const char* c_type) noexcept;
// TypeError "an integer is required"
void integer_required() noexcept;
// NotImplementedError "__del__" (deleting a read/write property)
int cannot_delete() noexcept;
// NotImplementedError "Subscript %.10s not supported by %.200s"
int subscript_unsupported(const char* what, PyTypeObject* type) noexcept;
// AttributeError "'NoneType' object has no attribute '%.30s'"
void none_attribute(const char* attr) noexcept;
// NameError "name '%U' is not defined" (any object is shown by its str())
void name_not_defined(PyObject* name) noexcept;
// TypeError "descriptor '%s' for '%s' objects doesn't apply to a '%s' object"
void descriptor_misuse(const char* name, PyTypeObject* owner, PyObject* got) noexcept;
// TypeError "cannot pass None into a C function argument that is declared 'not None'"
void none_not_allowed() noexcept;

// TypeError "%.200s.%.200s is not a type object" (module path, attribute name)
void not_a_type(const char* module_path, const char* name) noexcept;
// ImportError "cannot import name %S" (a `from module import name` that found nothing)
void cannot_import_name(PyObject* name) noexcept;
// ImportError "numpy._core.multiarray failed to import", chained to the pending error
void numpy_import_failed() noexcept;
// TypeError "no default __reduce__ due to non-trivial __cinit__" (types that refuse pickling)
void no_default_reduce() noexcept;
// `error_class`("Incompatible checksums (0x%x vs (0x%x, 0x%x, 0x%x) = (%s))") formatted the
// way Python's %-formatting does, from `checksum`, the three accepted values and the members.
void incompatible_checksums(PyObject* error_class, long long checksum, const long long* accepted,
                            const char* members) noexcept;
// ValueError "%.200s state tuple must hold at least %zd items, got %zd"
void short_state(const char* type_name, Py_ssize_t needed, Py_ssize_t got) noexcept;
// Typed int32 views of NumPy arrays, as ValueError:
// "Buffer has wrong number of dimensions (expected %d, got %d)"
void buffer_ndim(int expected, int got) noexcept;
// "Buffer dtype mismatch, expected '%.50s' but got %R" (the array's dtype)
void buffer_dtype(const char* expected, PyObject* dtype) noexcept;
// "ndarray is not C-contiguous"
void buffer_not_contiguous() noexcept;
// "buffer source array is read-only"
void buffer_read_only() noexcept;
// "Buffer has wrong shape (expected %zd %.20s, got %zd)"
void buffer_shape(Py_ssize_t expected, const char* what, Py_ssize_t got) noexcept;

} // namespace qm::err
