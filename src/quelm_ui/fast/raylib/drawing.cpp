// Drawing, clearing, frame and mode operations: native entry points and their Python-visible
// functions. Each converts its arguments into raylib records, then makes one raylib call.
#include "quelm_ui/fast/raylib/raylib_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/raylib/conversions.hpp"

namespace qm::raylib {

// ---- native entry points ----
// Object arguments are borrowed. A failure leaves the exception pending, with a traceback entry
// under the entry point's name; raylib is then not called. All may call back into Python
// through the conversions except the blank clear and the argument-less forwarders.

void c_draw_texture_rec(PyObject* texture, PyObject* source_rec, PyObject* position,
                        PyObject* color) noexcept {
    Texture2D record{};
    Rectangle source{};
    Vector2 where{};
    Color tint{};
    if (get_c_texture(texture, record) < 0 || set_rectangle_1tuple(source_rec, source) < 0 ||
        set_vector2_tuple(position, where) < 0 || set_color(color, tint) < 0 ||
        call_draw_texture_rec(record, source, where, tint) < 0) {
        traceback("c_draw_texture_rec");
    }
}

void draw_texture_rec(PyObject* texture, PyObject* source_rec, PyObject* position, PyObject* color,
                      int) noexcept {
    c_draw_texture_rec(texture, source_rec, position, color);
    if (PyErr_Occurred()) {
        traceback("draw_texture_rec");
    }
}

void c_draw_texture_vec(PyObject* texture, PyObject* position, PyObject* color, int flip) noexcept {
    Texture2D record{};
    Vector2 where{};
    Color tint{};
    if (get_c_texture(texture, record) < 0 || set_vector2_tuple(position, where) < 0 ||
        set_color(color, tint) < 0 ||
        call_draw_texture_rec(record, whole_texture_source(record, flip != 0), where, tint) < 0) {
        traceback("c_draw_texture_vec");
    }
}

void draw_texture_vec(PyObject* texture, PyObject* position, PyObject* color, int flip,
                      int) noexcept {
    c_draw_texture_vec(texture, position, color, flip);
    if (PyErr_Occurred()) {
        traceback("draw_texture_vec");
    }
}

void c_draw_texture_qmvec(PyObject* texture, capi::QmVector2* position, capi::QmRect* color,
                          int flip) noexcept {
    Texture2D record{};
    Vector2 where{};
    Color tint{};
    if (get_c_texture(texture, record) < 0 ||
        set_vector2_qmvector2(reinterpret_cast<PyObject*>(position), where) < 0 ||
        set_color_qmrect(reinterpret_cast<PyObject*>(color), tint) < 0 ||
        call_draw_texture_rec(record, whole_texture_source(record, flip != 0), where, tint) < 0) {
        traceback("c_draw_texture_qmvec");
    }
}

void c_draw_qmtexture_qmvec(capi::QmRenderTexture* texture, capi::QmVector2* position,
                            capi::QmRect* color, int flip) noexcept {
    PyObject* object = reinterpret_cast<PyObject*>(texture);
    if (object == Py_None) {
        err::cannot_convert(object, g_types.render_texture);
        traceback("c_draw_qmtexture_qmvec");
        return;
    }
    Ref binding_texture = Ref::steal(texture->vtab->c_get_texture(texture));
    if (binding_texture) {
        c_draw_texture_qmvec(binding_texture.get(), position, color, flip);
    }
    if (PyErr_Occurred()) {
        traceback("c_draw_qmtexture_qmvec");
    }
}

void c_draw_texture_pro(PyObject* texture, PyObject* source_rec, PyObject* dest_rec,
                        PyObject* origin, float rotation, PyObject* color) noexcept {
    Texture2D record{};
    Rectangle source{};
    Rectangle dest{};
    Vector2 pivot{};
    Color tint{};
    if (get_c_texture(texture, record) < 0 || set_rectangle_1tuple(source_rec, source) < 0 ||
        set_rectangle_1tuple(dest_rec, dest) < 0 || set_vector2_tuple(origin, pivot) < 0 ||
        set_color(color, tint) < 0 ||
        call_draw_texture_pro(record, source, dest, pivot, rotation, tint) < 0) {
        traceback("c_draw_texture_pro");
    }
}

void draw_texture_pro(PyObject* texture, PyObject* source_rec, PyObject* dest_rec, PyObject* origin,
                      float rotation, PyObject* color, int) noexcept {
    c_draw_texture_pro(texture, source_rec, dest_rec, origin, rotation, color);
    if (PyErr_Occurred()) {
        traceback("draw_texture_pro");
    }
}

void c_clear_background(PyObject* color) noexcept {
    Color tint{};
    if (set_color(color, tint) < 0 || call_clear_background(tint) < 0) {
        traceback("c_clear_background");
    }
}

void clear_background(PyObject* color, int) noexcept {
    c_clear_background(color);
    if (PyErr_Occurred()) {
        traceback("clear_background");
    }
}

void qm_clear_background(capi::QmRect* color) noexcept {
    Color tint{};
    if (set_color_qmrect(reinterpret_cast<PyObject*>(color), tint) < 0 ||
        call_clear_background(tint) < 0) {
        traceback("qm_clear_background");
    }
}

void c_clear_background_blank() noexcept {
    if (call_clear_background(Color{0, 0, 0, 0}) < 0) {
        traceback("c_clear_background_blank");
    }
}

void begin_drawing(int) noexcept {
    if (call_no_args(g_entries.begin_drawing, "BeginDrawing") < 0) {
        traceback("begin_drawing");
    }
}

void end_drawing(int) noexcept {
    if (call_no_args(g_entries.end_drawing, "EndDrawing") < 0) {
        traceback("end_drawing");
    }
}

void begin_blend_mode(int mode, int) noexcept {
    if (call_begin_blend_mode(mode) < 0) {
        traceback("begin_blend_mode");
    }
}

void end_blend_mode(int) noexcept {
    if (call_no_args(g_entries.end_blend_mode, "EndBlendMode") < 0) {
        traceback("end_blend_mode");
    }
}

void begin_texture_mode(PyObject* target, int) noexcept {
    RenderTexture2D record{};
    if (get_c_render_texture(target, record) < 0 || call_begin_texture_mode(record) < 0) {
        traceback("begin_texture_mode");
    }
}

void end_texture_mode(int) noexcept {
    if (call_no_args(g_entries.end_texture_mode, "EndTextureMode") < 0) {
        traceback("end_texture_mode");
    }
}

namespace {

// ---- Python-visible functions ----
// Numeric arguments are converted first, then the other arguments' types are checked in
// parameter order; the first failure is reported with the function's traceback entry.

constexpr const char* kRecParams[] = {"texture", "source_rec", "position", "color"};
constexpr const char* kVecParams[] = {"texture", "position", "color", "flip"};
constexpr const char* kVecEzParams[] = {"texture", "position", "flip"};
constexpr const char* kProParams[] = {"texture", "source_rec", "dest_rec",
                                      "origin",  "rotation",   "color"};
constexpr const char* kColorParam[] = {"color"};
constexpr const char* kModeParam[] = {"mode"};
constexpr const char* kTargetParam[] = {"target"};

int check_tuple_arg(PyObject* obj, const char* param) noexcept {
    return check_arg_exact(obj, &PyTuple_Type, param);
}

PyObject* draw_rec(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   bool ez) noexcept {
    PyObject* params[4];
    if (parse_args(spec, args, nargs, kwnames, params) < 0 ||
        check_tuple_arg(params[1], "source_rec") < 0 ||
        check_tuple_arg(params[2], "position") < 0 ||
        (!ez && check_tuple_arg(params[3], "color") < 0)) {
        traceback(spec.func);
        return nullptr;
    }
    c_draw_texture_rec(params[0], params[1], params[2], ez ? g_constants.white_tint : params[3]);
    return none_or_error(spec.func);
}

PyObject* py_draw_texture_rec(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"draw_texture_rec", kRecParams, 4, 4};
    return draw_rec(spec, args, nargs, kwnames, false);
}

PyObject* py_draw_texture_rec_ez(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"draw_texture_rec_ez", kRecParams, 3, 3};
    return draw_rec(spec, args, nargs, kwnames, true);
}

// draw_texture_vec and its _ez form, which has no color parameter and draws with the white tint.
PyObject* draw_vec(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   bool ez) noexcept {
    PyObject* params[4];
    bool flip = false;
    if (parse_args(spec, args, nargs, kwnames, params) < 0 ||
        to_flag(params[ez ? 2 : 3], flip) < 0 || check_tuple_arg(params[1], "position") < 0 ||
        (!ez && check_tuple_arg(params[2], "color") < 0)) {
        traceback(spec.func);
        return nullptr;
    }
    c_draw_texture_vec(params[0], params[1], ez ? g_constants.white_tint : params[2], flip);
    return none_or_error(spec.func);
}

PyObject* py_draw_texture_vec(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"draw_texture_vec", kVecParams, 4, 4};
    return draw_vec(spec, args, nargs, kwnames, false);
}

PyObject* py_draw_texture_vec_ez(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"draw_texture_vec_ez", kVecEzParams, 3, 3};
    return draw_vec(spec, args, nargs, kwnames, true);
}

// The current value of the module global _base_color_qmvec_ez (falling back to the builtins),
// which must be a QmRect or None. Returns a new reference, or an empty Ref with NameError or
// TypeError set. May call back into Python (key comparisons).
Ref base_color() noexcept {
    PyObject* raw = nullptr;
    int found = g_constants.globals
                    ? PyDict_GetItemRef(g_constants.globals, g_constants.base_color_name, &raw)
                    : 0;
    if (found == 0) {
        found = PyDict_GetItemRef(g_constants.builtins, g_constants.base_color_name, &raw);
    }
    if (found < 0) {
        return Ref();
    }
    if (found == 0) {
        err::name_not_defined(g_constants.base_color_name);
        return Ref();
    }
    Ref color = Ref::steal(raw);
    if (!is_instance_or_none(color.get(), g_types.rect)) {
        err::cannot_convert(color.get(), g_types.rect);
        return Ref();
    }
    return color;
}

// draw_texture_qmvec and its _ez form, which has no color parameter and takes the tint from
// base_color() once the arguments are checked.
PyObject* draw_qmvec(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, bool ez) noexcept {
    PyObject* params[4];
    bool flip = false;
    if (parse_args(spec, args, nargs, kwnames, params) < 0 ||
        to_flag(params[ez ? 2 : 3], flip) < 0 ||
        check_arg_type(params[1], g_types.vector2, true, "position") < 0 ||
        (!ez && check_arg_type(params[2], g_types.rect, true, "color") < 0)) {
        traceback(spec.func);
        return nullptr;
    }
    Ref color = ez ? base_color() : Ref::borrow(params[2]);
    if (!color) {
        traceback(spec.func);
        return nullptr;
    }
    c_draw_texture_qmvec(params[0], reinterpret_cast<capi::QmVector2*>(params[1]),
                         color.as<capi::QmRect>(), flip);
    return none_or_error(spec.func);
}

PyObject* py_draw_texture_qmvec(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"draw_texture_qmvec", kVecParams, 4, 4};
    return draw_qmvec(spec, args, nargs, kwnames, false);
}

PyObject* py_draw_texture_qmvec_ez(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"draw_texture_qmvec_ez", kVecEzParams, 3, 3};
    return draw_qmvec(spec, args, nargs, kwnames, true);
}

PyObject* py_draw_texture_pro(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"draw_texture_pro", kProParams, 6, 6};
    PyObject* params[6];
    float rotation = 0.0f;
    if (parse_args(spec, args, nargs, kwnames, params) < 0 || to_float32(params[4], rotation) < 0 ||
        check_tuple_arg(params[1], "source_rec") < 0 ||
        check_tuple_arg(params[2], "dest_rec") < 0 || check_tuple_arg(params[3], "origin") < 0 ||
        check_tuple_arg(params[5], "color") < 0) {
        traceback(spec.func);
        return nullptr;
    }
    c_draw_texture_pro(params[0], params[1], params[2], params[3], rotation, params[5]);
    return none_or_error(spec.func);
}

PyObject* py_clear_background(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"clear_background", kColorParam, 1, 1};
    PyObject* color = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &color) < 0 || check_tuple_arg(color, "color") < 0) {
        traceback(spec.func);
        return nullptr;
    }
    c_clear_background(color);
    return none_or_error(spec.func);
}

// The argument-less forwarders: the native entry point, then the pending-exception check.
PyObject* forward(const char* name, void (*entry)(int) noexcept, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
    if (check_no_args(name, nargs, kwnames) < 0) {
        traceback(name);
        return nullptr;
    }
    entry(1);
    return none_or_error(name);
}

PyObject* py_begin_drawing(PyObject*, PyObject* const*, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
    return forward("begin_drawing", begin_drawing, nargs, kwnames);
}

PyObject* py_end_drawing(PyObject*, PyObject* const*, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
    return forward("end_drawing", end_drawing, nargs, kwnames);
}

PyObject* py_end_blend_mode(PyObject*, PyObject* const*, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept {
    return forward("end_blend_mode", end_blend_mode, nargs, kwnames);
}

PyObject* py_end_texture_mode(PyObject*, PyObject* const*, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
    return forward("end_texture_mode", end_texture_mode, nargs, kwnames);
}

PyObject* py_begin_blend_mode(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"begin_blend_mode", kModeParam, 1, 1};
    PyObject* param = nullptr;
    int32_t mode = 0;
    if (parse_args(spec, args, nargs, kwnames, &param) < 0 || to_int32(param, mode) < 0) {
        traceback(spec.func);
        return nullptr;
    }
    begin_blend_mode(mode, 1);
    return none_or_error(spec.func);
}

PyObject* py_begin_texture_mode(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"begin_texture_mode", kTargetParam, 1, 1};
    PyObject* target = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &target) < 0) {
        traceback(spec.func);
        return nullptr;
    }
    begin_texture_mode(target, 1);
    return none_or_error(spec.func);
}

constexpr FunctionDef kDrawingHead[] = {
    {"draw_texture_rec", py_draw_texture_rec, FunctionKind::Module,
     "(texture, source_rec, position, color)", "None",
     "Draws a region of a texture at a position: raylib's DrawTextureRec.\n"
     "\n"
     "Args:\n"
     "    texture: a texture of the raylib binding (id, width, height, mipmaps, format).\n"
     "    source_rec: the region, an (x, y, width, height) tuple.\n"
     "    position: where its top-left corner goes, an (x, y) tuple.\n"
     "    color: the tint, an (r, g, b) or (r, g, b, a) tuple.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("DrawTextureRec")},
    {"draw_texture_rec_ez", py_draw_texture_rec_ez, FunctionKind::Module,
     "(texture, source_rec, position)", "None",
     "draw_texture_rec with the white tint (255, 255, 255, 255).\n"
     "\n"
     "Args:\n"
     "    texture: a texture of the raylib binding.\n"
     "    source_rec: the region, an (x, y, width, height) tuple.\n"
     "    position: where its top-left corner goes, an (x, y) tuple.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("DrawTextureRec")},
    {"draw_texture_vec", py_draw_texture_vec, FunctionKind::Module,
     "(texture, position, color, flip)", "None",
     "Draws a whole texture at a position, upside down when flip is true: DrawTextureRec with "
     "the source (0, 0, width, height), or (0, 0, width, -height).\n"
     "\n"
     "Args:\n"
     "    texture: a texture of the raylib binding.\n"
     "    position: an (x, y) tuple.\n"
     "    color: the tint, an (r, g, b) or (r, g, b, a) tuple.\n"
     "    flip: taken by its truth value.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("DrawTextureRec")},
    {"draw_texture_vec_ez", py_draw_texture_vec_ez, FunctionKind::Module,
     "(texture, position, flip)", "None",
     "draw_texture_vec with the white tint (255, 255, 255, 255).\n"
     "\n"
     "Args:\n"
     "    texture: a texture of the raylib binding.\n"
     "    position: an (x, y) tuple.\n"
     "    flip: taken by its truth value.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("DrawTextureRec")},
    {"draw_texture_qmvec", py_draw_texture_qmvec, FunctionKind::Module,
     "(texture, position, color, flip)", "None",
     "Draws a whole texture at a QmVector2 position with a QmRect tint (DrawTextureRec).\n"
     "\n"
     "The position is (position.x + 0.01, position.y + 0.01), read through the attributes; the "
     "tint is the QmRect's (x, y, w, h) as (r, g, b, a).\n"
     "\n"
     "Args:\n"
     "    texture: a texture of the raylib binding.\n"
     "    position: a QmVector2.\n"
     "    color: a QmRect.\n"
     "    flip: taken by its truth value; true draws the texture upside down.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("DrawTextureRec")},
};

constexpr FunctionDef kDrawingTail[] = {
    {"draw_texture_qmvec_ez", py_draw_texture_qmvec_ez, FunctionKind::Module,
     "(texture, position, flip)", "None",
     "draw_texture_qmvec tinted by the module attribute _base_color_qmvec_ez.\n"
     "\n"
     "The attribute is looked up on every call, so rebinding it changes the tint of later "
     "calls.\n"
     "\n"
     "Args:\n"
     "    texture: a texture of the raylib binding.\n"
     "    position: a QmVector2.\n"
     "    flip: taken by its truth value.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    NameError: \"name '_base_color_qmvec_ez' is not defined\" once it was deleted.\n"
     "    TypeError, IndexError, AttributeError, OverflowError: an argument, or the tint, that "
     "does not convert; nothing is called.\n" QM_DOC_RAISES_UNBOUND("DrawTextureRec")},
    {"draw_texture_pro", py_draw_texture_pro, FunctionKind::Module,
     "(texture, source_rec, dest_rec, origin, rotation, color)", "None",
     "Draws a region of a texture scaled into a rectangle and rotated: raylib's "
     "DrawTexturePro.\n"
     "\n"
     "Args:\n"
     "    texture: a texture of the raylib binding.\n"
     "    source_rec: the region, an (x, y, width, height) tuple.\n"
     "    dest_rec: the destination, an (x, y, width, height) tuple.\n"
     "    origin: the rotation centre relative to dest_rec, an (x, y) tuple.\n"
     "    rotation: degrees, a number narrowed to a 32-bit float.\n"
     "    color: the tint, an (r, g, b) or (r, g, b, a) tuple.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("DrawTexturePro")},
    {"clear_background", py_clear_background, FunctionKind::Module, "(color)", "None",
     "Clears the frame with a colour: raylib's ClearBackground.\n"
     "\n"
     "Args:\n"
     "    color: an (r, g, b) or (r, g, b, a) tuple.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("ClearBackground")},
    {"begin_drawing", py_begin_drawing, FunctionKind::Module, "()", "None",
     "Starts a frame: raylib's BeginDrawing. Pairing it with end_drawing is the caller's "
     "job.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_UNBOUND("BeginDrawing")},
    {"end_drawing", py_end_drawing, FunctionKind::Module, "()", "None",
     "Ends a frame: raylib's EndDrawing.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_UNBOUND("EndDrawing")},
    {"begin_blend_mode", py_begin_blend_mode, FunctionKind::Module, "(mode)", "None",
     "Starts a blend mode: raylib's BeginBlendMode.\n"
     "\n"
     "Args:\n"
     "    mode: raylib's blend mode number, a 32-bit signed integer, passed unchanged.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    TypeError: \"an integer is required\" for a mode without an integer conversion.\n"
     "    OverflowError: \"value too large to convert to int\".\n" QM_DOC_RAISES_UNBOUND(
         "BeginBlendMode")},
    {"end_blend_mode", py_end_blend_mode, FunctionKind::Module, "()", "None",
     "Ends the blend mode: raylib's EndBlendMode.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_UNBOUND("EndBlendMode")},
    {"begin_texture_mode", py_begin_texture_mode, FunctionKind::Module, "(target)", "None",
     "Starts drawing into a render texture: raylib's BeginTextureMode.\n"
     "\n"
     "Args:\n"
     "    target: a render texture of the raylib binding (id, texture, depth; the last two "
     "textures).\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("BeginTextureMode")},
    {"end_texture_mode", py_end_texture_mode, FunctionKind::Module, "()", "None",
     "Ends drawing into the render texture: raylib's EndTextureMode.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_UNBOUND("EndTextureMode")},
};

} // namespace

std::span<const FunctionDef> drawing_functions_head() noexcept {
    return kDrawingHead;
}

std::span<const FunctionDef> drawing_functions_tail() noexcept {
    return kDrawingTail;
}

} // namespace qm::raylib
