// A native consumer of the toolkit's binary contracts, built only for the tests
// (quelm_ui_testbeds.native_consumer). At import it binds quelm_raylib's thirty exported entry
// points by name and signature text and fetches QmVector2's, QmRect's and the dispatcher types'
// native tables, as another extension module of the toolkit would; its functions make those
// native calls for the tests and check the error indicator after every call. This file holds
// the module and the bridge half; consumer_dispatch.cpp the dispatcher half.
#include <Python.h>

#include "quelm_ui/fast/common/qmrect_abi.hpp"
#include "quelm_ui/fast/common/qmrendertex_abi.hpp"
#include "quelm_ui/fast/common/qmshader_abi.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/type_import.hpp"
#include "quelm_ui/fast/qmvector2/qmvector2_api.hpp"
#include "quelm_ui/fast/raylib/quelm_raylib_capi.hpp"

#include "consumer_internal.hpp"

#include <cstdint>
#include <utility>
#include <vector>

namespace qm::testbeds {

namespace capi = qm::raylib::capi;
using vector2::QmVector2Object;

namespace {

// quelm_raylib's entry points, bound once at import. Invariant: all set after exec succeeded.
struct RaylibApi {
    capi::BeginQmshaderMode begin_qmshader_mode;
    capi::GetQmshaderLocation get_qmshader_location;
    capi::CClearBackground c_clear_background;
    capi::CDrawTextureRec c_draw_texture_rec;
    capi::CDrawTexturePro c_draw_texture_pro;
    capi::DrawTexturePro draw_texture_pro;
    capi::DrawTextureRec draw_texture_rec;
    capi::CDrawTextureVec c_draw_texture_vec;
    capi::DrawTextureVec draw_texture_vec;
    capi::ObjectAndFlag begin_texture_mode;
    capi::ObjectAndFlag clear_background;
    capi::ObjectAndFlag init_raylib_pointers;
    capi::CDrawTextureQmvec c_draw_texture_qmvec;
    capi::FlagOnly begin_drawing;
    capi::FlagOnly end_blend_mode;
    capi::FlagOnly end_drawing;
    capi::FlagOnly end_shader_mode;
    capi::FlagOnly end_texture_mode;
    capi::BeginBlendMode begin_blend_mode;
    capi::CDrawQmtextureQmvec c_draw_qmtexture_qmvec;
    capi::QmClearBackground qm_clear_background;
    capi::SetQmshaderValueTuple set_qmshader_value_vec2_tuple;
    capi::SetQmshaderValueTuple set_qmshader_value_vec4_tuple;
    capi::SetQmshaderValue set_qmshader_value;
    capi::SetQmshaderValueFloat set_qmshader_value_float;
    capi::SetQmshaderValueInt set_qmshader_value_int;
    capi::SetQmshaderValueVec4V set_qmshader_value_vec4_v;
    capi::SetQmshaderValueFloatV set_qmshader_value_float_v;
    capi::SetQmshaderValueVec2Qmvec set_qmshader_value_vec2_qmvec;
    capi::NoArgs c_clear_background_blank;
};

RaylibApi g_api{};

struct Types {
    PyTypeObject* vector2;
    const vector2::qm_vector2_methods_t* vector_methods;
    PyTypeObject* rect;
    const siblings::QmRectMethods* rect_methods;
    PyTypeObject* shader;
    const siblings::QmShaderMethods* shader_methods;
    PyTypeObject* render_texture;
    const siblings::QmRenderTextureMethods* render_texture_methods;
};
Types g_types{};

template <typename Fn>
int bind(PyObject* capi_dict, Fn& slot, const capi::Entry<Fn>& entry) noexcept {
    slot = capi::bind_entry(capi_dict, entry);
    return slot ? 0 : -1;
}

int bind_raylib() noexcept {
    Ref module = Ref::steal(PyImport_ImportModule(capi::kModulePath));
    if (!module) {
        return -1;
    }
    Ref dict = Ref::steal(PyObject_GetAttrString(module.get(), capi::kCapiAttr));
    if (!dict) {
        return -1;
    }
    PyObject* d = dict.get();
    RaylibApi& a = g_api;
    if (bind(d, a.begin_qmshader_mode, capi::begin_qmshader_mode) < 0 ||
        bind(d, a.get_qmshader_location, capi::get_qmshader_location) < 0 ||
        bind(d, a.c_clear_background, capi::c_clear_background) < 0 ||
        bind(d, a.c_draw_texture_rec, capi::c_draw_texture_rec) < 0 ||
        bind(d, a.c_draw_texture_pro, capi::c_draw_texture_pro) < 0 ||
        bind(d, a.draw_texture_pro, capi::draw_texture_pro) < 0 ||
        bind(d, a.draw_texture_rec, capi::draw_texture_rec) < 0 ||
        bind(d, a.c_draw_texture_vec, capi::c_draw_texture_vec) < 0 ||
        bind(d, a.draw_texture_vec, capi::draw_texture_vec) < 0 ||
        bind(d, a.begin_texture_mode, capi::begin_texture_mode) < 0 ||
        bind(d, a.clear_background, capi::clear_background) < 0 ||
        bind(d, a.init_raylib_pointers, capi::init_raylib_pointers) < 0 ||
        bind(d, a.c_draw_texture_qmvec, capi::c_draw_texture_qmvec) < 0 ||
        bind(d, a.begin_drawing, capi::begin_drawing) < 0 ||
        bind(d, a.end_blend_mode, capi::end_blend_mode) < 0 ||
        bind(d, a.end_drawing, capi::end_drawing) < 0 ||
        bind(d, a.end_shader_mode, capi::end_shader_mode) < 0 ||
        bind(d, a.end_texture_mode, capi::end_texture_mode) < 0 ||
        bind(d, a.begin_blend_mode, capi::begin_blend_mode) < 0 ||
        bind(d, a.c_draw_qmtexture_qmvec, capi::c_draw_qmtexture_qmvec) < 0 ||
        bind(d, a.qm_clear_background, capi::qm_clear_background) < 0 ||
        bind(d, a.set_qmshader_value_vec2_tuple, capi::set_qmshader_value_vec2_tuple) < 0 ||
        bind(d, a.set_qmshader_value_vec4_tuple, capi::set_qmshader_value_vec4_tuple) < 0 ||
        bind(d, a.set_qmshader_value, capi::set_qmshader_value) < 0 ||
        bind(d, a.set_qmshader_value_float, capi::set_qmshader_value_float) < 0 ||
        bind(d, a.set_qmshader_value_int, capi::set_qmshader_value_int) < 0 ||
        bind(d, a.set_qmshader_value_vec4_v, capi::set_qmshader_value_vec4_v) < 0 ||
        bind(d, a.set_qmshader_value_float_v, capi::set_qmshader_value_float_v) < 0 ||
        bind(d, a.set_qmshader_value_vec2_qmvec, capi::set_qmshader_value_vec2_qmvec) < 0 ||
        bind(d, a.c_clear_background_blank, capi::c_clear_background_blank) < 0) {
        return -1;
    }
    return 0;
}

int import_types() noexcept {
    Types& t = g_types;
    if (import_type_with_table(vector2::kModulePath, vector2::kTypeName, vector2::kRecordSize,
                               t.vector2, t.vector_methods) < 0 ||
        import_type_with_table(siblings::kQmRectModule, siblings::kQmRectName,
                               siblings::kQmRectSize, t.rect, t.rect_methods) < 0 ||
        import_type_with_table(siblings::kQmShaderModule, siblings::kQmShaderName,
                               siblings::kQmShaderSize, t.shader, t.shader_methods) < 0 ||
        import_type_with_table(siblings::kQmRenderTextureModule, siblings::kQmRenderTextureName,
                               siblings::kQmRenderTextureSize, t.render_texture,
                               t.render_texture_methods) < 0) {
        return -1;
    }
    return 0;
}

// ---- argument helpers for `call` (the tests pass well-typed values) ----

// A typed native argument: an instance of `type` or None, refused otherwise so that a test
// mistake cannot hand the bridge a foreign record.
template <typename T>
int typed(PyObject* obj, PyTypeObject* type, T*& out) noexcept {
    if (obj != Py_None && !PyObject_TypeCheck(obj, type)) {
        PyErr_Format(PyExc_TypeError, "expected %s or None, got %s", type->tp_name,
                     Py_TYPE(obj)->tp_name);
        return -1;
    }
    out = reinterpret_cast<T*>(obj);
    return 0;
}

int as_int(PyObject* obj, int& out) noexcept {
    const long value = PyLong_AsLong(obj);
    if (value == -1 && PyErr_Occurred()) {
        return -1;
    }
    out = static_cast<int>(value);
    return 0;
}

int as_float(PyObject* obj, float& out) noexcept {
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        return -1;
    }
    out = static_cast<float>(value);
    return 0;
}

int float_list(PyObject* obj, std::vector<float>& out) noexcept {
    if (!PyList_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "expected a list of floats");
        return -1;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(obj); ++i) {
        float value = 0.0f;
        if (as_float(PyList_GET_ITEM(obj, i), value) < 0) {
            return -1;
        }
        out.push_back(value);
    }
    return 0;
}

int vector4_list(PyObject* obj, std::vector<raylib::Vector4>& out) noexcept {
    if (!PyList_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "expected a list of 4-tuples");
        return -1;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(obj); ++i) {
        PyObject* item = PyList_GET_ITEM(obj, i);
        raylib::Vector4 v{};
        if (!PyArg_ParseTuple(item, "ffff", &v.x, &v.y, &v.z, &v.w)) {
            return -1;
        }
        out.push_back(v);
    }
    return 0;
}

// The result of an entry point that returns nothing: None, or the pending exception.
PyObject* finish() noexcept {
    if (PyErr_Occurred()) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

int expect_args(const char* name, Py_ssize_t nargs, Py_ssize_t wanted) noexcept {
    if (nargs != wanted) {
        PyErr_Format(PyExc_TypeError, "%s takes %zd arguments (%zd given)", name, wanted, nargs);
        return -1;
    }
    return 0;
}

using Handler = PyObject* (*)(PyObject* const* a, Py_ssize_t n) noexcept;

struct Call {
    const char* name;
    Py_ssize_t arity;
    Handler handler;
};

// One handler per entry point. Arguments arrive unchecked in count (checked by `call`).
const Call kCalls[] = {
    {"begin_qmshader_mode", 1,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         if (typed(a[0], g_types.shader, shader) < 0) {
             return nullptr;
         }
         PyObject* result = g_api.begin_qmshader_mode(shader);
         if (!result != (PyErr_Occurred() != nullptr)) {
             Py_XDECREF(result);
             PyErr_SetString(PyExc_SystemError, "begin_qmshader_mode broke its result contract");
             return nullptr;
         }
         return result;
     }},
    {"get_qmshader_location", 2,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         if (typed(a[0], g_types.shader, shader) < 0) {
             return nullptr;
         }
         const int location = g_api.get_qmshader_location(shader, a[1], 0);
         if (PyErr_Occurred()) {
             if (location != -1) {
                 PyErr_SetString(PyExc_SystemError, "error pending with a location other than -1");
             }
             return nullptr;
         }
         return PyLong_FromLong(location);
     }},
    {"c_clear_background", 1,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         g_api.c_clear_background(a[0]);
         return finish();
     }},
    {"c_draw_texture_rec", 4,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         g_api.c_draw_texture_rec(a[0], a[1], a[2], a[3]);
         return finish();
     }},
    {"c_draw_texture_pro", 6,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         float rotation = 0.0f;
         if (as_float(a[4], rotation) < 0) {
             return nullptr;
         }
         g_api.c_draw_texture_pro(a[0], a[1], a[2], a[3], rotation, a[5]);
         return finish();
     }},
    {"draw_texture_pro", 6,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         float rotation = 0.0f;
         if (as_float(a[4], rotation) < 0) {
             return nullptr;
         }
         g_api.draw_texture_pro(a[0], a[1], a[2], a[3], rotation, a[5], 0);
         return finish();
     }},
    {"draw_texture_rec", 4,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         g_api.draw_texture_rec(a[0], a[1], a[2], a[3], 0);
         return finish();
     }},
    {"c_draw_texture_vec", 4,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         int flip = 0;
         if (as_int(a[3], flip) < 0) {
             return nullptr;
         }
         g_api.c_draw_texture_vec(a[0], a[1], a[2], flip);
         return finish();
     }},
    {"draw_texture_vec", 4,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         int flip = 0;
         if (as_int(a[3], flip) < 0) {
             return nullptr;
         }
         g_api.draw_texture_vec(a[0], a[1], a[2], flip, 0);
         return finish();
     }},
    {"begin_texture_mode", 1,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         g_api.begin_texture_mode(a[0], 0);
         return finish();
     }},
    {"clear_background", 1,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         g_api.clear_background(a[0], 0);
         return finish();
     }},
    {"init_raylib_pointers", 1,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         g_api.init_raylib_pointers(a[0], 0);
         return finish();
     }},
    {"c_draw_texture_qmvec", 4,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmVector2* position = nullptr;
         capi::QmRect* color = nullptr;
         int flip = 0;
         if (typed(a[1], g_types.vector2, position) < 0 || typed(a[2], g_types.rect, color) < 0 ||
             as_int(a[3], flip) < 0) {
             return nullptr;
         }
         g_api.c_draw_texture_qmvec(a[0], position, color, flip);
         return finish();
     }},
    {"begin_drawing", 0,
     [](PyObject* const*, Py_ssize_t) noexcept -> PyObject* {
         g_api.begin_drawing(0);
         return finish();
     }},
    {"end_blend_mode", 0,
     [](PyObject* const*, Py_ssize_t) noexcept -> PyObject* {
         g_api.end_blend_mode(0);
         return finish();
     }},
    {"end_drawing", 0,
     [](PyObject* const*, Py_ssize_t) noexcept -> PyObject* {
         g_api.end_drawing(0);
         return finish();
     }},
    {"end_shader_mode", 0,
     [](PyObject* const*, Py_ssize_t) noexcept -> PyObject* {
         g_api.end_shader_mode(0);
         return finish();
     }},
    {"end_texture_mode", 0,
     [](PyObject* const*, Py_ssize_t) noexcept -> PyObject* {
         g_api.end_texture_mode(0);
         return finish();
     }},
    {"begin_blend_mode", 1,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         int mode = 0;
         if (as_int(a[0], mode) < 0) {
             return nullptr;
         }
         g_api.begin_blend_mode(mode, 0);
         return finish();
     }},
    {"c_draw_qmtexture_qmvec", 4,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmRenderTexture* texture = nullptr;
         capi::QmVector2* position = nullptr;
         capi::QmRect* color = nullptr;
         int flip = 0;
         if (typed(a[0], g_types.render_texture, texture) < 0 ||
             typed(a[1], g_types.vector2, position) < 0 || typed(a[2], g_types.rect, color) < 0 ||
             as_int(a[3], flip) < 0) {
             return nullptr;
         }
         g_api.c_draw_qmtexture_qmvec(texture, position, color, flip);
         return finish();
     }},
    {"qm_clear_background", 1,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmRect* color = nullptr;
         if (typed(a[0], g_types.rect, color) < 0) {
             return nullptr;
         }
         g_api.qm_clear_background(color);
         return finish();
     }},
    {"set_qmshader_value_vec2_tuple", 3,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         int loc = 0;
         if (typed(a[0], g_types.shader, shader) < 0 || as_int(a[1], loc) < 0) {
             return nullptr;
         }
         g_api.set_qmshader_value_vec2_tuple(shader, loc, a[2], 0);
         return finish();
     }},
    {"set_qmshader_value_vec4_tuple", 3,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         int loc = 0;
         if (typed(a[0], g_types.shader, shader) < 0 || as_int(a[1], loc) < 0) {
             return nullptr;
         }
         g_api.set_qmshader_value_vec4_tuple(shader, loc, a[2], 0);
         return finish();
     }},
    {"set_qmshader_value", 4,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         int loc = 0;
         int uniform_type = 0;
         if (typed(a[0], g_types.shader, shader) < 0 || as_int(a[1], loc) < 0 ||
             as_int(a[3], uniform_type) < 0) {
             return nullptr;
         }
         g_api.set_qmshader_value(shader, loc, a[2], uniform_type, 0);
         return finish();
     }},
    {"set_qmshader_value_float", 3,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         int loc = 0;
         float value = 0.0f;
         if (typed(a[0], g_types.shader, shader) < 0 || as_int(a[1], loc) < 0 ||
             as_float(a[2], value) < 0) {
             return nullptr;
         }
         g_api.set_qmshader_value_float(shader, loc, value, 0);
         return finish();
     }},
    {"set_qmshader_value_int", 3,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         int loc = 0;
         int value = 0;
         if (typed(a[0], g_types.shader, shader) < 0 || as_int(a[1], loc) < 0 ||
             as_int(a[2], value) < 0) {
             return nullptr;
         }
         g_api.set_qmshader_value_int(shader, loc, value, 0);
         return finish();
     }},
    {"set_qmshader_value_vec4_v", 3,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         int loc = 0;
         std::vector<raylib::Vector4> values;
         if (typed(a[0], g_types.shader, shader) < 0 || as_int(a[1], loc) < 0 ||
             vector4_list(a[2], values) < 0) {
             return nullptr;
         }
         g_api.set_qmshader_value_vec4_v(shader, loc, std::move(values), 0);
         return finish();
     }},
    {"set_qmshader_value_float_v", 3,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         int loc = 0;
         std::vector<float> values;
         if (typed(a[0], g_types.shader, shader) < 0 || as_int(a[1], loc) < 0 ||
             float_list(a[2], values) < 0) {
             return nullptr;
         }
         g_api.set_qmshader_value_float_v(shader, loc, std::move(values), 0);
         return finish();
     }},
    {"set_qmshader_value_vec2_qmvec", 3,
     [](PyObject* const* a, Py_ssize_t) noexcept -> PyObject* {
         capi::QmShader* shader = nullptr;
         int loc = 0;
         capi::QmVector2* value = nullptr;
         if (typed(a[0], g_types.shader, shader) < 0 || as_int(a[1], loc) < 0 ||
             typed(a[2], g_types.vector2, value) < 0) {
             return nullptr;
         }
         g_api.set_qmshader_value_vec2_qmvec(shader, loc, value, 0);
         return finish();
     }},
    {"c_clear_background_blank", 0,
     [](PyObject* const*, Py_ssize_t) noexcept -> PyObject* {
         g_api.c_clear_background_blank();
         return finish();
     }},
};

// call(name, *args): runs quelm_raylib's entry point `name` natively with `args`.
PyObject* py_call(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs < 1 || !PyUnicode_Check(args[0])) {
        PyErr_SetString(PyExc_TypeError, "call(name: str, *args)");
        return nullptr;
    }
    for (const Call& call : kCalls) {
        if (PyUnicode_CompareWithASCIIString(args[0], call.name) == 0) {
            if (expect_args(call.name, nargs - 1, call.arity) < 0) {
                return nullptr;
            }
            return call.handler(args + 1, nargs - 1);
        }
    }
    PyErr_Format(PyExc_KeyError, "no entry point %R", args[0]);
    return nullptr;
}

// entry_names(): the entry points this consumer binds, in the contract's table order.
PyObject* py_entry_names(PyObject*, PyObject*) noexcept {
    Ref names = Ref::steal(PyList_New(0));
    if (!names) {
        return nullptr;
    }
    for (const Call& call : kCalls) {
        Ref name = Ref::steal(PyUnicode_FromString(call.name));
        if (!name || PyList_Append(names.get(), name.get()) < 0) {
            return nullptr;
        }
    }
    return names.release();
}

// bind_with_signature(name, text): binds entry `name` expecting signature `text`; True, or the
// binding error (KeyError for an unknown name, TypeError for another text).
PyObject* py_bind_with_signature(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    const char* name = nullptr;
    const char* text = nullptr;
    if (nargs != 2 || !(name = PyUnicode_AsUTF8(args[0])) || !(text = PyUnicode_AsUTF8(args[1]))) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_TypeError, "bind_with_signature(name: str, text: str)");
        }
        return nullptr;
    }
    Ref module = Ref::steal(PyImport_ImportModule(capi::kModulePath));
    Ref dict = module ? Ref::steal(PyObject_GetAttrString(module.get(), capi::kCapiAttr)) : Ref();
    if (!dict) {
        return nullptr;
    }
    const capi::Entry<capi::NoArgs> entry{name, text};
    if (!capi::bind_entry(dict.get(), entry)) {
        return nullptr;
    }
    Py_RETURN_TRUE;
}

// ---- QmVector2's native table ----

PyObject* pair_of(const QmVector2Object* vector) noexcept {
    return Py_BuildValue("(dd)", vector->data.x, vector->data.y);
}

// Records `vector` (a new reference or nullptr) under `key` as an (x, y) pair.
int put_vector(PyObject* results, const char* key, QmVector2Object* vector) noexcept {
    Ref owned = Ref::steal(reinterpret_cast<PyObject*>(vector));
    if (!owned) {
        return -1;
    }
    Ref pair = Ref::steal(pair_of(vector));
    return pair ? PyDict_SetItemString(results, key, pair.get()) : -1;
}

// vector_table(x1, y1, x2, y2): drives every slot of QmVector2's native table with the two
// vectors (x1, y1) and (x2, y2) and returns {slot name: result}; vectors as (x, y) pairs.
PyObject* py_vector_table(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    double v[4];
    if (nargs != 4) {
        PyErr_SetString(PyExc_TypeError, "vector_table(x1, y1, x2, y2)");
        return nullptr;
    }
    for (int i = 0; i < 4; ++i) {
        v[i] = PyFloat_AsDouble(args[i]);
        if (v[i] == -1.0 && PyErr_Occurred()) {
            return nullptr;
        }
    }
    if (!(v[0] > INT32_MIN - 1.0 && v[0] < INT32_MAX + 1.0 && v[1] > INT32_MIN - 1.0 &&
          v[1] < INT32_MAX + 1.0)) {
        PyErr_SetString(PyExc_OverflowError, "x1 and y1 must fit cfrom_ints' 32-bit integers");
        return nullptr;
    }
    const vector2::qm_vector2_methods_t& m = *g_types.vector_methods;
    Ref results = Ref::steal(PyDict_New());
    Ref a = Ref::steal(reinterpret_cast<PyObject*>(m.new_(v[0], v[1])));
    Ref b = Ref::steal(reinterpret_cast<PyObject*>(m.cfrom_xy(v[2], v[3])));
    if (!results || !a || !b) {
        return nullptr;
    }
    auto* va = a.as<QmVector2Object>();
    auto* vb = b.as<QmVector2Object>();
    PyObject* r = results.get();
    Ref tuple = Ref::steal(Py_BuildValue("(dd)", v[0], v[1]));
    Ref list = Ref::steal(Py_BuildValue("[dd]", v[2], v[3]));
    if (!tuple || !list || put_vector(r, "new", m.new_(v[0], v[1])) < 0 ||
        put_vector(r, "cfrom_ints",
                   m.cfrom_ints(static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]))) < 0 ||
        put_vector(r, "cfrom_floats",
                   m.cfrom_floats(static_cast<float>(v[0]), static_cast<float>(v[1]))) < 0 ||
        put_vector(r, "cfrom_tuple", m.cfrom_tuple(tuple.get())) < 0 ||
        put_vector(r, "cfrom_list", m.cfrom_list(list.get())) < 0 ||
        put_vector(r, "cfrom_qmvector2", m.cfrom_qmvector2(vb)) < 0 ||
        put_vector(r, "cfrom_xy", m.cfrom_xy(v[2], v[3])) < 0 ||
        put_vector(r, "_add", m._add(va, vb)) < 0 || put_vector(r, "_sub", m._sub(va, vb)) < 0 ||
        put_vector(r, "copy", m.copy(va, 0)) < 0) {
        return nullptr;
    }
    Ref ints = Ref::steal(m.c_get_int_tuple(va));
    if (!ints || PyDict_SetItemString(r, "c_get_int_tuple", ints.get()) < 0) {
        return nullptr;
    }
    // The in-place slots, each on a fresh copy of a; errors are checked after every call.
    struct InPlace {
        const char* key;
        void (*apply)(const vector2::qm_vector2_methods_t&, QmVector2Object*,
                      QmVector2Object*) noexcept;
    };
    const InPlace in_place[] = {
        {"_iadd", [](const vector2::qm_vector2_methods_t& t, QmVector2Object* s,
                     QmVector2Object* o) noexcept { t._iadd(s, o); }},
        {"_isub", [](const vector2::qm_vector2_methods_t& t, QmVector2Object* s,
                     QmVector2Object* o) noexcept { t._isub(s, o); }},
        {"_imul", [](const vector2::qm_vector2_methods_t& t, QmVector2Object* s,
                     QmVector2Object* o) noexcept { t._imul(s, o); }},
        {"_sadd", [](const vector2::qm_vector2_methods_t& t, QmVector2Object* s,
                     QmVector2Object* o) noexcept { t._sadd(s, o, s); }},
        {"sadd", [](const vector2::qm_vector2_methods_t& t, QmVector2Object* s,
                    QmVector2Object* o) noexcept { t.sadd(s, o, s, 0); }},
    };
    for (const InPlace& op : in_place) {
        Ref target = Ref::steal(reinterpret_cast<PyObject*>(m.cfrom_qmvector2(va)));
        if (!target) {
            return nullptr;
        }
        op.apply(m, target.as<QmVector2Object>(), vb);
        if (PyErr_Occurred()) {
            return nullptr;
        }
        Ref pair = Ref::steal(pair_of(target.as<QmVector2Object>()));
        if (!pair || PyDict_SetItemString(r, op.key, pair.get()) < 0) {
            return nullptr;
        }
    }
    return results.release();
}

// vector_from_tuple(t): QmVector2's cfrom_tuple slot; its error (e.g. a short tuple) propagates.
PyObject* py_vector_from_tuple(PyObject*, PyObject* tuple) noexcept {
    QmVector2Object* vector = g_types.vector_methods->cfrom_tuple(tuple);
    if (!vector) {
        return nullptr;
    }
    return reinterpret_cast<PyObject*>(vector);
}

// draw_native(texture, x, y, r, g, b, a, flip): a frame step made only of native calls: the
// position from QmVector2's table, the tint from QmRect's constructor, then quelm_raylib's
// c_draw_texture_qmvec, checking the error indicator after each.
PyObject* py_draw_native(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    double values[6];
    int flip = 0;
    if (nargs != 8) {
        PyErr_SetString(PyExc_TypeError, "draw_native(texture, x, y, r, g, b, a, flip)");
        return nullptr;
    }
    for (int i = 0; i < 6; ++i) {
        values[i] = PyFloat_AsDouble(args[i + 1]);
        if (values[i] == -1.0 && PyErr_Occurred()) {
            return nullptr;
        }
    }
    if (as_int(args[7], flip) < 0) {
        return nullptr;
    }
    Ref position =
        Ref::steal(reinterpret_cast<PyObject*>(g_types.vector_methods->new_(values[0], values[1])));
    if (!position) {
        return nullptr;
    }
    Ref tint = Ref::steal(reinterpret_cast<PyObject*>(
        g_types.rect_methods->new_(static_cast<float>(values[2]), static_cast<float>(values[3]),
                                   static_cast<float>(values[4]), static_cast<float>(values[5]))));
    if (!tint) {
        return nullptr;
    }
    g_api.c_draw_texture_qmvec(args[0], position.as<capi::QmVector2>(), tint.as<capi::QmRect>(),
                               flip);
    return finish();
}

PyMethodDef methods[] = {
    {"call", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_call)), METH_FASTCALL,
     "call(name, *args): runs quelm_raylib's exported entry point `name` natively."},
    {"entry_names", py_entry_names, METH_NOARGS, "The bound entry points in table order."},
    {"bind_with_signature",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_bind_with_signature)),
     METH_FASTCALL, "Binds an entry point expecting the given signature text."},
    {"vector_table", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_vector_table)),
     METH_FASTCALL, "Every slot of QmVector2's native table applied to two vectors."},
    {"vector_from_tuple", py_vector_from_tuple, METH_O, "QmVector2's cfrom_tuple slot."},
    {"draw_native", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_draw_native)),
     METH_FASTCALL, "A QmVector2 and QmRect made natively, drawn with c_draw_texture_qmvec."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_consumer(PyObject* module) noexcept {
    if (bind_raylib() < 0 || import_types() < 0 || PyModule_AddFunctions(module, methods) < 0 ||
        add_dispatch_functions(module) < 0) {
        return -1;
    }
    return 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_consumer)},
    {Py_mod_gil, Py_MOD_GIL_USED},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "native_consumer",
    "Test bed: binds the toolkit's native contracts as another extension module would.",
    0,
    nullptr,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace
} // namespace qm::testbeds

PyMODINIT_FUNC PyInit_native_consumer() {
    return PyModuleDef_Init(&qm::testbeds::module_def);
}
