// Binary contract of the sibling type QmRenderTexture (module
// quelm_ui.fast.qmrendertex.qm_render_tex).
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/sibling_slots.hpp"

#include <cstdint>

namespace qm::siblings {

struct QmRenderTextureObject;

// 14 entries; this system calls only c_get_texture (13): a new reference to the binding's
// texture object, or null with an exception set.
struct QmRenderTextureMethods {
    UnusedSlot unused[12];                                            // 1-12
    PyObject* (*c_get_texture)(QmRenderTextureObject* self) noexcept; // 13
    UnusedSlot unused_14;                                             // 14
};

struct QmRenderTextureObject {
    PyObject_HEAD const QmRenderTextureMethods* vtab;
    PyObject* render_texture;
    PyObject* size; // QmVector2
    int32_t loaded;
};

inline constexpr const char* kQmRenderTextureModule = "quelm_ui.fast.qmrendertex.qm_render_tex";
inline constexpr const char* kQmRenderTextureName = "QmRenderTexture";
inline constexpr size_t kQmRenderTextureSize = 48;

static_assert(sizeof(QmRenderTextureObject) == kQmRenderTextureSize);
static_assert(offsetof(QmRenderTextureObject, render_texture) == 24 &&
              offsetof(QmRenderTextureObject, loaded) == 40);
static_assert(sizeof(QmRenderTextureMethods) == 14 * sizeof(void*));
QM_TABLE_SLOT(QmRenderTextureMethods, c_get_texture, 13);

} // namespace qm::siblings
