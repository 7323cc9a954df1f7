// The int32 hit arrays: their allocation through the module global `np`, the checks made once
// when a typed view is bound to one, and the views themselves.
#define QM_NUMPY_DEFINE_TABLE
#include "quelm_ui/fast/zsystem/numpy_api.hpp"

#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/zsystem/zsystem_internal.hpp"

#include <utility>

namespace qm::zsystem {

Ref new_int32_array(Py_ssize_t rows, int columns) noexcept {
    Ref np = module_global(g_names.np);
    Ref empty = np ? Ref::steal(PyObject_GetAttr(np.get(), g_names.empty)) : Ref();
    Ref int32 = empty ? Ref::steal(PyObject_GetAttr(np.get(), g_names.int32)) : Ref();
    if (!int32) {
        return Ref();
    }
    Ref shape =
        Ref::steal(columns ? Py_BuildValue("(ni)", rows, columns) : PyLong_FromSsize_t(rows));
    if (!shape) {
        return Ref();
    }
    PyObject* args[] = {shape.get(), int32.get()};
    return Ref::steal(PyObject_Vectorcall(empty.get(), args, 1, g_names.dtype_kwnames));
}

Ref first_rows(PyObject* array, Py_ssize_t rows) noexcept {
    Ref slice = Ref::steal(PySequence_GetSlice(array, 0, rows));
    // GCOVR_EXCL_BR_START: slices of an ndarray are ndarrays
    if (slice && !PyArray_Check(slice.get())) {
        // GCOVR_EXCL_BR_STOP
        // GCOVR_EXCL_START: a slice of this module's own ndarray is an ndarray
        err::cannot_convert(slice.get(), &PyArray_Type);
        return Ref();
        // GCOVR_EXCL_STOP
    }
    return slice;
}

namespace {

// NumPy's int32 is a C int on Linux and a C long on Windows, where both have 32 bits and an
// array of either type holds 32-bit integers.
bool holds_int32(PyArrayObject* arr) noexcept {
    const int type = PyArray_TYPE(arr);
#if NPY_BITSOF_LONG == 32
    return type == NPY_INT || type == NPY_LONG;
#else
    return type == NPY_INT;
#endif
}

} // namespace

int bind_view(PyObject* array, int ndim, LocalView& out) noexcept {
    if (!PyArray_Check(array)) {
        err::cannot_convert(array, &PyArray_Type);
        return -1;
    }
    auto* arr = reinterpret_cast<PyArrayObject*>(array);
    if (PyArray_NDIM(arr) != ndim) {
        err::buffer_ndim(ndim, PyArray_NDIM(arr));
        return -1;
    }
    if (!holds_int32(arr) || !PyArray_ISNOTSWAPPED(arr)) {
        err::buffer_dtype("int32_t", reinterpret_cast<PyObject*>(PyArray_DESCR(arr)));
        return -1;
    }
    if (!PyArray_IS_C_CONTIGUOUS(arr) || !PyArray_ISALIGNED(arr)) {
        err::buffer_not_contiguous();
        return -1;
    }
    if (!PyArray_ISWRITEABLE(arr)) {
        err::buffer_read_only();
        return -1;
    }
    const npy_intp* dims = PyArray_DIMS(arr);
    if (ndim == 2 && dims[1] != 4) {
        err::buffer_shape(4, "columns", dims[1]);
        return -1;
    }
    ArrayView view{};
    view.owner = Py_NewRef(array);
    view.data = static_cast<char*>(PyArray_DATA(arr));
    // C-contiguous: rows follow each other whatever stride NumPy reports for a length-1 axis.
    Py_ssize_t stride = sizeof(int32_t);
    for (int axis = ndim - 1; axis >= 0; --axis) {
        view.shape[axis] = dims[axis];
        view.strides[axis] = stride;
        view.suboffsets[axis] = -1;
        stride *= dims[axis];
    }
    for (int axis = ndim; axis < 8; ++axis) {
        view.suboffsets[axis] = -1;
    }
    Py_XDECREF(std::exchange(out.view, view).owner);
    return 0;
}

void swap_view(ArrayView& field, LocalView& fresh) noexcept {
    std::swap(field, fresh.view);
}

void release_view(ArrayView& view) noexcept {
    PyObject* owner = std::exchange(view.owner, nullptr);
    view.data = nullptr;
    Py_XDECREF(owner);
}

int import_numpy() noexcept {
    if (_import_array() < 0) {
        err::numpy_import_failed();
        return -1;
    }
    return 0;
}

} // namespace qm::zsystem
