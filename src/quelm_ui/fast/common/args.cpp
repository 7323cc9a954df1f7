// Argument parsing for the vectorcall protocol.
#include "quelm_ui/fast/common/args.hpp"

#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"

namespace qm {
namespace {

// Index of the parameter called `key`, or -1.
Py_ssize_t find_param(const ArgSpec& spec, PyObject* key) noexcept {
    for (Py_ssize_t i = 0; i < spec.count; ++i) {
        if (PyUnicode_EqualToUTF8(key, spec.names[i])) {
            return i;
        }
    }
    return -1;
}

// The keyword value for parameter `index`, or nullptr when it was not passed by keyword.
PyObject* find_keyword(const ArgSpec& spec, Py_ssize_t index, PyObject* const* kwvalues,
                       PyObject* kwnames) noexcept {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        // GCOVR_EXCL_BR_STOP
        if (PyUnicode_Check(key) && PyUnicode_EqualToUTF8(key, spec.names[index])) {
            return kwvalues[k];
        }
    }
    return nullptr;
}

// Reports the first keyword that matches no free parameter.
void report_bad_keyword(const ArgSpec& spec, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        // GCOVR_EXCL_BR_STOP
        if (!PyUnicode_Check(key)) {
            err::keywords_not_strings(spec.func);
            return;
        }
        const Py_ssize_t index = find_param(spec, key);
        if (index < 0) {
            err::unexpected_keyword(spec.func, key);
            return;
        }
        if (index < nargs) {
            err::multiple_values(spec.func, key);
            return;
        }
    }
    // Every name matched a free parameter, so some name was given twice.
    PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword arguments", spec.func);
}

} // namespace

int parse_args(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** out) noexcept {
    const bool exact = spec.required == spec.count;
    if (nargs > spec.count) {
        err::arg_count(spec.func, exact, spec.required, spec.count, nargs);
        return -1;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        out[i] = args[i];
    }
    for (Py_ssize_t i = nargs; i < spec.count; ++i) {
        out[i] = nullptr;
    }
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nkw == 0) {
        if (nargs < spec.required) {
            err::arg_count(spec.func, exact, spec.required, spec.count, nargs);
            return -1;
        }
        return 0;
    }
    PyObject* const* kwvalues = args + nargs;
    Py_ssize_t used = 0;
    for (Py_ssize_t i = nargs; i < spec.count; ++i) {
        out[i] = find_keyword(spec, i, kwvalues, kwnames);
        if (out[i]) {
            ++used;
        } else if (i < spec.required) {
            err::arg_count(spec.func, exact, spec.required, spec.count, i);
            return -1;
        }
    }
    if (used != nkw) {
        report_bad_keyword(spec, nargs, kwnames);
        return -1;
    }
    return 0;
}

int check_no_args(const char* func, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (kwnames && PyTuple_GET_SIZE(kwnames) != 0) {
        err::no_keywords(func);
        return -1;
    }
    if (nargs != 0) {
        err::no_args(func, nargs);
        return -1;
    }
    return 0;
}

int refuse_keywords(const char* func, PyObject* keywords) noexcept {
    PyObject* last = nullptr;
    bool all_strings = true;
    if (PyTuple_Check(keywords)) {
        for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(keywords); ++k) {
            // GCOVR_EXCL_BR_START: the type assert inside the item macro
            last = PyTuple_GET_ITEM(keywords, k);
            // GCOVR_EXCL_BR_STOP
            all_strings = all_strings && PyUnicode_Check(last);
        }
    } else {
        Py_ssize_t pos = 0;
        while (PyDict_Next(keywords, &pos, &last, nullptr)) {
            all_strings = all_strings && PyUnicode_Check(last);
        }
    }
    if (!all_strings) {
        err::keywords_not_strings(func);
    } else if (last) { // GCOVR_EXCL_BR_LINE: called only with a keyword present
        err::unexpected_keyword(func, last);
    }
    return -1;
}

int check_keyword_strings(const char* func, PyObject* kwargs) noexcept {
    PyObject* key = nullptr;
    Py_ssize_t pos = 0;
    while (kwargs && PyDict_Next(kwargs, &pos, &key, nullptr)) {
        if (!PyUnicode_Check(key)) {
            err::keywords_not_strings(func);
            return -1;
        }
    }
    return 0;
}

int check_arg_type(PyObject* obj, PyTypeObject* type, bool none_ok, const char* param) noexcept {
    if ((none_ok && obj == Py_None) || PyObject_TypeCheck(obj, type)) {
        return 0;
    }
    err::arg_type(param, type->tp_name, obj);
    return -1;
}

int check_arg_exact(PyObject* obj, PyTypeObject* type, const char* param) noexcept {
    if (obj == Py_None || Py_IS_TYPE(obj, type)) {
        return 0;
    }
    err::arg_type(param, type->tp_name, obj);
    return -1;
}

int parse_tuple_args(const ArgSpec& spec, PyObject* args, PyObject* kwargs,
                     PyObject** out) noexcept {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    const Py_ssize_t nkw = kwargs ? PyDict_GET_SIZE(kwargs) : 0;
    if (nkw == 0) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        return parse_args(spec, &PyTuple_GET_ITEM(args, 0), nargs, nullptr, out);
        // GCOVR_EXCL_BR_STOP
    }
    // Lay the call out as a vectorcall: positionals, then the keyword values, with their names
    // in a tuple.
    // GCOVR_EXCL_BR_START: PyMem_New's overflow test, for a call's arguments
    PyObject** stack = PyMem_New(PyObject*, static_cast<size_t>(nargs + nkw));
    // GCOVR_EXCL_BR_STOP
    if (!stack) {
        PyErr_NoMemory();
        return -1;
    }
    Ref kwnames = Ref::steal(PyTuple_New(nkw));
    int result = -1;
    if (kwnames) {
        for (Py_ssize_t i = 0; i < nargs; ++i) {
            // GCOVR_EXCL_BR_START: the type assert inside the item macro
            stack[i] = PyTuple_GET_ITEM(args, i);
            // GCOVR_EXCL_BR_STOP
        }
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t pos = 0;
        Py_ssize_t k = 0;
        // GCOVR_EXCL_BR_START: the dict holds nkw items
        while (k < nkw && PyDict_Next(kwargs, &pos, &key, &value)) {
            // GCOVR_EXCL_BR_STOP
            PyTuple_SET_ITEM(kwnames.get(), k, Py_NewRef(key));
            stack[nargs + k] = value;
            ++k;
        }
        result = parse_args(spec, stack, nargs, kwnames.get(), out);
    }
    PyMem_Free(stack);
    return result;
}

} // namespace qm
