// Minimal stand-in for the toolkit's qm_render_tex module: QmRenderTexture wraps a render
// texture object and hands out its `texture` through the native slot the raylib bridge calls.
#include <Python.h>

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/fields.hpp"
#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/qmrendertex_abi.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/type_import.hpp"

namespace qm::siblings {
namespace {

constexpr ModuleInfo kModule{"qm_render_tex", kQmRenderTextureModule,
                             "standins/src/quelm_ui/fast/qmrendertex/qm_render_tex"};

QmRenderTextureObject* as_texture(PyObject* obj) noexcept {
    return reinterpret_cast<QmRenderTextureObject*>(obj);
}

// `render_texture.texture` as a new reference; the attribute error propagates.
// May call back into Python (attribute lookup).
PyObject* slot_c_get_texture(QmRenderTextureObject* self) noexcept {
    Ref owner = Ref::borrow(self->render_texture);
    PyObject* texture = PyObject_GetAttrString(owner.get(), "texture");
    if (!texture) {
        add_traceback(kModule, "QmRenderTexture.c_get_texture");
    }
    return texture;
}

const QmRenderTextureMethods kMethods = {{}, slot_c_get_texture, {}};

// The object fields; each holds a reference (None when unset).
constexpr PyObject* QmRenderTextureObject::*kObjectFields[] = {
    &QmRenderTextureObject::render_texture,
    &QmRenderTextureObject::size,
};

PyObject* texture_tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    QmRenderTextureObject* self = as_texture(type->tp_alloc(type, 0));
    if (!self) {
        return nullptr;
    }
    self->vtab = &kMethods;
    init_fields_none(self, kObjectFields);
    return reinterpret_cast<PyObject*>(self);
}

int texture_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static constexpr const char* names[] = {"render_texture"};
    static constexpr ArgSpec spec{"__init__", names, 1, 0};
    PyObject* render_texture = nullptr;
    if (parse_tuple_args(spec, args, kwargs, &render_texture) < 0) {
        add_traceback(kModule, "QmRenderTexture.__init__");
        return -1;
    }
    replace_field(as_texture(self)->render_texture,
                  Ref::borrow(render_texture ? render_texture : Py_None));
    return 0;
}

PyObject* py_get_texture(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
    if (check_no_args("get_texture", nargs, kwnames) < 0) {
        return nullptr;
    }
    return slot_c_get_texture(as_texture(self));
}

constexpr FunctionDef kFunctions[] = {
    {"get_texture", py_get_texture, FunctionKind::Method, "($self, /)", nullptr,
     "The `texture` attribute of the wrapped render texture."},
};

PyGetSetDef texture_getset[] = {
    object_property<offsetof(QmRenderTextureObject, render_texture)>("render_texture"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject make_texture_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.qmrendertex.qm_render_tex.QmRenderTexture";
    type.tp_basicsize = sizeof(QmRenderTextureObject);
    type.tp_dealloc = dealloc_fields<kObjectFields>;
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc = "QmRenderTexture(render_texture=None)\n\nA render texture of the toolkit.";
    type.tp_traverse = traverse_fields<kObjectFields>;
    type.tp_clear = clear_fields<kObjectFields>;
    type.tp_getset = texture_getset;
    type.tp_init = texture_init;
    type.tp_new = texture_tp_new;
    return type;
}

PyTypeObject QmRenderTextureType = make_texture_type();

int exec_qm_render_tex(PyObject* module) noexcept {
    if (PyType_Ready(&QmRenderTextureType) < 0 ||
        publish_vtable(&QmRenderTextureType, &kMethods) < 0 ||
        PyModule_AddType(module, &QmRenderTextureType) < 0 ||
        add_type_functions(&QmRenderTextureType, kFunctions, kModule.dotted_path) < 0) {
        return -1;
    }
    return 0;
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_qm_render_tex);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "qm_render_tex",
    "Minimal stand-in for the toolkit's qm_render_tex module.",
    0,
    nullptr,
    module_slots,
};

} // namespace
} // namespace qm::siblings

PyMODINIT_FUNC PyInit_qm_render_tex() {
    return PyModuleDef_Init(&qm::siblings::module_def);
}
