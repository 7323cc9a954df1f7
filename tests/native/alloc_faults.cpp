// Failing allocations for the exhaustion sweep (quelm_ui_testbeds.alloc_faults, used by
// tests/robustness/exhaust.py). _testcapi.set_nomemory fails allocations of the interpreter's
// three domains; this module adds the two things it lacks: the number of allocations a call
// requested, so that a sweep knows when it has gone past the last one, and NumPy's data buffers,
// which NumPy takes from its own allocator and which are routed here through the raw domain.
#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define NPY_TARGET_VERSION NPY_1_25_API_VERSION
#include <numpy/arrayobject.h>

#include <climits>

#include "quelm_ui/fast/common/ref.hpp"

namespace qm::testbeds {
namespace {

// ---- counting ----

constexpr PyMemAllocatorDomain kDomains[] = {PYMEM_DOMAIN_RAW, PYMEM_DOMAIN_MEM, PYMEM_DOMAIN_OBJ};

// Invariant: while `installed`, wrapped[i] holds the allocator that domain kDomains[i] had before
// the counting one was put over it.
struct Counter {
    PyMemAllocatorEx wrapped[3];
    bool installed;
    Py_ssize_t count;
};
Counter g_counter{};

void* counting_malloc(void* ctx, size_t size) noexcept {
    auto* inner = static_cast<PyMemAllocatorEx*>(ctx);
    ++g_counter.count;
    return inner->malloc(inner->ctx, size);
}

void* counting_calloc(void* ctx, size_t nelem, size_t elsize) noexcept {
    auto* inner = static_cast<PyMemAllocatorEx*>(ctx);
    ++g_counter.count;
    return inner->calloc(inner->ctx, nelem, elsize);
}

void* counting_realloc(void* ctx, void* ptr, size_t size) noexcept {
    auto* inner = static_cast<PyMemAllocatorEx*>(ctx);
    ++g_counter.count;
    return inner->realloc(inner->ctx, ptr, size);
}

void counting_free(void* ctx, void* ptr) noexcept {
    auto* inner = static_cast<PyMemAllocatorEx*>(ctx);
    inner->free(inner->ctx, ptr);
}

// Counts every request of the three domains from here on, as set_nomemory counts them (malloc,
// calloc and realloc; not free), on top of whatever allocators are in place.
void start_counting() noexcept {
    g_counter.count = 0;
    for (int i = 0; i < 3; ++i) {
        PyMem_GetAllocator(kDomains[i], &g_counter.wrapped[i]);
        PyMemAllocatorEx counting = {&g_counter.wrapped[i], counting_malloc, counting_calloc,
                                     counting_realloc, counting_free};
        PyMem_SetAllocator(kDomains[i], &counting);
    }
    g_counter.installed = true;
}

void stop_counting() noexcept {
    for (int i = 0; i < 3; ++i) {
        PyMem_SetAllocator(kDomains[i], &g_counter.wrapped[i]);
    }
    g_counter.installed = false;
}

// ---- NumPy's data buffers through the raw domain ----

void* raw_malloc(void*, size_t size) noexcept {
    return PyMem_RawMalloc(size);
}

void* raw_calloc(void*, size_t nelem, size_t elsize) noexcept {
    return PyMem_RawCalloc(nelem, elsize);
}

void* raw_realloc(void*, void* ptr, size_t size) noexcept {
    return PyMem_RawRealloc(ptr, size);
}

void raw_free(void*, void* ptr, size_t) noexcept {
    PyMem_RawFree(ptr);
}

PyDataMem_Handler g_raw_handler = {
    "quelm_testbeds_raw", 1, {nullptr, raw_malloc, raw_calloc, raw_realloc, raw_free}};

// ---- the module ----

// set_nomemory and remove_mem_hooks of _testcapi, looked up on first use and kept for the
// process's life (owned; never released, so nothing runs after the interpreter is gone).
PyObject* g_set_nomemory = nullptr;
PyObject* g_remove_hooks = nullptr;

int load_testcapi() noexcept {
    if (g_set_nomemory) {
        return 0;
    }
    Ref testcapi = Ref::steal(PyImport_ImportModule("_testcapi"));
    Ref set = testcapi ? Ref::steal(PyObject_GetAttrString(testcapi.get(), "set_nomemory")) : Ref();
    Ref remove =
        set ? Ref::steal(PyObject_GetAttrString(testcapi.get(), "remove_mem_hooks")) : Ref();
    if (!remove) {
        return -1;
    }
    g_set_nomemory = set.release();
    g_remove_hooks = remove.release();
    return 0;
}

// call(fail_at, callable, args, kwargs=None): calls callable(*args, **kwargs) with allocation
// number `fail_at` of the call failing (counted from 1; 0 fails none), then puts the allocators
// back and returns the call's result or raises its exception. The number of allocations the call
// requested is count()'s until the next call.
PyObject* alloc_call(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs < 3 || nargs > 4 || !PyTuple_Check(args[2]) ||
        (nargs == 4 && args[3] != Py_None && !PyDict_Check(args[3]))) {
        PyErr_SetString(PyExc_TypeError, "call(fail_at, callable, args: tuple, kwargs=None)");
        return nullptr;
    }
    const Py_ssize_t fail_at = PyLong_AsSsize_t(args[0]);
    if (fail_at == -1 && PyErr_Occurred()) {
        return nullptr;
    }
    if (g_counter.installed) {
        PyErr_SetString(PyExc_RuntimeError, "call() is not re-entrant");
        return nullptr;
    }
    PyObject* kwargs = nargs == 4 && args[3] != Py_None ? args[3] : nullptr;
    if (load_testcapi() < 0) {
        return nullptr;
    }
    // Without a failure to inject the hooks go in all the same, failing nothing, so that a
    // reference run takes the very path of the runs it is compared with. The range stays alive
    // until the end, and a full collection empties the free lists and the collector's count
    // first: the call then requests the same allocations whatever ran in the process before.
    Ref range = fail_at > 0 ? Ref::steal(Py_BuildValue("(nn)", fail_at - 1, fail_at))
                            : Ref::steal(Py_BuildValue("(ii)", INT_MAX, 0));
    if (!range) {
        return nullptr;
    }
    PyGC_Collect();
    Ref armed = Ref::steal(PyObject_Call(g_set_nomemory, range.get(), nullptr));
    if (!armed) {
        return nullptr;
    }
    // Nothing between set_nomemory's return and here allocates: both counts start together.
    start_counting();
    PyObject* result = PyObject_Call(args[1], args[2], kwargs);
    stop_counting();
    ErrorGuard pending;
    Ref removed = Ref::steal(PyObject_CallNoArgs(g_remove_hooks));
    if (!removed) {
        PyErr_WriteUnraisable(g_remove_hooks);
    }
    return result;
}

PyObject* alloc_count(PyObject*, PyObject*) noexcept {
    return PyLong_FromSsize_t(g_counter.count);
}

// route_numpy(): NumPy takes the data buffers of arrays made from here on (in this context) from
// the interpreter's raw domain, so that set_nomemory fails them too.
PyObject* route_numpy(PyObject*, PyObject*) noexcept {
    Ref capsule = Ref::steal(PyCapsule_New(&g_raw_handler, "mem_handler", nullptr));
    if (!capsule) {
        return nullptr;
    }
    Ref old = Ref::steal(PyDataMem_SetHandler(capsule.get()));
    if (!old) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    {"call", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(alloc_call)), METH_FASTCALL,
     "call(fail_at, callable, args, kwargs=None)"},
    {"count", alloc_count, METH_NOARGS, "Allocations requested by the last call()."},
    {"route_numpy", route_numpy, METH_NOARGS, "NumPy's data buffers through the raw domain."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject*) noexcept {
    return _import_array();
}

PyModuleDef_Slot slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)},
                            {Py_mod_gil, Py_MOD_GIL_USED},
                            {0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT,
                          "alloc_faults",
                          "Failing allocations for the exhaustion sweep.",
                          0,
                          methods,
                          slots};

} // namespace
} // namespace qm::testbeds

PyMODINIT_FUNC PyInit_alloc_faults() {
    return PyModuleDef_Init(&qm::testbeds::module_def);
}
