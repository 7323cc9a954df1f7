// Helpers for declaring native method tables of the toolkit's sibling types: the positions this
// system relies on are typed, the others are placeholders of one unusable pointer type.
#pragma once

#include <cstddef>

namespace qm {

// A table entry this system never calls; only its position matters.
using UnusedSlot = void (*)() noexcept;

} // namespace qm

// Pins `field` of `table` at 1-based slot `position`.
#define QM_TABLE_SLOT(table, field, position)                                                      \
    static_assert(offsetof(table, field) == ((position) - 1) * sizeof(void*),                      \
                  #table "::" #field " must be slot " #position)
