// Owned Python references. A raw PyObject* anywhere in this project is borrowed; ownership is
// always carried by a Ref, built only through the explicit steal/borrow factories.
#pragma once

#include <Python.h>

#include <utility>

namespace qm {

class Ref {
public:
    Ref() noexcept = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) { // GCOVR_EXCL_BR_LINE: no Ref is moved into itself
            PyObject* old = std::exchange(obj_, std::exchange(other.obj_, nullptr));
            Py_XDECREF(old);
        }
        return *this;
    }
    ~Ref() { Py_XDECREF(obj_); }

    // Takes over a new reference (possibly null, e.g. straight from a failing C-API call).
    [[nodiscard]] static Ref steal(PyObject* obj) noexcept { return Ref(obj); }
    // Adds a reference to a borrowed object (possibly null).
    [[nodiscard]] static Ref borrow(PyObject* obj) noexcept {
        Py_XINCREF(obj);
        return Ref(obj);
    }

    [[nodiscard]] PyObject* get() const noexcept { return obj_; }
    // Hands the reference to the caller (entry points: `return r.release();`).
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(obj_, nullptr); }
    explicit operator bool() const noexcept { return obj_ != nullptr; }

    // Drops the held reference; the old object is released after the slot is cleared, so a
    // destructor that runs Python code never sees a dangling member.
    void reset() noexcept {
        PyObject* old = std::exchange(obj_, nullptr);
        Py_XDECREF(old);
    }

    template <typename T>
    [[nodiscard]] T* as() const noexcept {
        return reinterpret_cast<T*>(obj_);
    }

private:
    explicit Ref(PyObject* obj) noexcept : obj_(obj) {}
    PyObject* obj_ = nullptr;
};

// Replaces an owned struct member (a PyObject* field that holds a reference) with a new
// reference, releasing the old value only after the field holds the new one.
inline void replace_field(PyObject*& field, Ref value) noexcept {
    PyObject* old = field;
    field = value.release();
    Py_XDECREF(old);
}

// Saves the pending exception for the lifetime of the guard and restores it afterwards, for
// cleanup code that calls the C API while an error is pending.
class ErrorGuard {
public:
    ErrorGuard() noexcept : exc_(PyErr_GetRaisedException()) {}
    ErrorGuard(const ErrorGuard&) = delete;
    ErrorGuard& operator=(const ErrorGuard&) = delete;
    ~ErrorGuard() { PyErr_SetRaisedException(exc_); }

private:
    PyObject* exc_;
};

} // namespace qm
