// Binary contract of the sibling type QmRect (module quelm_ui.fast.qmrect.qmrect).
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/sibling_slots.hpp"

namespace qm::siblings {

struct QmRectObject;

// 12 entries; only `new` (static) is called by this system.
struct QmRectMethods {
    QmRectObject* (*new_)(float x, float y, float w, float h) noexcept; // 1 "new"
    UnusedSlot unused[11];
};

struct QmRectObject {
    PyObject_HEAD const QmRectMethods* vtab;
    float x;
    float y;
    float w;
    float h;
};

inline constexpr const char* kQmRectModule = "quelm_ui.fast.qmrect.qmrect";
inline constexpr const char* kQmRectName = "QmRect";
inline constexpr size_t kQmRectSize = 40;

static_assert(sizeof(QmRectObject) == kQmRectSize);
static_assert(offsetof(QmRectObject, x) == 24 && offsetof(QmRectObject, h) == 36);
static_assert(sizeof(QmRectMethods) == 12 * sizeof(void*));
QM_TABLE_SLOT(QmRectMethods, new_, 1);

} // namespace qm::siblings
