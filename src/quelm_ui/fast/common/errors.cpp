// The shared error messages.
#include "quelm_ui/fast/common/errors.hpp"

namespace qm::err {

void arg_count(const char* func, bool exact, Py_ssize_t min, Py_ssize_t max,
               Py_ssize_t given) noexcept {
    const bool too_few = given < min;
    const Py_ssize_t expected = too_few ? min : max;
    const char* bound = exact ? "exactly" : (too_few ? "at least" : "at most");
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 func, bound, expected, expected == 1 ? "" : "s", given);
}

void no_args(const char* func, Py_ssize_t given) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s (%zd given)", func, "takes no arguments", given);
}

void needs_receiver(const char* func) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() needs an argument", func);
}

void no_keywords(const char* func) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() takes no keyword arguments", func);
}

// %U reads its argument as a str without checking: every message naming a key goes through here.
void unexpected_keyword(const char* func, PyObject* key) noexcept {
    // GCOVR_EXCL_START: today's callers check the key first
    if (!PyUnicode_Check(key)) {
        keywords_not_strings(func);
        return;
    }
    // GCOVR_EXCL_STOP
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", func, key);
}

void multiple_values(const char* func, PyObject* key) noexcept {
    // GCOVR_EXCL_START: today's callers check the key first
    if (!PyUnicode_Check(key)) {
        keywords_not_strings(func);
        return;
    }
    // GCOVR_EXCL_STOP
    PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", func, key);
}

void keywords_not_strings(const char* func) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", func);
}

void arg_type(const char* param, const char* expected, PyObject* got) noexcept {
    PyErr_Format(PyExc_TypeError,
                 "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", param,
                 expected, Py_TYPE(got)->tp_name);
}

void expected_got(const char* expected, PyObject* got) noexcept {
    PyErr_Format(PyExc_TypeError, "Expected %.42s, got %.200s", expected, Py_TYPE(got)->tp_name);
}

void cannot_convert(PyObject* got, PyTypeObject* expected) noexcept {
    PyErr_Format(PyExc_TypeError, "%.1sCannot convert %.200s to %.200s", "", Py_TYPE(got)->tp_name,
                 expected->tp_name);
}

void too_large(const char* c_type) noexcept {
    PyErr_Format(PyExc_OverflowError, "value too large to convert to %.200s", c_type);
}

void negative(const char* c_type) noexcept {
    PyErr_Format(PyExc_OverflowError, "can't convert negative value to %.200s", c_type);
}

void integer_required() noexcept {
    PyErr_SetString(PyExc_TypeError, "an integer is required");
}

int cannot_delete() noexcept {
    PyErr_SetString(PyExc_NotImplementedError, "__del__");
    return -1;
}

int subscript_unsupported(const char* what, PyTypeObject* type) noexcept {
    PyErr_Format(PyExc_NotImplementedError, "Subscript %.10s not supported by %.200s", what,
                 type->tp_name);
    return -1;
}

void none_attribute(const char* attr) noexcept {
    PyErr_Format(PyExc_AttributeError, "'NoneType' object has no attribute '%.30s'", attr);
}

void name_not_defined(PyObject* name) noexcept {
    PyErr_Format(PyExc_NameError, "name '%S' is not defined", name);
}

void descriptor_misuse(const char* name, PyTypeObject* owner, PyObject* got) noexcept {
    PyErr_Format(PyExc_TypeError, "descriptor '%s' for '%s' objects doesn't apply to a '%s' object",
                 name, owner->tp_name, Py_TYPE(got)->tp_name);
}

void none_not_allowed() noexcept {
    PyErr_SetString(PyExc_TypeError,
                    "cannot pass None into a C function argument that is declared 'not None'");
}

// GCOVR_EXCL_START: its callers import numpy.ndarray and zdispatch.ZRequest, types always
void not_a_type(const char* module_path, const char* name) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", module_path, name);
}
// GCOVR_EXCL_STOP

void cannot_import_name(PyObject* name) noexcept {
    PyErr_Format(PyExc_ImportError, "cannot import name %S", name);
}

void numpy_import_failed() noexcept {
    PyObject* cause = PyErr_GetRaisedException();
    PyErr_SetString(PyExc_ImportError, "numpy._core.multiarray failed to import");
    if (cause) { // GCOVR_EXCL_BR_LINE: called with the import's error pending
        PyObject* error = PyErr_GetRaisedException();
        PyException_SetCause(error, cause);
        PyException_SetContext(error, Py_NewRef(cause));
        PyErr_SetRaisedException(error);
    }
}

void no_default_reduce() noexcept {
    PyErr_SetString(PyExc_TypeError, "no default __reduce__ due to non-trivial __cinit__");
}

void incompatible_checksums(PyObject* error_class, long long checksum, const long long* accepted,
                            const char* members) noexcept {
    PyObject* format =
        PyUnicode_FromString("Incompatible checksums (0x%x vs (0x%x, 0x%x, 0x%x) = (%s))");
    PyObject* values =
        Py_BuildValue("(LLLLs)", checksum, accepted[0], accepted[1], accepted[2], members);
    PyObject* message = format && values ? PyUnicode_Format(format, values) : nullptr;
    if (message) {
        PyErr_SetObject(error_class, message);
    }
    Py_XDECREF(message);
    Py_XDECREF(values);
    Py_XDECREF(format);
}

void short_state(const char* type_name, Py_ssize_t needed, Py_ssize_t got) noexcept {
    PyErr_Format(PyExc_ValueError, "%.200s state tuple must hold at least %zd items, got %zd",
                 type_name, needed, got);
}

void buffer_ndim(int expected, int got) noexcept {
    PyErr_Format(PyExc_ValueError, "Buffer has wrong number of dimensions (expected %d, got %d)",
                 expected, got);
}

void buffer_dtype(const char* expected, PyObject* dtype) noexcept {
    PyErr_Format(PyExc_ValueError, "Buffer dtype mismatch, expected '%.50s' but got %R", expected,
                 dtype);
}

void buffer_not_contiguous() noexcept {
    PyErr_SetString(PyExc_ValueError, "ndarray is not C-contiguous");
}

void buffer_read_only() noexcept {
    PyErr_SetString(PyExc_ValueError, "buffer source array is read-only");
}

void buffer_shape(Py_ssize_t expected, const char* what, Py_ssize_t got) noexcept {
    PyErr_Format(PyExc_ValueError, "Buffer has wrong shape (expected %zd %.20s, got %zd)", expected,
                 what, got);
}

} // namespace qm::err
