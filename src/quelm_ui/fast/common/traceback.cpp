// Synthetic frames for traceback entries, with the code objects cached per operation.
#include "quelm_ui/fast/common/traceback.hpp"

#include "quelm_ui/fast/common/ref.hpp"

#include <frameobject.h>

#include <string>
#include <unordered_map>

namespace qm {
namespace {

// One cached code object per (entry name, line); lives for the life of the process.
PyCodeObject* code_for(const ModuleInfo& module, const std::string& name, int line) noexcept {
    static std::unordered_map<std::string, PyCodeObject*>* cache = nullptr;
    try {
        if (!cache) {
            cache = new std::unordered_map<std::string, PyCodeObject*>();
        }
        const std::string key = name + '\0' + std::to_string(line);
        auto found = cache->find(key);
        if (found != cache->end()) {
            return found->second;
        }
        PyCodeObject* code = PyCode_NewEmpty(module.source_path, name.c_str(), line);
        if (code) {
            cache->emplace(key, code);
        }
        return code;
        // GCOVR_EXCL_START: operator new, which the sweep cannot fail
    } catch (...) {
        return nullptr;
    }
    // GCOVR_EXCL_STOP
}

void add_entry(const ModuleInfo& module, const std::string& name, int line) noexcept {
    if (!PyErr_Occurred()) { // GCOVR_EXCL_BR_LINE: called on error paths only
        return;              // GCOVR_EXCL_LINE: as above
    }
    PyObject* pending = PyErr_GetRaisedException();
    PyCodeObject* code = code_for(module, name, line);
    Ref globals = Ref::steal(code ? PyDict_New() : nullptr);
    Ref frame;
    if (globals) {
        frame = Ref::steal(reinterpret_cast<PyObject*>(
            PyFrame_New(PyThreadState_Get(), code, globals.get(), nullptr)));
    }
    // Whatever went wrong while building the entry is dropped; the original error stays.
    PyErr_Clear();
    PyErr_SetRaisedException(pending);
    if (frame) {
        PyTraceBack_Here(frame.as<PyFrameObject>());
    }
}

} // namespace

void add_traceback(const ModuleInfo& module, const char* operation, int line) noexcept {
    try {
        add_entry(module, std::string(module.dotted_path) + '.' + operation, line);
        // GCOVR_EXCL_START: operator new, which the sweep cannot fail
    } catch (...) { // NOLINT(bugprone-empty-catch): no memory for the name, so no entry; the
                    // pending exception, which is what matters, stays as it is
    }
    // GCOVR_EXCL_STOP
}

void add_traceback_named(const ModuleInfo& module, const char* full_name, int line) noexcept {
    try {
        add_entry(module, full_name, line);
        // GCOVR_EXCL_START: as above
    } catch (...) { // NOLINT(bugprone-empty-catch): as above
    }
    // GCOVR_EXCL_STOP
}

} // namespace qm
