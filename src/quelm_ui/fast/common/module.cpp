// Module creation and execution checks. The state here is per shared library: every module
// links its own copy of this file.
#include "quelm_ui/fast/common/module.hpp"

#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/ref.hpp"

namespace qm {
namespace {

PyObject* g_initialised_module = nullptr; // borrowed: kept alive by sys.modules or its users

int warn_on_version_mismatch(const ModuleInfo& info) noexcept {
    const int run_major = static_cast<int>((Py_Version >> 24) & 0xff);
    const int run_minor = static_cast<int>((Py_Version >> 16) & 0xff);
    if (run_major == PY_MAJOR_VERSION && run_minor == PY_MINOR_VERSION) {
        return 0;
    }
    char message[200];
    PyOS_snprintf(message, sizeof message,
                  "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                  PY_MAJOR_VERSION, PY_MINOR_VERSION, info.dotted_path, "does not match", run_major,
                  run_minor);
    return PyErr_WarnEx(nullptr, message, 1);
}

} // namespace

PyObject* module_create(PyObject* spec, PyModuleDef*) noexcept {
    // The types are static and shared by the whole process, so they may only ever belong to
    // the main interpreter: a subinterpreter that loaded first would leave them pointing into
    // its own allocator once it is gone.
    if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
        PyErr_SetString(PyExc_ImportError, "Interpreter change detected - this module can only be "
                                           "loaded into one interpreter per process.");
        return nullptr;
    }
    Ref name = Ref::steal(PyObject_GetAttrString(spec, "name"));
    if (!name) {
        return nullptr;
    }
    return PyModule_NewObject(name.get());
}

int run_module_exec(PyObject* module, const ModuleInfo& info, ModuleExecBody body) noexcept {
    if (g_initialised_module == module) {
        return 0;
    }
    if (g_initialised_module) {
        PyErr_Format(PyExc_RuntimeError,
                     "Module '%s' has already been imported. Re-initialisation is not supported.",
                     info.short_name);
    } else {
        g_initialised_module = module;
        if (warn_on_version_mismatch(info) == 0 && ready_function_types() == 0 &&
            body(module) == 0) {
            return 0;
        }
    }
    char entry[256];
    PyOS_snprintf(entry, sizeof entry, "init %s", info.dotted_path);
    add_traceback_named(info, entry);
    return -1;
}

} // namespace qm
