// Multi-phase module set-up shared by every module: the one-interpreter rule, the
// re-initialisation check, the version warning and the "init" traceback entry.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/traceback.hpp"

namespace qm {

// Py_mod_create: refuses any interpreter but the main one (ImportError "Interpreter change
// detected ..."), then makes a fresh module object, so that a second initialisation always
// reaches the check in run_module_exec.
PyObject* module_create(PyObject* spec, PyModuleDef* def) noexcept;

using ModuleExecBody = int (*)(PyObject* module) noexcept;
// After a failed exec body: drops the references the body keeps to the module object's own
// contents (its dictionary), so that nothing holds the failed module alive. Process-wide
// constants and imported types stay: every exec step replaces what an earlier one left.
using ModuleStateRelease = void (*)() noexcept;

// Py_mod_exec: the re-initialisation check (RuntimeError "Module '%s' has already been
// imported. Re-initialisation is not supported." while another module object that was
// initialised is alive, success without work for the same one or for one whose exec is running),
// then the version warning and `body`. A module counts as initialised only once its body
// succeeded: after a failure `release_state` (when given) runs and a later import starts over.
// So does an import after the initialised module object is gone; one that only garbage keeps
// alive (an import that failed after exec, its module out of sys.modules) is collected first. On
// failure adds the traceback entry "init <dotted path>".
int run_module_exec(PyObject* module, const ModuleInfo& info, ModuleExecBody body,
                    ModuleStateRelease release_state = nullptr) noexcept;

} // namespace qm

// The slot table every module uses; `exec` is the module's own exec function.
#define QM_MODULE_SLOTS(exec)                                                                      \
    {                                                                                              \
        {Py_mod_create, reinterpret_cast<void*>(&qm::module_create)},                              \
            {Py_mod_exec, reinterpret_cast<void*>(&(exec))},                                       \
            {Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},                  \
            {Py_mod_gil, Py_MOD_GIL_USED}, {                                                       \
            0, nullptr                                                                             \
        }                                                                                          \
    }
