// Declarations shared by the translation units of the quelm_raylib module: its module-global
// state (the raylib entry table, the imported sibling types, the constants made at import), the
// guarded calls through the entry table, and the native entry points each area defines.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/qmrect_abi.hpp"
#include "quelm_ui/fast/common/qmrendertex_abi.hpp"
#include "quelm_ui/fast/common/qmshader_abi.hpp"
#include "quelm_ui/fast/common/traceback.hpp"
#include "quelm_ui/fast/raylib/quelm_raylib_capi.hpp"
#include "quelm_ui/fast/raylib/raylib_entry_table.hpp"
#include "quelm_ui/fast/raylib/raylib_records.hpp"

#include <span>
#include <vector>

// Lines of "Raises:" that the functions' docstrings share, spliced into their literals: an
// argument that does not convert, and a call before init_raylib_pointers (the message
// entry_table.cpp raises for that raylib function).
#define QM_DOC_RAISES_CONVERSION                                                                   \
    "    TypeError, IndexError, AttributeError, OverflowError: an argument that does not "         \
    "convert (see the conversions in the module documentation); nothing is called.\n"
#define QM_DOC_RAISES_UNBOUND(raylib_name)                                                         \
    "    RuntimeError: \"raylib function " raylib_name " is not bound: call "                      \
    "init_raylib_pointers first\".\n"

namespace qm::raylib {

inline constexpr ModuleInfo kModule{"quelm_raylib", "quelm_ui.fast.raylib.quelm_raylib",
                                    "src/quelm_ui/fast/raylib/quelm_raylib"};

// Adds the traceback entry "quelm_ui.fast.raylib.quelm_raylib.<operation>" (error paths only).
inline void traceback(const char* operation) noexcept {
    add_traceback(kModule, operation);
}

// The raylib entry table: all null at import, written only by init_raylib_pointers.
extern EntryTable g_entries;

// The sibling types imported at exec, held for the life of the process (an exec that runs again
// after a failed one replaces them). Only QmRect's native table is used.
struct ImportedTypes {
    PyTypeObject* vector2;
    PyTypeObject* shader;
    PyTypeObject* rect;
    PyTypeObject* render_texture;
    const siblings::QmRectMethods* rect_methods;
};
extern ImportedTypes g_types;

// Objects made once at exec and held for the life of the process: interned attribute names,
// the drawing-position offset 0.01, the int 255, the white tint tuple, and the module's globals
// and builtins dictionaries (for the per-call lookup of _base_color_qmvec_ez). An exec that runs
// again after a failed one replaces them; the failed one drops `globals` (null).
struct Constants {
    PyObject* id;
    PyObject* width;
    PyObject* height;
    PyObject* mipmaps;
    PyObject* format;
    PyObject* texture;
    PyObject* depth;
    PyObject* locs;
    PyObject* x;
    PyObject* y;
    PyObject* z;
    PyObject* w;
    PyObject* base_color_name;
    PyObject* position_offset; // float 0.01
    PyObject* int_255;
    PyObject* white_tint; // (255, 255, 255, 255)
    PyObject* globals;
    PyObject* builtins;
};
extern Constants g_constants;

// RuntimeError "raylib function <name> is not bound: call init_raylib_pointers first"; -1.
int not_bound(const char* raylib_name) noexcept;

// ---- calls through the entry table: 0 after the call, -1 with RuntimeError for a null slot ----

inline int call_draw_texture_rec(Texture2D texture, Rectangle source, Vector2 position,
                                 Color tint) noexcept {
    const DrawTextureRecFn fn = g_entries.draw_texture_rec;
    if (!fn) {
        return not_bound("DrawTextureRec");
    }
    fn(texture, source, position, tint);
    return 0;
}

inline int call_draw_texture_pro(Texture2D texture, Rectangle source, Rectangle dest,
                                 Vector2 origin, float rotation, Color tint) noexcept {
    const DrawTextureProFn fn = g_entries.draw_texture_pro;
    if (!fn) {
        return not_bound("DrawTexturePro");
    }
    fn(texture, source, dest, origin, rotation, tint);
    return 0;
}

inline int call_begin_blend_mode(int mode) noexcept {
    const BeginBlendModeFn fn = g_entries.begin_blend_mode;
    if (!fn) {
        return not_bound("BeginBlendMode");
    }
    fn(mode);
    return 0;
}

inline int call_begin_texture_mode(RenderTexture2D target) noexcept {
    const BeginTextureModeFn fn = g_entries.begin_texture_mode;
    if (!fn) {
        return not_bound("BeginTextureMode");
    }
    fn(target);
    return 0;
}

inline int call_clear_background(Color color) noexcept {
    const ClearBackgroundFn fn = g_entries.clear_background;
    if (!fn) {
        return not_bound("ClearBackground");
    }
    fn(color);
    return 0;
}

inline int call_begin_shader_mode(Shader shader) noexcept {
    const BeginShaderModeFn fn = g_entries.begin_shader_mode;
    if (!fn) {
        return not_bound("BeginShaderMode");
    }
    fn(shader);
    return 0;
}

inline int call_set_shader_value(Shader shader, int loc_index, const void* value,
                                 int uniform_type) noexcept {
    const SetShaderValueFn fn = g_entries.set_shader_value;
    if (!fn) {
        return not_bound("SetShaderValue");
    }
    fn(shader, loc_index, value, uniform_type);
    return 0;
}

inline int call_get_shader_location(Shader shader, const char* name, int& location) noexcept {
    const GetShaderLocationFn fn = g_entries.get_shader_location;
    if (!fn) {
        return not_bound("GetShaderLocation");
    }
    location = fn(shader, name);
    return 0;
}

inline int call_set_shader_value_v(Shader shader, int loc_index, const void* value,
                                   int uniform_type, int count) noexcept {
    const SetShaderValueVFn fn = g_entries.set_shader_value_v;
    if (!fn) {
        return not_bound("SetShaderValueV");
    }
    fn(shader, loc_index, value, uniform_type, count);
    return 0;
}

// The argument-less functions: EndBlendMode, EndTextureMode, EndShaderMode, BeginDrawing,
// EndDrawing.
inline int call_no_args(NoArgsFn fn, const char* raylib_name) noexcept {
    if (!fn) {
        return not_bound(raylib_name);
    }
    fn();
    return 0;
}

// ---- native entry points (exported in __pyx_capi__; signatures in quelm_raylib_capi.hpp) ----

void init_raylib_pointers(PyObject* pointers, int skip_dispatch) noexcept;

void c_clear_background(PyObject* color) noexcept;
void c_draw_texture_rec(PyObject* texture, PyObject* source_rec, PyObject* position,
                        PyObject* color) noexcept;
void c_draw_texture_pro(PyObject* texture, PyObject* source_rec, PyObject* dest_rec,
                        PyObject* origin, float rotation, PyObject* color) noexcept;
void draw_texture_pro(PyObject* texture, PyObject* source_rec, PyObject* dest_rec, PyObject* origin,
                      float rotation, PyObject* color, int skip_dispatch) noexcept;
void draw_texture_rec(PyObject* texture, PyObject* source_rec, PyObject* position, PyObject* color,
                      int skip_dispatch) noexcept;
void c_draw_texture_vec(PyObject* texture, PyObject* position, PyObject* color, int flip) noexcept;
void draw_texture_vec(PyObject* texture, PyObject* position, PyObject* color, int flip,
                      int skip_dispatch) noexcept;
void begin_texture_mode(PyObject* target, int skip_dispatch) noexcept;
void clear_background(PyObject* color, int skip_dispatch) noexcept;
void c_draw_texture_qmvec(PyObject* texture, capi::QmVector2* position, capi::QmRect* color,
                          int flip) noexcept;
void begin_drawing(int skip_dispatch) noexcept;
void end_blend_mode(int skip_dispatch) noexcept;
void end_drawing(int skip_dispatch) noexcept;
void end_texture_mode(int skip_dispatch) noexcept;
void begin_blend_mode(int mode, int skip_dispatch) noexcept;
void c_draw_qmtexture_qmvec(capi::QmRenderTexture* texture, capi::QmVector2* position,
                            capi::QmRect* color, int flip) noexcept;
void qm_clear_background(capi::QmRect* color) noexcept;
void c_clear_background_blank() noexcept;

PyObject* begin_qmshader_mode(capi::QmShader* shader) noexcept;
int get_qmshader_location(capi::QmShader* shader, PyObject* name, int skip_dispatch) noexcept;
void end_shader_mode(int skip_dispatch) noexcept;
void set_qmshader_value_vec2_tuple(capi::QmShader* shader, int loc_index, PyObject* value,
                                   int skip_dispatch) noexcept;
void set_qmshader_value_vec4_tuple(capi::QmShader* shader, int loc_index, PyObject* value,
                                   int skip_dispatch) noexcept;
void set_qmshader_value(capi::QmShader* shader, int loc_index, PyObject* value, int uniform_type,
                        int skip_dispatch) noexcept;
void set_qmshader_value_float(capi::QmShader* shader, int loc_index, float value,
                              int skip_dispatch) noexcept;
void set_qmshader_value_int(capi::QmShader* shader, int loc_index, int value,
                            int skip_dispatch) noexcept;
void set_qmshader_value_vec4_v(capi::QmShader* shader, int loc_index, std::vector<Vector4> values,
                               int skip_dispatch) noexcept;
void set_qmshader_value_float_v(capi::QmShader* shader, int loc_index, std::vector<float> values,
                                int skip_dispatch) noexcept;
void set_qmshader_value_vec2_qmvec(capi::QmShader* shader, int loc_index, capi::QmVector2* value,
                                   int skip_dispatch) noexcept;

// ---- Python-visible functions, by area, in the order they are bound ----

// init_raylib_pointers.
std::span<const FunctionDef> table_functions() noexcept;
// The drawing functions up to draw_texture_qmvec; _base_color_qmvec_ez is bound after them.
std::span<const FunctionDef> drawing_functions_head() noexcept;
// draw_texture_qmvec_ez and the clearing, frame and mode functions.
std::span<const FunctionDef> drawing_functions_tail() noexcept;
std::span<const FunctionDef> shader_functions() noexcept;

// Result of a Python-visible function whose native body returns nothing: None, or nullptr with
// the traceback entry `name` when an exception is pending (raised by the body or by raylib's
// side of the call).
PyObject* none_or_error(const char* name) noexcept;

} // namespace qm::raylib
