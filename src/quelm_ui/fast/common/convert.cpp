// Integer and float conversions with the toolkit's messages.
#include "quelm_ui/fast/common/convert.hpp"

#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"

#include <climits>

namespace qm {
namespace {

// The integer protocol: an int (subclasses included) as is, anything else through nb_int.
Ref to_python_int(PyObject* obj) noexcept {
    if (PyLong_Check(obj)) {
        return Ref::borrow(obj);
    }
    PyNumberMethods* number = Py_TYPE(obj)->tp_as_number;
    if (!number || !number->nb_int) {
        if (!PyErr_Occurred()) { // GCOVR_EXCL_BR_LINE: no error is pending on entry
            err::integer_required();
        }
        return Ref();
    }
    Ref result = Ref::steal(number->nb_int(obj));
    if (!result || PyLong_CheckExact(result.get())) {
        return result;
    }
    if (PyLong_Check(result.get())) {
        if (PyErr_WarnFormat(PyExc_DeprecationWarning, 1,
                             "__int__ returned non-int (type %.200s).  The ability to return an "
                             "instance of a strict subclass of int is deprecated, and may be "
                             "removed in a future version of Python.",
                             Py_TYPE(result.get())->tp_name) < 0) {
            return Ref();
        }
        return result;
    }
    PyErr_Format(PyExc_TypeError, "__int__ returned non-int (type %.200s)",
                 Py_TYPE(result.get())->tp_name);
    return Ref();
}

// The interpreter's conversions to a C long, whose range and messages the conversions below
// promise. A C long has 64 bits on Linux and 32 on Windows (LLP64): there they go through
// long long, with the messages the 64-bit conversions give.
#if defined(_WIN32)
// `number` as a 64-bit long; beyond it, the message of PyLong_AsLong on Linux.
long long as_long(PyObject* number) noexcept {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(number, &overflow);
    if (overflow != 0) {
        PyErr_SetString(PyExc_OverflowError, "Python int too large to convert to C long");
        return -1;
    }
    return value;
}

// Sets the error PyLong_AsUnsignedLong sets on Linux for `number`, which is past LLONG_MAX: only
// from 2**64 on.
void check_unsigned_long(PyObject* number) noexcept {
    (void)PyLong_AsUnsignedLongLong(number);
    if (PyErr_Occurred() && PyErr_ExceptionMatches(PyExc_OverflowError)) {
        PyErr_SetString(PyExc_OverflowError, "Python int too large to convert to C unsigned long");
    }
}
#else
long as_long(PyObject* number) noexcept {
    return PyLong_AsLong(number);
}

void check_unsigned_long(PyObject* number) noexcept {
    (void)PyLong_AsUnsignedLong(number);
}
#endif

// Reads an int as a C long long, reporting the sign of an overflow in `overflow`.
int long_long_of(PyObject* obj, long long& value, int& overflow) noexcept {
    Ref number = to_python_int(obj);
    if (!number) {
        return -1;
    }
    value = PyLong_AsLongLongAndOverflow(number.get(), &overflow);
    // GCOVR_EXCL_BR_START: an int reports overflow in the flag
    if (value == -1 && PyErr_Occurred()) {
        // GCOVR_EXCL_BR_STOP
        return -1; // GCOVR_EXCL_LINE: an int reports overflow in the flag, never as an error
    }
    return 0;
}

} // namespace

int to_float32(PyObject* obj, float& out) noexcept {
    double value = 0.0;
    if (to_double(obj, value) < 0) {
        return -1;
    }
    out = static_cast<float>(value);
    return 0;
}

int to_int32(PyObject* obj, int32_t& out) noexcept {
    if (PyLong_CheckExact(obj)) {
        int overflow = 0;
        const long value = PyLong_AsLongAndOverflow(obj, &overflow);
        if (overflow == 0 && value >= INT32_MIN && value <= INT32_MAX) {
            out = static_cast<int32_t>(value);
            return 0;
        }
    }
    Ref number = to_python_int(obj);
    if (!number) {
        return -1;
    }
    // Magnitudes beyond a 64-bit C long keep the interpreter's own message.
    const auto value = as_long(number.get());
    if (value == -1 && PyErr_Occurred()) {
        return -1;
    }
    if (value < INT32_MIN || value > INT32_MAX) {
        err::too_large("int");
        return -1;
    }
    out = static_cast<int32_t>(value);
    return 0;
}

int to_uint32(PyObject* obj, uint32_t& out) noexcept {
    Ref number = to_python_int(obj);
    if (!number) {
        return -1;
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(number.get(), &overflow);
    // GCOVR_EXCL_BR_START: an int reports overflow in the flag
    if (value == -1 && PyErr_Occurred()) {
        // GCOVR_EXCL_BR_STOP
        return -1; // GCOVR_EXCL_LINE: an int reports overflow in the flag, never as an error
    }
    if (overflow < 0 || (overflow == 0 && value < 0)) {
        err::negative("unsigned int");
        return -1;
    }
    if (overflow > 0) {
        // Beyond a 64-bit C unsigned long: the interpreter's own message.
        check_unsigned_long(number.get());
        if (!PyErr_Occurred()) {            // GCOVR_EXCL_BR_LINE: always set past ULONG_MAX
            err::too_large("unsigned int"); // GCOVR_EXCL_LINE: as above
        }
        return -1;
    }
    if (value > static_cast<long long>(UINT32_MAX)) {
        err::too_large("unsigned int");
        return -1;
    }
    out = static_cast<uint32_t>(value);
    return 0;
}

int to_uint64(PyObject* obj, uint64_t& out, const char* c_type) noexcept {
    Ref number = to_python_int(obj);
    if (!number) {
        return -1;
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(number.get(), &overflow);
    // GCOVR_EXCL_BR_START: an int reports overflow in the flag
    if (value == -1 && PyErr_Occurred()) {
        // GCOVR_EXCL_BR_STOP
        return -1; // GCOVR_EXCL_LINE: an int reports overflow in the flag, never as an error
    }
    if (overflow < 0 || (overflow == 0 && value < 0)) {
        err::negative(c_type);
        return -1;
    }
    if (overflow == 0) {
        out = static_cast<uint64_t>(value);
        return 0;
    }
    const unsigned long long wide = PyLong_AsUnsignedLongLong(number.get());
    if (wide == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        return -1;
    }
    out = wide;
    return 0;
}

int to_int64(PyObject* obj, int64_t& out) noexcept {
    long long value = 0;
    int overflow = 0;
    if (long_long_of(obj, value, overflow) < 0) {
        return -1;
    }
    if (overflow != 0) {
        PyErr_SetString(PyExc_OverflowError, "Python int too large to convert to C long");
        return -1;
    }
    out = value;
    return 0;
}

int index_to_int64(PyObject* obj, int64_t& out) noexcept {
    Ref number = Ref::steal(PyNumber_Index(obj));
    if (!number) {
        return -1;
    }
    const long long value = PyLong_AsLongLong(number.get());
    if (value == -1 && PyErr_Occurred()) {
        return -1;
    }
    out = value;
    return 0;
}

} // namespace qm
