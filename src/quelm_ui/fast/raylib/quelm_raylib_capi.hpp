// Binary contract of quelm_raylib's exported native entry points: the module attribute
// `__pyx_capi__` maps each entry's name to a capsule whose name is the entry's signature text and
// whose pointer is the function. Native consumers include only this header and bind by name and
// text. Entry points never raise in the C++ sense: a failure leaves a Python exception pending
// (object results are null, get_qmshader_location returns -1), so callers check PyErr_Occurred()
// after every call. Object parameters are borrowed; the trailing int of an entry that is also
// Python-visible is the dispatch flag, accepted and ignored.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/qmrect_abi.hpp"
#include "quelm_ui/fast/common/qmrendertex_abi.hpp"
#include "quelm_ui/fast/common/qmshader_abi.hpp"
#include "quelm_ui/fast/qmvector2/qmvector2_api.hpp"
#include "quelm_ui/fast/raylib/raylib_records.hpp"

#include <cstddef>
#include <vector>

namespace qm::raylib::capi {

inline constexpr const char* kModulePath = "quelm_ui.fast.raylib.quelm_raylib";
inline constexpr const char* kCapiAttr = "__pyx_capi__";
inline constexpr size_t kEntryCount = 30;

using QmShader = siblings::QmShaderObject;
using QmRect = siblings::QmRectObject;
using QmRenderTexture = siblings::QmRenderTextureObject;
using QmVector2 = vector2::QmVector2Object;

// One exported entry point: its key in __pyx_capi__, its capsule name, and (as the template
// argument) the function pointer type its capsule holds.
template <typename Fn>
struct Entry {
    using Function = Fn;
    const char* name;
    const char* signature;
};

using BeginQmshaderMode = PyObject* (*)(QmShader* shader) noexcept;
using GetQmshaderLocation = int (*)(QmShader* shader, PyObject* name, int skip_dispatch) noexcept;
using CClearBackground = void (*)(PyObject* color) noexcept;
using CDrawTextureRec = void (*)(PyObject* texture, PyObject* source_rec, PyObject* position,
                                 PyObject* color) noexcept;
using CDrawTexturePro = void (*)(PyObject* texture, PyObject* source_rec, PyObject* dest_rec,
                                 PyObject* origin, float rotation, PyObject* color) noexcept;
using DrawTexturePro = void (*)(PyObject* texture, PyObject* source_rec, PyObject* dest_rec,
                                PyObject* origin, float rotation, PyObject* color,
                                int skip_dispatch) noexcept;
using DrawTextureRec = void (*)(PyObject* texture, PyObject* source_rec, PyObject* position,
                                PyObject* color, int skip_dispatch) noexcept;
using CDrawTextureVec = void (*)(PyObject* texture, PyObject* position, PyObject* color,
                                 int flip) noexcept;
using DrawTextureVec = void (*)(PyObject* texture, PyObject* position, PyObject* color, int flip,
                                int skip_dispatch) noexcept;
using ObjectAndFlag = void (*)(PyObject* object, int skip_dispatch) noexcept;
using CDrawTextureQmvec = void (*)(PyObject* texture, QmVector2* position, QmRect* color,
                                   int flip) noexcept;
using FlagOnly = void (*)(int skip_dispatch) noexcept;
using BeginBlendMode = void (*)(int mode, int skip_dispatch) noexcept;
using CDrawQmtextureQmvec = void (*)(QmRenderTexture* texture, QmVector2* position, QmRect* color,
                                     int flip) noexcept;
using QmClearBackground = void (*)(QmRect* color) noexcept;
using SetQmshaderValueTuple = void (*)(QmShader* shader, int loc_index, PyObject* value,
                                       int skip_dispatch) noexcept;
using SetQmshaderValue = void (*)(QmShader* shader, int loc_index, PyObject* value,
                                  int uniform_type, int skip_dispatch) noexcept;
using SetQmshaderValueFloat = void (*)(QmShader* shader, int loc_index, float value,
                                       int skip_dispatch) noexcept;
using SetQmshaderValueInt = void (*)(QmShader* shader, int loc_index, int value,
                                     int skip_dispatch) noexcept;
using SetQmshaderValueVec4V = void (*)(QmShader* shader, int loc_index, std::vector<Vector4> values,
                                       int skip_dispatch) noexcept;
using SetQmshaderValueFloatV = void (*)(QmShader* shader, int loc_index, std::vector<float> values,
                                        int skip_dispatch) noexcept;
using SetQmshaderValueVec2Qmvec = void (*)(QmShader* shader, int loc_index, QmVector2* value,
                                           int skip_dispatch) noexcept;
using NoArgs = void (*)() noexcept;

// The thirty entries, in the order they are inserted into __pyx_capi__.
inline constexpr Entry<BeginQmshaderMode> begin_qmshader_mode{
    "begin_qmshader_mode",
    "PyObject *(struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *)"};
inline constexpr Entry<GetQmshaderLocation> get_qmshader_location{
    "get_qmshader_location", "int (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader "
                             "*, PyObject *, int __pyx_skip_dispatch)"};
inline constexpr Entry<CClearBackground> c_clear_background{"c_clear_background",
                                                            "void (PyObject *)"};
inline constexpr Entry<CDrawTextureRec> c_draw_texture_rec{
    "c_draw_texture_rec", "void (PyObject *, PyObject *, PyObject *, PyObject *)"};
inline constexpr Entry<CDrawTexturePro> c_draw_texture_pro{
    "c_draw_texture_pro",
    "void (PyObject *, PyObject *, PyObject *, PyObject *, float, PyObject *)"};
inline constexpr Entry<DrawTexturePro> draw_texture_pro{
    "draw_texture_pro", "void (PyObject *, PyObject *, PyObject *, PyObject *, float, PyObject *, "
                        "int __pyx_skip_dispatch)"};
inline constexpr Entry<DrawTextureRec> draw_texture_rec{
    "draw_texture_rec",
    "void (PyObject *, PyObject *, PyObject *, PyObject *, int __pyx_skip_dispatch)"};
inline constexpr Entry<CDrawTextureVec> c_draw_texture_vec{
    "c_draw_texture_vec", "void (PyObject *, PyObject *, PyObject *, int)"};
inline constexpr Entry<DrawTextureVec> draw_texture_vec{
    "draw_texture_vec", "void (PyObject *, PyObject *, PyObject *, int, int __pyx_skip_dispatch)"};
inline constexpr Entry<ObjectAndFlag> begin_texture_mode{
    "begin_texture_mode", "void (PyObject *, int __pyx_skip_dispatch)"};
inline constexpr Entry<ObjectAndFlag> clear_background{
    "clear_background", "void (PyObject *, int __pyx_skip_dispatch)"};
inline constexpr Entry<ObjectAndFlag> init_raylib_pointers{
    "init_raylib_pointers", "void (PyObject *, int __pyx_skip_dispatch)"};
inline constexpr Entry<CDrawTextureQmvec> c_draw_texture_qmvec{
    "c_draw_texture_qmvec",
    "void (PyObject *, struct __pyx_obj_8quelm_ui_4fast_9qmvector2_9qmvector2_QmVector2 *, struct "
    "__pyx_obj_8quelm_ui_4fast_6qmrect_6qmrect_QmRect *, int)"};
inline constexpr Entry<FlagOnly> begin_drawing{"begin_drawing", "void (int __pyx_skip_dispatch)"};
inline constexpr Entry<FlagOnly> end_blend_mode{"end_blend_mode", "void (int __pyx_skip_dispatch)"};
inline constexpr Entry<FlagOnly> end_drawing{"end_drawing", "void (int __pyx_skip_dispatch)"};
inline constexpr Entry<FlagOnly> end_shader_mode{"end_shader_mode",
                                                 "void (int __pyx_skip_dispatch)"};
inline constexpr Entry<FlagOnly> end_texture_mode{"end_texture_mode",
                                                  "void (int __pyx_skip_dispatch)"};
inline constexpr Entry<BeginBlendMode> begin_blend_mode{"begin_blend_mode",
                                                        "void (int, int __pyx_skip_dispatch)"};
inline constexpr Entry<CDrawQmtextureQmvec> c_draw_qmtexture_qmvec{
    "c_draw_qmtexture_qmvec",
    "void (struct __pyx_obj_8quelm_ui_4fast_11qmrendertex_13qm_render_tex_QmRenderTexture *, "
    "struct __pyx_obj_8quelm_ui_4fast_9qmvector2_9qmvector2_QmVector2 *, struct "
    "__pyx_obj_8quelm_ui_4fast_6qmrect_6qmrect_QmRect *, int)"};
inline constexpr Entry<QmClearBackground> qm_clear_background{
    "qm_clear_background", "void (struct __pyx_obj_8quelm_ui_4fast_6qmrect_6qmrect_QmRect *)"};
inline constexpr Entry<SetQmshaderValueTuple> set_qmshader_value_vec2_tuple{
    "set_qmshader_value_vec2_tuple",
    "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, PyObject *, int "
    "__pyx_skip_dispatch)"};
inline constexpr Entry<SetQmshaderValueTuple> set_qmshader_value_vec4_tuple{
    "set_qmshader_value_vec4_tuple",
    "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, PyObject *, int "
    "__pyx_skip_dispatch)"};
inline constexpr Entry<SetQmshaderValue> set_qmshader_value{
    "set_qmshader_value",
    "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, PyObject *, int, "
    "int __pyx_skip_dispatch)"};
inline constexpr Entry<SetQmshaderValueFloat> set_qmshader_value_float{
    "set_qmshader_value_float",
    "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, float, int "
    "__pyx_skip_dispatch)"};
inline constexpr Entry<SetQmshaderValueInt> set_qmshader_value_int{
    "set_qmshader_value_int",
    "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, int, int "
    "__pyx_skip_dispatch)"};
inline constexpr Entry<SetQmshaderValueVec4V> set_qmshader_value_vec4_v{
    "set_qmshader_value_vec4_v",
    "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, "
    "std::vector<Vector4> , int __pyx_skip_dispatch)"};
inline constexpr Entry<SetQmshaderValueFloatV> set_qmshader_value_float_v{
    "set_qmshader_value_float_v",
    "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, "
    "std::vector<float> , int __pyx_skip_dispatch)"};
inline constexpr Entry<SetQmshaderValueVec2Qmvec> set_qmshader_value_vec2_qmvec{
    "set_qmshader_value_vec2_qmvec",
    "void (struct __pyx_obj_8quelm_ui_4fast_8qmshader_8qmshader_QmShader *, int, struct "
    "__pyx_obj_8quelm_ui_4fast_9qmvector2_9qmvector2_QmVector2 *, int __pyx_skip_dispatch)"};
inline constexpr Entry<NoArgs> c_clear_background_blank{"c_clear_background_blank", "void (void)"};

// Fetches one entry point from the module's __pyx_capi__ dictionary (borrowed), checking that
// its capsule carries the expected signature text. Returns the function, or nullptr with
// KeyError (no such entry) or TypeError (another signature) set.
template <typename Fn>
Fn bind_entry(PyObject* capi, const Entry<Fn>& entry) noexcept {
    PyObject* capsule = nullptr;
    if (PyDict_GetItemStringRef(capi, entry.name, &capsule) <= 0) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_KeyError, "%s does not export %s", kModulePath, entry.name);
        }
        return nullptr;
    }
    void* address = nullptr;
    if (!PyCapsule_IsValid(capsule, entry.signature)) {
        PyErr_Format(PyExc_TypeError,
                     "C function %.200s.%.200s has wrong signature (expected %.500s)", kModulePath,
                     entry.name, entry.signature);
    } else {
        address = PyCapsule_GetPointer(capsule, entry.signature);
    }
    Py_DECREF(capsule);
    return reinterpret_cast<Fn>(address);
}

} // namespace qm::raylib::capi
