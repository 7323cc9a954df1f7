// Minimal stand-in for the toolkit's qmshader module: QmShader, a shader program id and the
// address of its uniform location array, with the record layout the raylib bridge reads.
#include <Python.h>

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/qmshader_abi.hpp"
#include "quelm_ui/fast/common/type_import.hpp"

#include <cstdint>

namespace qm::siblings {
namespace {

constexpr ModuleInfo kModule{"qmshader", kQmShaderModule,
                             "standins/src/quelm_ui/fast/qmshader/qmshader"};

const QmShaderMethods kMethods = {};

QmShaderObject* as_shader(PyObject* obj) noexcept {
    return reinterpret_cast<QmShaderObject*>(obj);
}

PyObject* shader_tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    QmShaderObject* self = as_shader(type->tp_alloc(type, 0));
    if (self) {
        self->vtab = &kMethods;
    }
    return reinterpret_cast<PyObject*>(self);
}

// The location array's address: any non-negative integer that fits a pointer.
int to_locs(PyObject* value, int32_t*& out) noexcept {
    uint64_t address = 0;
    if (to_uint64(value, address) < 0) {
        return -1;
    }
    out = reinterpret_cast<int32_t*>(static_cast<uintptr_t>(address));
    return 0;
}

int shader_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static constexpr const char* names[] = {"id", "locs"};
    static constexpr ArgSpec spec{"__init__", names, 2, 0};
    PyObject* params[2];
    uint32_t id = 0;
    int32_t* locs = nullptr;
    if (parse_tuple_args(spec, args, kwargs, params) < 0 ||
        (params[0] && to_uint32(params[0], id) < 0) ||
        (params[1] && to_locs(params[1], locs) < 0)) {
        add_traceback(kModule, "QmShader.__init__");
        return -1;
    }
    as_shader(self)->id = id;
    as_shader(self)->locs = locs;
    return 0;
}

PyObject* get_id(PyObject* self, void*) noexcept {
    return PyLong_FromUnsignedLong(as_shader(self)->id);
}

int set_id(PyObject* self, PyObject* value, void*) noexcept {
    uint32_t id = 0;
    if (!value) {
        return err::cannot_delete();
    }
    if (to_uint32(value, id) < 0) {
        return -1;
    }
    as_shader(self)->id = id;
    return 0;
}

PyObject* get_locs(PyObject* self, void*) noexcept {
    return PyLong_FromUnsignedLongLong(reinterpret_cast<uintptr_t>(as_shader(self)->locs));
}

int set_locs(PyObject* self, PyObject* value, void*) noexcept {
    int32_t* locs = nullptr;
    if (!value) {
        return err::cannot_delete();
    }
    if (to_locs(value, locs) < 0) {
        return -1;
    }
    as_shader(self)->locs = locs;
    return 0;
}

PyGetSetDef shader_getset[] = {
    {"id", get_id, set_id, nullptr, nullptr},
    {"locs", get_locs, set_locs, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject make_shader_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.qmshader.qmshader.QmShader";
    type.tp_basicsize = sizeof(QmShaderObject);
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc = "QmShader(id=0, locs=0)\n\nA shader program id and the address of its uniform "
                  "location array (0 for none).";
    type.tp_getset = shader_getset;
    type.tp_init = shader_init;
    type.tp_new = shader_tp_new;
    return type;
}

PyTypeObject QmShaderType = make_shader_type();

int exec_qmshader(PyObject* module) noexcept {
    if (PyType_Ready(&QmShaderType) < 0 || publish_vtable(&QmShaderType, &kMethods) < 0 ||
        PyModule_AddType(module, &QmShaderType) < 0) {
        return -1;
    }
    return 0;
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_qmshader);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "qmshader",
    "Minimal stand-in for the toolkit's qmshader module.",
    0,
    nullptr,
    module_slots,
};

} // namespace
} // namespace qm::siblings

PyMODINIT_FUNC PyInit_qmshader() {
    return PyModuleDef_Init(&qm::siblings::module_def);
}
