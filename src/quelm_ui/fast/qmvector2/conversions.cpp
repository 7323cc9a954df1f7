// Conversion, geometry and copying methods of QmVector2 (filled in by the conversions work).
#include "quelm_ui/fast/qmvector2/vector_internal.hpp"

namespace qm::vector2 {

void install_conversion_slots(PyTypeObject&) noexcept {}

int exec_conversions(PyObject*) noexcept {
    return 0;
}

std::span<const FunctionDef> conversion_functions() noexcept {
    return {};
}

} // namespace qm::vector2
