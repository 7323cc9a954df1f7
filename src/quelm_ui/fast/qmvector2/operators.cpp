// Operator surface of QmVector2 (filled in by the arithmetic work).
#include "quelm_ui/fast/qmvector2/vector_internal.hpp"

namespace qm::vector2 {

void install_operator_slots(PyTypeObject&) noexcept {}

std::span<const FunctionDef> operator_functions() noexcept {
    return {};
}

} // namespace qm::vector2
