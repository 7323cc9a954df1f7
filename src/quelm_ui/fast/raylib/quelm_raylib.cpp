// The quelm_raylib extension module: the toolkit's drawing bridge into raylib. Its exec makes the
// constants, publishes the native entry points, imports the sibling types, clears the raylib
// entry table and binds the Python-visible functions and _base_color_qmvec_ez.
#include "quelm_ui/fast/raylib/raylib_internal.hpp"

#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/type_import.hpp"
#include "quelm_ui/fast/qmvector2/qmvector2_api.hpp"

#include <type_traits>

namespace qm::raylib {

ImportedTypes g_types{};
Constants g_constants{};

namespace {

// ---- step 2: constants ----

// Stores a new reference in a constant's slot, releasing what an earlier exec left there.
int store(PyObject*& slot, PyObject* made) noexcept {
    if (!made) {
        return -1;
    }
    replace_field(slot, Ref::steal(made));
    return 0;
}

int intern(PyObject*& slot, const char* text) noexcept {
    return store(slot, PyUnicode_InternFromString(text));
}

int make_constants(PyObject* module) noexcept {
    Constants& c = g_constants;
    if (intern(c.id, "id") < 0 || intern(c.width, "width") < 0 || intern(c.height, "height") < 0 ||
        intern(c.mipmaps, "mipmaps") < 0 || intern(c.format, "format") < 0 ||
        intern(c.texture, "texture") < 0 || intern(c.depth, "depth") < 0 ||
        intern(c.locs, "locs") < 0 || intern(c.x, "x") < 0 || intern(c.y, "y") < 0 ||
        intern(c.z, "z") < 0 || intern(c.w, "w") < 0 ||
        intern(c.base_color_name, "_base_color_qmvec_ez") < 0) {
        return -1;
    }
    // GCOVR_EXCL_BR_START: the float free list serves it
    if (store(c.position_offset, PyFloat_FromDouble(0.01)) < 0 ||
        // GCOVR_EXCL_BR_STOP
        // GCOVR_EXCL_BR_START: 255 is a cached small int
        store(c.int_255, PyLong_FromLong(255)) < 0 ||
        // GCOVR_EXCL_BR_STOP
        store(c.white_tint, PyTuple_Pack(4, c.int_255, c.int_255, c.int_255, c.int_255)) < 0) {
        return -1; // GCOVR_EXCL_LINE: free lists and the small-int cache serve these, not malloc
    }
    Ref builtins = Ref::steal(PyImport_ImportModule("builtins"));
    if (!builtins) {
        return -1;
    }
    replace_field(c.globals, Ref::borrow(PyModule_GetDict(module)));
    replace_field(c.builtins, Ref::borrow(PyModule_GetDict(builtins.get())));
    return 0;
}

// ---- step 3: __pyx_capi__ ----

// Inserts one capsule named by the entry's signature text; `function` must have the entry's type.
template <typename Fn>
int export_entry(PyObject* capi, const capi::Entry<Fn>& entry,
                 std::type_identity_t<Fn> function) noexcept {
    Ref capsule =
        Ref::steal(PyCapsule_New(reinterpret_cast<void*>(function), entry.signature, nullptr));
    if (!capsule) {
        return -1;
    }
    return PyDict_SetItemString(capi, entry.name, capsule.get());
}

// The thirty entries in table order (|| sequences the insertions and stops at a failure).
int export_entries(PyObject* capi) noexcept {
    if (export_entry(capi, capi::begin_qmshader_mode, begin_qmshader_mode) < 0 ||
        export_entry(capi, capi::get_qmshader_location, get_qmshader_location) < 0 ||
        export_entry(capi, capi::c_clear_background, c_clear_background) < 0 ||
        export_entry(capi, capi::c_draw_texture_rec, c_draw_texture_rec) < 0 ||
        export_entry(capi, capi::c_draw_texture_pro, c_draw_texture_pro) < 0 ||
        export_entry(capi, capi::draw_texture_pro, draw_texture_pro) < 0 ||
        export_entry(capi, capi::draw_texture_rec, draw_texture_rec) < 0 ||
        export_entry(capi, capi::c_draw_texture_vec, c_draw_texture_vec) < 0 ||
        export_entry(capi, capi::draw_texture_vec, draw_texture_vec) < 0 ||
        export_entry(capi, capi::begin_texture_mode, begin_texture_mode) < 0 ||
        export_entry(capi, capi::clear_background, clear_background) < 0 ||
        export_entry(capi, capi::init_raylib_pointers, init_raylib_pointers) < 0 ||
        export_entry(capi, capi::c_draw_texture_qmvec, c_draw_texture_qmvec) < 0 ||
        export_entry(capi, capi::begin_drawing, begin_drawing) < 0 ||
        export_entry(capi, capi::end_blend_mode, end_blend_mode) < 0 ||
        export_entry(capi, capi::end_drawing, end_drawing) < 0 ||
        export_entry(capi, capi::end_shader_mode, end_shader_mode) < 0 ||
        export_entry(capi, capi::end_texture_mode, end_texture_mode) < 0 ||
        export_entry(capi, capi::begin_blend_mode, begin_blend_mode) < 0 ||
        export_entry(capi, capi::c_draw_qmtexture_qmvec, c_draw_qmtexture_qmvec) < 0 ||
        export_entry(capi, capi::qm_clear_background, qm_clear_background) < 0 ||
        export_entry(capi, capi::set_qmshader_value_vec2_tuple, set_qmshader_value_vec2_tuple) <
            0 ||
        export_entry(capi, capi::set_qmshader_value_vec4_tuple, set_qmshader_value_vec4_tuple) <
            0 ||
        export_entry(capi, capi::set_qmshader_value, set_qmshader_value) < 0 ||
        export_entry(capi, capi::set_qmshader_value_float, set_qmshader_value_float) < 0 ||
        export_entry(capi, capi::set_qmshader_value_int, set_qmshader_value_int) < 0 ||
        export_entry(capi, capi::set_qmshader_value_vec4_v, set_qmshader_value_vec4_v) < 0 ||
        export_entry(capi, capi::set_qmshader_value_float_v, set_qmshader_value_float_v) < 0 ||
        export_entry(capi, capi::set_qmshader_value_vec2_qmvec, set_qmshader_value_vec2_qmvec) <
            0 ||
        export_entry(capi, capi::c_clear_background_blank, c_clear_background_blank) < 0) {
        return -1;
    }
    return 0;
}

// Takes the module's existing __pyx_capi__ or makes and binds an empty one, then fills it.
int publish_capi(PyObject* module) noexcept {
    PyObject* existing = nullptr;
    if (PyObject_GetOptionalAttrString(module, capi::kCapiAttr, &existing) < 0) {
        return -1;
    }
    Ref capi = Ref::steal(existing);
    if (!capi) {
        capi = Ref::steal(PyDict_New());
        if (!capi || PyModule_AddObjectRef(module, capi::kCapiAttr, capi.get()) < 0) {
            return -1;
        }
    }
    return export_entries(capi.get());
}

// ---- step 4: sibling types ----

int import_types() noexcept {
    const vector2::qm_vector2_methods_t* vector_methods = nullptr;
    const siblings::QmShaderMethods* shader_methods = nullptr;
    const siblings::QmRenderTextureMethods* render_texture_methods = nullptr;
    if (import_type_with_table(vector2::kModulePath, vector2::kTypeName, vector2::kRecordSize,
                               g_types.vector2, vector_methods) < 0 ||
        import_type_with_table(siblings::kQmShaderModule, siblings::kQmShaderName,
                               siblings::kQmShaderSize, g_types.shader, shader_methods) < 0 ||
        import_type_with_table(siblings::kQmRectModule, siblings::kQmRectName,
                               siblings::kQmRectSize, g_types.rect, g_types.rect_methods) < 0 ||
        import_type_with_table(siblings::kQmRenderTextureModule, siblings::kQmRenderTextureName,
                               siblings::kQmRenderTextureSize, g_types.render_texture,
                               render_texture_methods) < 0) {
        return -1;
    }
    return 0;
}

// ---- steps 6 and 7: functions and _base_color_qmvec_ez ----

int bind_base_color(PyObject* module) noexcept {
    Ref color = Ref::steal(
        reinterpret_cast<PyObject*>(g_types.rect_methods->new_(255.0f, 255.0f, 255.0f, 255.0f)));
    if (!color) {
        return -1;
    }
    return PyModule_AddObjectRef(module, "_base_color_qmvec_ez", color.get());
}

int exec_quelm_raylib(PyObject* module) noexcept {
    if (make_constants(module) < 0 || publish_capi(module) < 0 || import_types() < 0) {
        return -1;
    }
    g_entries = EntryTable{};
    if (add_module_functions(module, table_functions()) < 0 ||
        add_module_functions(module, drawing_functions_head()) < 0 || bind_base_color(module) < 0 ||
        add_module_functions(module, drawing_functions_tail()) < 0 ||
        add_module_functions(module, shader_functions()) < 0) {
        return -1;
    }
    return 0;
}

// After a failed exec nothing may keep the failed module object's dictionary alive.
void release_state() noexcept {
    Py_CLEAR(g_constants.globals);
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_quelm_raylib, release_state);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quelm_raylib",
    "The toolkit's drawing bridge into raylib.\n"
    "\n"
    "raylib is never linked: init_raylib_pointers stores the addresses of fourteen raylib "
    "functions in the bridge's entry table, and every other function converts its arguments "
    "into raylib's by-value records and makes one call through that table. A function whose "
    "slot is null raises RuntimeError \"raylib function <Name> is not bound: call "
    "init_raylib_pointers first\" once its arguments have converted, and calls nothing.\n"
    "\n"
    "Conversions; when one fails, the exception propagates and raylib is not called:\n"
    "\n"
    "- Textures, render textures and shaders of the plain functions are objects of the "
    "toolkit's raylib binding, read through their attributes (id, width, height, mipmaps, "
    "format; id, texture, depth; id, locs). A missing attribute raises AttributeError. An id "
    "must fit an unsigned int, the other integers an int and locs an unsigned 64-bit address "
    "(OverflowError otherwise, TypeError \"an integer is required\" without __int__).\n"
    "- Colours are (r, g, b) or (r, g, b, a) tuples whose items are truncated to integers "
    "keeping their low 8 bits, alpha 255 when absent; a QmRect used as a colour gives "
    "(x, y, w, h) the same way.\n"
    "- Rectangles (x, y, width, height), positions (x, y) and shader vectors are tuples of "
    "numbers, narrowed to 32-bit floats. Drawing positions taken from a QmVector2 are offset "
    "by 0.01; shader values are not.\n"
    "- A tuple parameter takes exactly a tuple (\"Argument 'color' has incorrect type (expected "
    "tuple, got list)\"). None where a tuple, QmRect or QmShader is read raises TypeError, a "
    "tuple with too few items IndexError \"tuple index out of range\".\n",
    0,
    nullptr,
    module_slots,
};

} // namespace

// Called by PyInit_quelm_raylib (quelm_raylib_entry.cpp) once the processor check has passed.
PyObject* module_definition() noexcept {
    return PyModuleDef_Init(&module_def);
}

} // namespace qm::raylib
