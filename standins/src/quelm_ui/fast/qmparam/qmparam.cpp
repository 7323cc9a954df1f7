// Minimal stand-in for the toolkit's qmparam module: QmParam, a named value with the record
// layout the system's modules read (they read only `value`).
#include <Python.h>

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/fields.hpp"
#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/qmparam_abi.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/type_import.hpp"

namespace qm::siblings {
namespace {

constexpr ModuleInfo kModule{"qmparam", kQmParamModule,
                             "standins/src/quelm_ui/fast/qmparam/qmparam"};

const QmParamMethods kMethods = {};

QmParamObject* as_param(PyObject* obj) noexcept {
    return reinterpret_cast<QmParamObject*>(obj);
}

// The object fields; each holds a reference (None when unset).
constexpr PyObject* QmParamObject::*kObjectFields[] = {
    &QmParamObject::name,   &QmParamObject::value,  &QmParamObject::default_,
    &QmParamObject::getter, &QmParamObject::setter, &QmParamObject::type,
};

PyObject* param_tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    QmParamObject* self = as_param(type->tp_alloc(type, 0));
    if (!self) {
        return nullptr;
    }
    self->vtab = &kMethods;
    init_fields_none(self, kObjectFields);
    return reinterpret_cast<PyObject*>(self);
}

int param_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static constexpr const char* names[] = {"name", "value"};
    static constexpr ArgSpec spec{"__init__", names, 2, 1};
    PyObject* params[2];
    if (parse_tuple_args(spec, args, kwargs, params) < 0) {
        add_traceback(kModule, "QmParam.__init__");
        return -1;
    }
    QmParamObject* param = as_param(self);
    replace_field(param->name, Ref::borrow(params[0]));
    replace_field(param->value, Ref::borrow(params[1] ? params[1] : Py_None));
    return 0;
}

PyObject* param_repr(PyObject* self) noexcept {
    const QmParamObject* param = as_param(self);
    return PyUnicode_FromFormat("QmParam(%R, %R)", param->name, param->value);
}

PyGetSetDef param_getset[] = {
    object_property<offsetof(QmParamObject, name)>("name"),
    int32_property<offsetof(QmParamObject, layer)>("layer"),
    object_property<offsetof(QmParamObject, value)>("value"),
    object_property<offsetof(QmParamObject, default_)>("default"),
    object_property<offsetof(QmParamObject, getter)>("getter"),
    object_property<offsetof(QmParamObject, setter)>("setter"),
    object_property<offsetof(QmParamObject, type)>("type"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject make_param_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.qmparam.qmparam.QmParam";
    type.tp_basicsize = sizeof(QmParamObject);
    type.tp_dealloc = dealloc_fields<kObjectFields>;
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc = "QmParam(name, value=None)\n\nA named parameter of a toolkit object.";
    type.tp_repr = param_repr;
    type.tp_traverse = traverse_fields<kObjectFields>;
    type.tp_clear = clear_fields<kObjectFields>;
    type.tp_getset = param_getset;
    type.tp_init = param_init;
    type.tp_new = param_tp_new;
    return type;
}

PyTypeObject QmParamType = make_param_type();

int exec_qmparam(PyObject* module) noexcept {
    if (PyType_Ready(&QmParamType) < 0 || publish_vtable(&QmParamType, &kMethods) < 0 ||
        PyModule_AddType(module, &QmParamType) < 0) {
        return -1;
    }
    return 0;
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_qmparam);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "qmparam",
    "Minimal stand-in for the toolkit's qmparam module.",
    0,
    nullptr,
    module_slots,
};

} // namespace
} // namespace qm::siblings

PyMODINIT_FUNC PyInit_qmparam() {
    return PyModuleDef_Init(&qm::siblings::module_def);
}
