// Binary contract of the sibling type QmShader (module quelm_ui.fast.qmshader.qmshader).
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/sibling_slots.hpp"

#include <cstdint>

namespace qm::siblings {

// One entry, c_create_from_code, not called by this system.
struct QmShaderMethods {
    UnusedSlot c_create_from_code; // 1
};

struct QmShaderObject {
    PyObject_HEAD const QmShaderMethods* vtab;
    uint32_t id;   // shader program id
    int32_t* locs; // the shader's uniform location array (may be null)
};

inline constexpr const char* kQmShaderModule = "quelm_ui.fast.qmshader.qmshader";
inline constexpr const char* kQmShaderName = "QmShader";
inline constexpr size_t kQmShaderSize = 40;

static_assert(sizeof(QmShaderObject) == kQmShaderSize);
static_assert(offsetof(QmShaderObject, id) == 24 && offsetof(QmShaderObject, locs) == 32);
static_assert(sizeof(QmShaderMethods) == sizeof(void*));

} // namespace qm::siblings
