// Traceback entries for failures inside native code, named "<module path>.<operation>".
#pragma once

#include <Python.h>

namespace qm {

// What a module reports about itself in messages and traceback entries.
struct ModuleInfo {
    const char* short_name;  // "qmvector2"
    const char* dotted_path; // "quelm_ui.fast.qmvector2.qmvector2"
    const char* source_path; // "src/quelm_ui/fast/qmvector2/qmvector2"
};

// Adds a traceback entry "<dotted_path>.<operation>" (operation such as "QmVector2.__init__")
// to the pending exception. Call only on error paths; never replaces the pending exception.
void add_traceback(const ModuleInfo& module, const char* operation, int line = 0) noexcept;

// Same, for an entry named exactly `full_name` (e.g. "init quelm_ui.fast.raylib.quelm_raylib").
void add_traceback_named(const ModuleInfo& module, const char* full_name, int line = 0) noexcept;

} // namespace qm
