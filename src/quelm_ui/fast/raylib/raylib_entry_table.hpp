// The table of raylib entry points the bridge calls: one typed function pointer per raylib
// function, with raylib's prototypes (records by value, C calling convention). The toolkit hands
// the addresses over at run time through init_raylib_pointers; raylib itself is never linked.
#pragma once

#include "quelm_ui/fast/common/sibling_slots.hpp"
#include "quelm_ui/fast/raylib/raylib_records.hpp"

#include <cstddef>

namespace qm::raylib {

extern "C" {
typedef void (*DrawTextureRecFn)(Texture2D texture, Rectangle source, Vector2 position, Color tint);
typedef void (*DrawTextureProFn)(Texture2D texture, Rectangle source, Rectangle dest,
                                 Vector2 origin, float rotation, Color tint);
typedef void (*BeginBlendModeFn)(int mode);
typedef void (*BeginTextureModeFn)(RenderTexture2D target);
typedef void (*ClearBackgroundFn)(Color color);
typedef void (*BeginShaderModeFn)(Shader shader);
typedef void (*SetShaderValueFn)(Shader shader, int loc_index, const void* value, int uniform_type);
typedef int (*GetShaderLocationFn)(Shader shader, const char* uniform_name);
typedef void (*SetShaderValueVFn)(Shader shader, int loc_index, const void* value, int uniform_type,
                                  int count);
typedef void (*NoArgsFn)(void);
}

// Invariant: every slot is null or the address of the raylib function named in its comment,
// with exactly that prototype. Slots are in the order init_raylib_pointers walks its keys.
struct EntryTable {
    DrawTextureRecFn draw_texture_rec;       // 1 "DrawTextureRec"
    DrawTextureProFn draw_texture_pro;       // 2 "DrawTexturePro"
    BeginBlendModeFn begin_blend_mode;       // 3 "BeginBlendMode"
    NoArgsFn end_blend_mode;                 // 4 "EndBlendMode"
    BeginTextureModeFn begin_texture_mode;   // 5 "BeginTextureMode"
    NoArgsFn end_texture_mode;               // 6 "EndTextureMode"
    ClearBackgroundFn clear_background;      // 7 "ClearBackground"
    BeginShaderModeFn begin_shader_mode;     // 8 "BeginShaderMode"
    NoArgsFn end_shader_mode;                // 9 "EndShaderMode"
    SetShaderValueFn set_shader_value;       // 10 "SetShaderValue"
    GetShaderLocationFn get_shader_location; // 11 "GetShaderLocation"
    NoArgsFn begin_drawing;                  // 12 "BeginDrawing"
    NoArgsFn end_drawing;                    // 13 "EndDrawing"
    SetShaderValueVFn set_shader_value_v;    // 14 "SetShaderValueV"
};

inline constexpr size_t kEntryCount = 14;

static_assert(sizeof(EntryTable) == kEntryCount * sizeof(void*));
QM_TABLE_SLOT(EntryTable, draw_texture_rec, 1);
QM_TABLE_SLOT(EntryTable, draw_texture_pro, 2);
QM_TABLE_SLOT(EntryTable, begin_blend_mode, 3);
QM_TABLE_SLOT(EntryTable, end_blend_mode, 4);
QM_TABLE_SLOT(EntryTable, begin_texture_mode, 5);
QM_TABLE_SLOT(EntryTable, end_texture_mode, 6);
QM_TABLE_SLOT(EntryTable, clear_background, 7);
QM_TABLE_SLOT(EntryTable, begin_shader_mode, 8);
QM_TABLE_SLOT(EntryTable, end_shader_mode, 9);
QM_TABLE_SLOT(EntryTable, set_shader_value, 10);
QM_TABLE_SLOT(EntryTable, get_shader_location, 11);
QM_TABLE_SLOT(EntryTable, begin_drawing, 12);
QM_TABLE_SLOT(EntryTable, end_drawing, 13);
QM_TABLE_SLOT(EntryTable, set_shader_value_v, 14);

} // namespace qm::raylib
