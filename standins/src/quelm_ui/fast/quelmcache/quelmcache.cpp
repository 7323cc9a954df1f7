// Minimal stand-in for the toolkit's quelmcache module: Cache, one object field with the record
// layout the system's modules import (nothing of it is read or called).
#include <Python.h>

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/fields.hpp"
#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/quelmcache_abi.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/type_import.hpp"

namespace qm::siblings {
namespace {

constexpr ModuleInfo kModule{"quelmcache", kCacheModule,
                             "standins/src/quelm_ui/fast/quelmcache/quelmcache"};

const CacheMethods kMethods = {};

CacheObject* as_cache(PyObject* obj) noexcept {
    return reinterpret_cast<CacheObject*>(obj);
}

// The one object field; it holds a reference (None when unset).
constexpr PyObject* CacheObject::*kObjectFields[] = {&CacheObject::cache_arr};

PyObject* cache_tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    CacheObject* self = as_cache(type->tp_alloc(type, 0));
    if (!self) {
        return nullptr;
    }
    self->vtab = &kMethods;
    init_fields_none(self, kObjectFields);
    return reinterpret_cast<PyObject*>(self);
}

int cache_init(PyObject*, PyObject* args, PyObject* kwargs) noexcept {
    static constexpr ArgSpec spec{"__init__", nullptr, 0, 0};
    if (parse_tuple_args(spec, args, kwargs, nullptr) < 0) {
        add_traceback(kModule, "Cache.__init__");
        return -1;
    }
    return 0;
}

PyGetSetDef cache_getset[] = {
    object_property<offsetof(CacheObject, cache_arr)>("cache_arr"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject make_cache_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.quelmcache.quelmcache.Cache";
    type.tp_basicsize = sizeof(CacheObject);
    type.tp_dealloc = dealloc_fields<kObjectFields>;
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc = "Cache()\n--\n\nPer-object cache of a toolkit object.";
    type.tp_traverse = traverse_fields<kObjectFields>;
    type.tp_clear = clear_fields<kObjectFields>;
    type.tp_getset = cache_getset;
    type.tp_init = cache_init;
    type.tp_new = cache_tp_new;
    return type;
}

PyTypeObject CacheType = make_cache_type();

int exec_quelmcache(PyObject* module) noexcept {
    if (PyType_Ready(&CacheType) < 0 || publish_vtable(&CacheType, &kMethods) < 0 ||
        PyModule_AddType(module, &CacheType) < 0) {
        return -1;
    }
    return 0;
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_quelmcache);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quelmcache",
    "Minimal stand-in for the toolkit's quelmcache module.",
    0,
    nullptr,
    module_slots,
};

} // namespace
} // namespace qm::siblings

PyMODINIT_FUNC PyInit_quelmcache() {
    return PyModuleDef_Init(&qm::siblings::module_def);
}
