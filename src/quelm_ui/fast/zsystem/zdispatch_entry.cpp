// The exported entry point of zdispatch, built for baseline x86-64: it refuses a processor
// without AVX2 and FMA before any of the module's own code runs.
#include "quelm_ui/fast/common/cpu_check.hpp"
#include "quelm_ui/fast/zsystem/zdispatch_api.hpp"

namespace qm::zsystem {
PyObject* module_definition() noexcept; // zdispatch.cpp, built for AVX2
} // namespace qm::zsystem

PyMODINIT_FUNC PyInit_zdispatch() {
    return qm::init_on_supported_cpu(qm::zsystem::kModulePath, qm::zsystem::module_definition);
}
