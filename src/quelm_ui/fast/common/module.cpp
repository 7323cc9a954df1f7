// Module creation and execution checks. The state here is per shared library: every module
// links its own copy of this file.
#include "quelm_ui/fast/common/module.hpp"

#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/ref.hpp"

namespace qm {
namespace {

// A weak reference to the module object whose exec succeeded; null until one has. Weak, so
// that a later module object that happens to reuse the address of a freed one is never taken
// for it.
PyObject* g_initialised_ref = nullptr;
// The module object whose exec is running (borrowed: the import system holds it meanwhile).
PyObject* g_executing_module = nullptr;

int warn_on_version_mismatch(const ModuleInfo& info) noexcept {
    const int run_major = static_cast<int>((Py_Version >> 24) & 0xff);
    const int run_minor = static_cast<int>((Py_Version >> 16) & 0xff);
    // GCOVR_EXCL_BR_START: a build's wheel tag pins the interpreter's minor version
    if (run_major == PY_MAJOR_VERSION && run_minor == PY_MINOR_VERSION) {
        return 0;
    }
    // GCOVR_EXCL_BR_STOP
    // GCOVR_EXCL_START: as above
    char message[200];
    PyOS_snprintf(message, sizeof message,
                  "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                  PY_MAJOR_VERSION, PY_MINOR_VERSION, info.dotted_path, "does not match", run_major,
                  run_minor);
    return PyErr_WarnEx(nullptr, message, 1);
    // GCOVR_EXCL_STOP
}

enum class Initialised { Same, Other, Gone, Error };

// Whether `module` is the module object that was initialised, another live one, or whether that
// one is gone (its weak reference dead).
Initialised compare_initialised(PyObject* module) noexcept {
    PyObject* referent = nullptr;
    if (PyWeakref_GetRef(g_initialised_ref, &referent) < 0) { // GCOVR_EXCL_BR_LINE: a weakref
        return Initialised::Error; // GCOVR_EXCL_LINE: fails only for a non-weakref
    }
    Py_XDECREF(referent);
    if (!referent) {
        return Initialised::Gone;
    }
    return referent == module ? Initialised::Same : Initialised::Other;
}

// As compare_initialised, but an initialised module object that only garbage keeps alive (an
// import that failed after exec succeeded leaves it in its traceback's reference cycle, out of
// sys.modules) counts as gone once a collection has freed it.
Initialised find_initialised(PyObject* module) noexcept {
    const Initialised found = compare_initialised(module);
    if (found != Initialised::Other) {
        return found;
    }
    PyGC_Collect();
    return compare_initialised(module);
}

// Runs the checks and the body; on success remembers `module` as the initialised one.
int execute_once(PyObject* module, const ModuleInfo& info, ModuleExecBody body,
                 ModuleStateRelease release_state) noexcept {
    g_executing_module = module;
    const bool done =
        // GCOVR_EXCL_BR_START: the version always matches (above)
        warn_on_version_mismatch(info) == 0 && ready_function_types() == 0 && body(module) == 0;
    // GCOVR_EXCL_BR_STOP
    g_executing_module = nullptr;
    if (done) {
        g_initialised_ref = PyWeakref_NewRef(module, nullptr);
        if (g_initialised_ref) {
            return 0;
        }
    }
    // A failed initialisation leaves no trace: the next import runs the body afresh.
    if (release_state) { // GCOVR_EXCL_BR_LINE: every module passes one
        ErrorGuard pending;
        release_state();
    }
    return -1;
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

int run_module_exec(PyObject* module, const ModuleInfo& info, ModuleExecBody body,
                    ModuleStateRelease release_state) noexcept {
    if (module == g_executing_module) { // GCOVR_EXCL_BR_LINE: see below
        // GCOVR_EXCL_START: no module's imports lead back to itself
        return 0; // re-entered from the body: the running exec finishes the work
        // GCOVR_EXCL_STOP
    }
    Initialised found = g_initialised_ref ? find_initialised(module) : Initialised::Gone;
    if (found == Initialised::Gone) {
        // Nothing initialised, or the module object that was is gone: a fresh exec replaces
        // every step's state.
        Py_CLEAR(g_initialised_ref);
        // GCOVR_EXCL_BR_START: no module's imports lead back to itself
        found = g_executing_module ? Initialised::Other : Initialised::Gone;
        // GCOVR_EXCL_BR_STOP
    }
    if (found == Initialised::Same) { // GCOVR_EXCL_BR_LINE: see below
        return 0; // GCOVR_EXCL_LINE: the import system runs exec once per module object
    }
    if (found == Initialised::Other) {
        PyErr_Format(PyExc_RuntimeError,
                     "Module '%s' has already been imported. Re-initialisation is not supported.",
                     info.short_name);
        // GCOVR_EXCL_BR_START: Error cannot occur (above)
    } else if (found == Initialised::Gone && execute_once(module, info, body, release_state) == 0) {
        // GCOVR_EXCL_BR_STOP
        return 0;
    }
    char entry[256];
    PyOS_snprintf(entry, sizeof entry, "init %s", info.dotted_path);
    add_traceback_named(info, entry);
    return -1;
}

} // namespace qm
