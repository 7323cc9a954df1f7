// The exported entry point of qmvector2, built for baseline x86-64: it refuses a processor
// without AVX2 and FMA before any of the module's own code runs.
#include "quelm_ui/fast/common/cpu_check.hpp"
#include "quelm_ui/fast/qmvector2/qmvector2_api.hpp"

namespace qm::vector2 {
PyObject* module_definition() noexcept; // qmvector2.cpp, built for AVX2
} // namespace qm::vector2

PyMODINIT_FUNC PyInit_qmvector2() {
    return qm::init_on_supported_cpu(qm::vector2::kModulePath, qm::vector2::module_definition);
}
