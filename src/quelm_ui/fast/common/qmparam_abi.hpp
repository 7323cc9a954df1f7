// Binary contract of the sibling type QmParam (module quelm_ui.fast.qmparam.qmparam).
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/sibling_slots.hpp"

#include <cstdint>

namespace qm::siblings {

// 6 entries, none called by this system.
struct QmParamMethods {
    UnusedSlot unused[6];
};

// Every object field holds a reference (None when unset).
struct QmParamObject {
    PyObject_HEAD const QmParamMethods* vtab;
    PyObject* name;
    int32_t layer;
    PyObject* value;
    PyObject* default_; // "default"
    PyObject* getter;
    PyObject* setter;
    PyObject* type;
};

inline constexpr const char* kQmParamModule = "quelm_ui.fast.qmparam.qmparam";
inline constexpr const char* kQmParamName = "QmParam";
inline constexpr size_t kQmParamSize = 80;

static_assert(sizeof(QmParamObject) == kQmParamSize);
static_assert(offsetof(QmParamObject, name) == 24 && offsetof(QmParamObject, layer) == 32 &&
              offsetof(QmParamObject, value) == 40 && offsetof(QmParamObject, type) == 72);
static_assert(sizeof(QmParamMethods) == 6 * sizeof(void*));

} // namespace qm::siblings
