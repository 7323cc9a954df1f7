// Minimal stand-in for the toolkit's quelmcobj module: QuelmCobject, the owner of an input
// request, with the record layout and the two native entries (get_param_strict, get_qmrect) the
// dispatcher calls. Both honour Python subclass overrides when called natively with dispatch.
#include <Python.h>

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/dispatch.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/fields.hpp"
#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/quelmcobj_abi.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/names.hpp"
#include "quelm_ui/fast/common/type_import.hpp"

namespace qm::siblings {
namespace {

constexpr ModuleInfo kModule{"quelmcobj", kQuelmCobjectModule,
                             "standins/src/quelm_ui/fast/quelmcobj/quelmcobj"};

// Imported at exec, held for the life of the process.
PyTypeObject* g_rect_type = nullptr;
const QmRectMethods* g_rect_methods = nullptr;
PyTypeObject* g_param_type = nullptr;

// The names of the overridable native entries, interned at exec for the override test.
struct Names {
    PyObject* get_param_strict;
    PyObject* get_qmrect;
};
Names g_names{};
constexpr NameDef<Names> kNameDefs[] = {
    {&Names::get_param_strict, "get_param_strict"},
    {&Names::get_qmrect, "get_qmrect"},
};

extern const QuelmCobjectMethods kMethods;

QuelmCobjectObject* as_cobject(PyObject* obj) noexcept {
    return reinterpret_cast<QuelmCobjectObject*>(obj);
}

// Every object field; each holds a reference (None when unset). The stand-in keeps the
// rectangle that get_qmrect returns in `_style`.
constexpr PyObject* QuelmCobjectObject::*kObjectFields[] = {
    &QuelmCobjectObject::coordinates,
    &QuelmCobjectObject::absolute_coordinates,
    &QuelmCobjectObject::size,
    &QuelmCobjectObject::_resize_ratio,
    &QuelmCobjectObject::_style,
    &QuelmCobjectObject::hover_state,
    &QuelmCobjectObject::_system_callbacks,
    &QuelmCobjectObject::params,
    &QuelmCobjectObject::_blacklisted_params,
    &QuelmCobjectObject::_next_frame_functions,
    &QuelmCobjectObject::_params_map,
    &QuelmCobjectObject::_param_links,
    &QuelmCobjectObject::cache,
    &QuelmCobjectObject::_z_request,
    &QuelmCobjectObject::specific_cache_whitelist,
};
constexpr PyObject* QuelmCobjectObject::*kRectField = &QuelmCobjectObject::_style;

// ZRequest, fetched on first use: the dispatcher's module imports this one, not the reverse.
PyTypeObject* zrequest_type() noexcept {
    static PyObject* type = nullptr;
    if (!type) {
        Ref module = Ref::steal(PyImport_ImportModule("quelm_ui.fast.zsystem.zdispatch"));
        Ref attr = module ? Ref::steal(PyObject_GetAttrString(module.get(), "ZRequest")) : Ref();
        if (!attr) {
            return nullptr;
        }
        if (!PyType_Check(attr.get())) {
            err::not_a_type("quelm_ui.fast.zsystem.zdispatch", "ZRequest");
            return nullptr;
        }
        type = attr.release();
    }
    return reinterpret_cast<PyTypeObject*>(type);
}

// A new QmParam(name, value).
Ref make_param(PyObject* name, PyObject* value) noexcept {
    return Ref::steal(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(g_param_type), name,
                                                   value, nullptr));
}

// Sets the rectangle (a new QmRect() for None) and a fresh params dict holding "z".
int set_rect_and_z(QuelmCobjectObject* self, PyObject* rect, PyObject* z) noexcept {
    Ref new_rect =
        rect != Py_None
            ? Ref::borrow(rect)
            : Ref::steal(reinterpret_cast<PyObject*>(g_rect_methods->new_(0.0f, 0.0f, 0.0f, 0.0f)));
    Ref name = Ref::steal(PyUnicode_FromString("z"));
    Ref params = Ref::steal(PyDict_New());
    if (!new_rect || !name || !params) {
        return -1;
    }
    Ref z_param = make_param(name.get(), z);
    if (!z_param || PyDict_SetItem(params.get(), name.get(), z_param.get()) < 0) {
        return -1;
    }
    replace_field(self->*kRectField, std::move(new_rect));
    replace_field(self->params, std::move(params));
    return 0;
}

PyObject* cobject_tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    Ref self = Ref::steal(type->tp_alloc(type, 0));
    if (!self) {
        return nullptr;
    }
    QuelmCobjectObject* obj = self.as<QuelmCobjectObject>();
    obj->vtab = &kMethods;
    init_fields_none(obj, kObjectFields);
    Ref zero = Ref::steal(PyLong_FromLong(0));
    if (!zero || set_rect_and_z(obj, Py_None, zero.get()) < 0) {
        return nullptr;
    }
    return self.release();
}

int cobject_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static constexpr const char* names[] = {"rect", "z"};
    static constexpr ArgSpec spec{"__init__", names, 2, 0};
    PyObject* params[2];
    if (parse_tuple_args(spec, args, kwargs, params) == 0 &&
        check_arg_type(params[0] ? params[0] : Py_None, g_rect_type, true, "rect") == 0) {
        Ref zero = Ref::steal(params[1] ? nullptr : PyLong_FromLong(0));
        PyObject* z = params[1] ? params[1] : zero.get();
        if (z && set_rect_and_z(as_cobject(self), params[0] ? params[0] : Py_None, z) == 0) {
            return 0;
        }
    }
    add_traceback(kModule, "QuelmCobject.__init__");
    return -1;
}

void cobject_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    PyObject_ClearWeakRefs(self);
    release_fields<kObjectFields>(self);
    Py_TYPE(self)->tp_free(self);
}

// ---- native bodies ----

// The param stored under `name` (KeyError when absent). May call back into Python (hashing).
Ref get_param_strict_body(QuelmCobjectObject* self, PyObject* name) noexcept {
    Ref params = Ref::borrow(self->params);
    Ref param = Ref::steal(PyObject_GetItem(params.get(), name));
    if (param && !PyObject_TypeCheck(param.get(), g_param_type)) {
        err::cannot_convert(param.get(), g_param_type);
        return Ref();
    }
    return param;
}

PyObject* py_get_qmrect(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept {
    if (check_no_args("get_qmrect", nargs, kwnames) < 0) {
        add_traceback(kModule, "QuelmCobject.get_qmrect");
        return nullptr;
    }
    return Py_NewRef(as_cobject(self)->*kRectField);
}

constexpr const char* kNameParam[] = {"name"};
constexpr const char* kNameValueParams[] = {"name", "value"};

// The param named by the one argument `name` of get_param_strict / get_param_value; on failure
// an empty Ref, with the traceback entry `entry`. May call back into Python (hashing).
Ref param_named(const ArgSpec& spec, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames, const char* entry) noexcept {
    PyObject* name = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &name) == 0) {
        if (Ref param = get_param_strict_body(as_cobject(self), name)) {
            return param;
        }
    }
    add_traceback(kModule, entry);
    return Ref();
}

PyObject* py_get_param_strict(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"get_param_strict", kNameParam, 1, 1};
    return param_named(spec, self, args, nargs, kwnames, "QuelmCobject.get_param_strict").release();
}

PyObject* py_get_param_value(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"get_param_value", kNameParam, 1, 1};
    Ref param = param_named(spec, self, args, nargs, kwnames, "QuelmCobject.get_param_value");
    return param ? Py_NewRef(param.as<QmParamObject>()->value) : nullptr;
}

// Updates the param's value, or adds QmParam(name, value) when there is none.
// May call back into Python (hashing, a dict subclass is refused by the params setter).
int set_param_value_body(QuelmCobjectObject* self, PyObject* name, PyObject* value) noexcept {
    Ref params = Ref::borrow(self->params);
    if (PyDict_Check(params.get())) {
        PyObject* raw = nullptr;
        if (PyDict_GetItemRef(params.get(), name, &raw) < 0) {
            return -1;
        }
        Ref existing = Ref::steal(raw);
        if (existing) {
            if (!PyObject_TypeCheck(existing.get(), g_param_type)) {
                err::cannot_convert(existing.get(), g_param_type);
                return -1;
            }
            replace_field(existing.as<QmParamObject>()->value, Ref::borrow(value));
            return 0;
        }
    }
    Ref param = make_param(name, value);
    if (!param) {
        return -1;
    }
    return PyObject_SetItem(params.get(), name, param.get());
}

PyObject* py_set_param_value(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_param_value", kNameValueParams, 2, 2};
    PyObject* params[2];
    if (parse_args(spec, args, nargs, kwnames, params) < 0 ||
        set_param_value_body(as_cobject(self), params[0], params[1]) < 0) {
        add_traceback(kModule, "QuelmCobject.set_param_value");
        return nullptr;
    }
    Py_RETURN_NONE;
}

// ---- native table ----

// The result of a Python override of an entry typed to return `type`: that type or None.
PyObject* checked_override_result(Ref result, PyTypeObject* type) noexcept {
    if (result && result.get() != Py_None && !PyObject_TypeCheck(result.get(), type)) {
        err::cannot_convert(result.get(), type);
        return nullptr;
    }
    return result.release();
}

QmParamObject* slot_get_param_strict(QuelmCobjectObject* self, PyObject* name,
                                     int skip_dispatch) noexcept {
    PyObject* self_obj = reinterpret_cast<PyObject*>(self);
    PyObject* result = nullptr;
    if (should_dispatch(skip_dispatch)) {
        Ref override = find_override(self_obj, g_names.get_param_strict, py_get_param_strict);
        if (override) {
            result = checked_override_result(Ref::steal(PyObject_CallOneArg(override.get(), name)),
                                             g_param_type);
        } else if (!PyErr_Occurred()) {
            result = get_param_strict_body(self, name).release();
        }
    } else {
        result = get_param_strict_body(self, name).release();
    }
    if (!result) {
        add_traceback(kModule, "QuelmCobject.get_param_strict");
    }
    return reinterpret_cast<QmParamObject*>(result);
}

QmRectObject* slot_get_qmrect(QuelmCobjectObject* self, int skip_dispatch) noexcept {
    PyObject* self_obj = reinterpret_cast<PyObject*>(self);
    if (should_dispatch(skip_dispatch)) {
        Ref override = find_override(self_obj, g_names.get_qmrect, py_get_qmrect);
        if (override || PyErr_Occurred()) {
            PyObject* result =
                override ? checked_override_result(Ref::steal(PyObject_CallNoArgs(override.get())),
                                                   g_rect_type)
                         : nullptr;
            if (!result) {
                add_traceback(kModule, "QuelmCobject.get_qmrect");
            }
            return reinterpret_cast<QmRectObject*>(result);
        }
    }
    return reinterpret_cast<QmRectObject*>(Py_NewRef(self->*kRectField));
}

const QuelmCobjectMethods kMethods = [] {
    QuelmCobjectMethods table{};
    table.get_param_strict = slot_get_param_strict;
    table.get_qmrect = slot_get_qmrect;
    return table;
}();

// ---- properties ----

PyObject* get_qmrect_attr(PyObject* self, void*) noexcept {
    return Py_NewRef(as_cobject(self)->*kRectField);
}

int set_qmrect_attr(PyObject* self, PyObject* value, void*) noexcept {
    if (value && value != Py_None && !PyObject_TypeCheck(value, g_rect_type)) {
        err::cannot_convert(value, g_rect_type);
        return -1;
    }
    replace_field(as_cobject(self)->*kRectField, Ref::borrow(value ? value : Py_None));
    return 0;
}

int set_params_attr(PyObject* self, PyObject* value, void*) noexcept {
    if (value && value != Py_None && !PyDict_CheckExact(value)) {
        err::expected_got("dict", value);
        return -1;
    }
    replace_field(as_cobject(self)->params, Ref::borrow(value ? value : Py_None));
    return 0;
}

int set_z_request_attr(PyObject* self, PyObject* value, void*) noexcept {
    if (value && value != Py_None) {
        PyTypeObject* type = zrequest_type();
        if (!type) {
            return -1;
        }
        if (!PyObject_TypeCheck(value, type)) {
            err::cannot_convert(value, type);
            return -1;
        }
    }
    replace_field(as_cobject(self)->_z_request, Ref::borrow(value ? value : Py_None));
    return 0;
}

PyGetSetDef cobject_getset[] = {
    {"qmrect", get_qmrect_attr, set_qmrect_attr, nullptr, nullptr},
    {"params", object_field_get, set_params_attr, nullptr,
     field_offset<offsetof(QuelmCobjectObject, params)>()},
    int32_property<offsetof(QuelmCobjectObject, _dead)>("_dead"),
    {"_z_request", object_field_get, set_z_request_attr, nullptr,
     field_offset<offsetof(QuelmCobjectObject, _z_request)>()},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr FunctionDef kFunctions[] = {
    {"get_qmrect", py_get_qmrect, FunctionKind::Method, "($self, /)", "QmRect",
     "The object's rectangle."},
    {"get_param_strict", py_get_param_strict, FunctionKind::Method, "($self, /, name)", "QmParam",
     "The parameter called `name`; KeyError when there is none."},
    {"get_param_value", py_get_param_value, FunctionKind::Method, "($self, /, name)", nullptr,
     "The value of the parameter called `name`."},
    {"set_param_value", py_set_param_value, FunctionKind::Method, "($self, /, name, value)",
     nullptr, "Sets the value of the parameter called `name`, creating it if needed."},
};

PyTypeObject make_cobject_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.quelmcobj.quelmcobj.QuelmCobject";
    type.tp_basicsize = sizeof(QuelmCobjectObject);
    type.tp_dealloc = cobject_dealloc;
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC |
                    Py_TPFLAGS_MANAGED_WEAKREF | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc = "QuelmCobject(rect=None, z=0)\n\nA toolkit object: a rectangle and named "
                  "parameters, among them its z.";
    type.tp_traverse = traverse_fields<kObjectFields>;
    type.tp_clear = clear_fields<kObjectFields>;
    type.tp_getset = cobject_getset;
    type.tp_init = cobject_init;
    type.tp_new = cobject_tp_new;
    return type;
}

PyTypeObject QuelmCobjectType = make_cobject_type();

int import_siblings() noexcept {
    const QmParamMethods* param_methods = nullptr;
    return import_type_with_table(kQmRectModule, kQmRectName, kQmRectSize, g_rect_type,
                                  g_rect_methods) < 0 ||
                   import_type_with_table(kQmParamModule, kQmParamName, kQmParamSize, g_param_type,
                                          param_methods) < 0
               ? -1
               : 0;
}

int exec_quelmcobj(PyObject* module) noexcept {
    if (intern_names(g_names, kNameDefs) < 0 || import_siblings() < 0 ||
        PyType_Ready(&QuelmCobjectType) < 0 || publish_vtable(&QuelmCobjectType, &kMethods) < 0 ||
        PyModule_AddType(module, &QuelmCobjectType) < 0 ||
        add_type_functions(&QuelmCobjectType, kFunctions, kModule.dotted_path) < 0) {
        return -1;
    }
    return 0;
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_quelmcobj);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quelmcobj",
    "Minimal stand-in for the toolkit's quelmcobj module.",
    0,
    nullptr,
    module_slots,
};

} // namespace
} // namespace qm::siblings

PyMODINIT_FUNC PyInit_quelmcobj() {
    return PyModuleDef_Init(&qm::siblings::module_def);
}
