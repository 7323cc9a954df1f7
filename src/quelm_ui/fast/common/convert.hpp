// Conversions from Python objects to C values with the toolkit's standard messages. Each returns
// 0 and stores the value, or returns -1 with the error set and leaves `out` untouched. Any of
// them may call back into Python (__float__, __int__, __index__, __bool__).
#pragma once

#include <Python.h>

#include <cstdint>

namespace qm {

// Float conversion: an exact float as is, anything else through PyFloat_AsDouble (float,
// int, __float__, __index__); strings and the rest raise the interpreter's TypeError.
inline int to_double(PyObject* obj, double& out) noexcept {
    if (PyFloat_CheckExact(obj)) {
        out = PyFloat_AS_DOUBLE(obj);
        return 0;
    }
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        return -1;
    }
    out = value;
    return 0;
}

// Float conversion narrowed to single precision (round to nearest, overflow to infinity).
int to_float32(PyObject* obj, float& out) noexcept;

// Integer conversion: an int as is, anything else through its __int__ ("an integer is
// required" without one, "__int__ returned non-int" for a bad result), then range checked.
int to_int32(PyObject* obj, int32_t& out) noexcept;
int to_uint32(PyObject* obj, uint32_t& out) noexcept;
int to_uint64(PyObject* obj, uint64_t& out, const char* c_type = "size_t") noexcept;
int to_int64(PyObject* obj, int64_t& out) noexcept;

// Index conversion (__index__ only; a float raises TypeError) to 64 bits.
int index_to_int64(PyObject* obj, int64_t& out) noexcept;

// Python truth value: True/False/None directly, anything else through its truth test.
inline int to_flag(PyObject* obj, bool& out) noexcept {
    if (obj == Py_True || obj == Py_False || obj == Py_None) {
        out = obj == Py_True;
        return 0;
    }
    const int truth = PyObject_IsTrue(obj);
    if (truth < 0) {
        return -1;
    }
    out = truth != 0;
    return 0;
}

// Truncation of a double toward zero into 32 bits the way x86-64 does it: NaN and values
// outside the range give INT32_MIN (the processor's "integer indefinite" value).
inline int32_t truncate_to_int32(double value) noexcept {
    if (!(value > -2147483649.0 && value < 2147483648.0)) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

} // namespace qm
