// Minimal stand-in for the toolkit's qmrect module: QmRect, four 32-bit floats with the record
// layout and native constructor slot that the system's modules rely on.
#include <Python.h>

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/fields.hpp"
#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/qmrect_abi.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/type_import.hpp"

#include <cstdint>

namespace qm::siblings {
namespace {

constexpr ModuleInfo kModule{"qmrect", kQmRectModule, "standins/src/quelm_ui/fast/qmrect/qmrect"};

extern PyTypeObject QmRectType;
extern const QmRectMethods kMethods;

QmRectObject* as_rect(PyObject* obj) noexcept {
    return reinterpret_cast<QmRectObject*>(obj);
}

// Returns a new reference to a zeroed rectangle, or nullptr with an error set.
QmRectObject* allocate_rect(PyTypeObject* type) noexcept {
    QmRectObject* self = as_rect(type->tp_alloc(type, 0));
    if (self) {
        self->vtab = &kMethods;
    }
    return self;
}

PyObject* rect_tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    return reinterpret_cast<PyObject*>(allocate_rect(type));
}

int rect_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static constexpr const char* names[] = {"x", "y", "w", "h"};
    static constexpr ArgSpec spec{"__init__", names, 4, 0};
    PyObject* params[4];
    float values[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (parse_tuple_args(spec, args, kwargs, params) < 0) {
        add_traceback(kModule, "QmRect.__init__");
        return -1;
    }
    for (int i = 0; i < 4; ++i) {
        if (params[i] && to_float32(params[i], values[i]) < 0) {
            add_traceback(kModule, "QmRect.__init__");
            return -1;
        }
    }
    QmRectObject* rect = as_rect(self);
    rect->x = values[0];
    rect->y = values[1];
    rect->w = values[2];
    rect->h = values[3];
    return 0;
}

float& component(PyObject* self, void* offset) noexcept {
    return field_at<float>(self, offset);
}

PyObject* float_get(PyObject* self, void* offset) noexcept {
    return PyFloat_FromDouble(static_cast<double>(component(self, offset)));
}

int float_set(PyObject* self, PyObject* value, void* offset) noexcept {
    if (!value) {
        return err::cannot_delete();
    }
    float converted = 0.0f;
    if (to_float32(value, converted) < 0) {
        return -1;
    }
    component(self, offset) = converted;
    return 0;
}

PyObject* rect_repr(PyObject* self) noexcept {
    const QmRectObject* rect = as_rect(self);
    Ref parts[4] = {
        Ref::steal(PyFloat_FromDouble(static_cast<double>(rect->x))),
        Ref::steal(PyFloat_FromDouble(static_cast<double>(rect->y))),
        Ref::steal(PyFloat_FromDouble(static_cast<double>(rect->w))),
        Ref::steal(PyFloat_FromDouble(static_cast<double>(rect->h))),
    };
    for (const Ref& part : parts) {
        if (!part) {
            return nullptr;
        }
    }
    return PyUnicode_FromFormat("QmRect(%R, %R, %R, %R)", parts[0].get(), parts[1].get(),
                                parts[2].get(), parts[3].get());
}

QmRectObject* slot_new(float x, float y, float w, float h) noexcept {
    QmRectObject* rect = allocate_rect(&QmRectType);
    if (rect) {
        rect->x = x;
        rect->y = y;
        rect->w = w;
        rect->h = h;
    }
    return rect;
}

PyGetSetDef rect_getset[] = {
    {"x", float_get, float_set, nullptr, field_offset<offsetof(QmRectObject, x)>()},
    {"y", float_get, float_set, nullptr, field_offset<offsetof(QmRectObject, y)>()},
    {"w", float_get, float_set, nullptr, field_offset<offsetof(QmRectObject, w)>()},
    {"h", float_get, float_set, nullptr, field_offset<offsetof(QmRectObject, h)>()},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject make_rect_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.qmrect.qmrect.QmRect";
    type.tp_basicsize = sizeof(QmRectObject);
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc = "QmRect(x=0.0, y=0.0, w=0.0, h=0.0)\n\nA rectangle of four 32-bit floats.";
    type.tp_repr = rect_repr;
    type.tp_getset = rect_getset;
    type.tp_init = rect_init;
    type.tp_new = rect_tp_new;
    return type;
}

PyTypeObject QmRectType = make_rect_type();
const QmRectMethods kMethods = {slot_new, {}};

int exec_qmrect(PyObject* module) noexcept {
    if (PyType_Ready(&QmRectType) < 0 || publish_vtable(&QmRectType, &kMethods) < 0 ||
        PyModule_AddType(module, &QmRectType) < 0) {
        return -1;
    }
    return 0;
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_qmrect);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "qmrect",
    "Minimal stand-in for the toolkit's qmrect module.",
    0,
    nullptr,
    module_slots,
};

} // namespace
} // namespace qm::siblings

PyMODINIT_FUNC PyInit_qmrect() {
    return PyModuleDef_Init(&qm::siblings::module_def);
}
