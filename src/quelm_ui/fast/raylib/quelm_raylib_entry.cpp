// The exported entry point of quelm_raylib, built for baseline x86-64: it refuses a processor
// without AVX2 and FMA before any of the module's own code runs.
#include "quelm_ui/fast/common/cpu_check.hpp"
#include "quelm_ui/fast/raylib/quelm_raylib_capi.hpp"

namespace qm::raylib {
PyObject* module_definition() noexcept; // quelm_raylib.cpp, built for AVX2
} // namespace qm::raylib

PyMODINIT_FUNC PyInit_quelm_raylib() {
    return qm::init_on_supported_cpu(qm::raylib::capi::kModulePath, qm::raylib::module_definition);
}
