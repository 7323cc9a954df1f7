// The zdispatch extension module: ZRequest and ZSystem, the types and tables it imports, its
// globals (np, weakref, BindType) and NumPy's C API.
#include "quelm_ui/fast/zsystem/zsystem_internal.hpp"

#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/names.hpp"
#include "quelm_ui/fast/common/type_import.hpp"

#include <utility>

namespace qm::zsystem {

Imported g_imported;
Names g_names{};

Ref module_global(PyObject* name) noexcept {
    PyObject* value = nullptr;
    const int found =
        g_imported.module_dict ? PyDict_GetItemRef(g_imported.module_dict, name, &value) : 0;
    if (found == 0) {
        err::name_not_defined(name);
    }
    return Ref::steal(value);
}

namespace {

constexpr NameDef<Names> kNameDefs[] = {
    {&Names::x, "x"},
    {&Names::y, "y"},
    {&Names::z, "z"},
    {&Names::np, "np"},
    {&Names::empty, "empty"},
    {&Names::int32, "int32"},
    {&Names::weakref, "weakref"},
    {&Names::ref, "ref"},
    {&Names::bind_type, "BindType"},
    {&Names::scroll, "Scroll"},
    {&Names::dict, "__dict__"},
    {&Names::update, "update"},
    {&Names::new_, "__new__"},
    {&Names::unpickle_request, "__pyx_unpickle_ZRequest"},
    {&Names::add, "add"},
    {&Names::mark_dirty, "mark_dirty"},
    {&Names::cycle, "cycle"},
    {&Names::get_active_requests, "get_active_requests"},
};

// Step 0: the module's dictionary and the names its calls look up.
int capture_names(PyObject* module) noexcept {
    replace_field(g_imported.module_dict, Ref::borrow(PyModule_GetDict(module)));
    Ref dtype = Ref::steal(PyUnicode_InternFromString("dtype"));
    Ref dtype_kwnames = dtype ? Ref::steal(PyTuple_Pack(1, dtype.get())) : Ref();
    if (!dtype_kwnames || intern_names(g_names, kNameDefs) < 0) {
        return -1;
    }
    replace_field(g_names.dtype_kwnames, std::move(dtype_kwnames));
    return 0;
}

// Step 1: the module's own types, their Python-level pickling and their native tables.
int add_types(PyObject* module) noexcept {
    if (ready_request_type() < 0 || ready_system_type() < 0 ||
        add_type_functions(&ZRequestType, request_functions(), kModule.dotted_path) < 0 ||
        add_type_functions(&ZSystemType, system_pickle_functions(), kModule.dotted_path) < 0 ||
        publish_vtable(&ZRequestType, &kRequestMethods) < 0 ||
        publish_vtable(&ZSystemType, &kSystemMethods) < 0 ||
        PyModule_AddType(module, &ZRequestType) < 0 || PyModule_AddType(module, &ZSystemType) < 0) {
        return -1;
    }
    return 0;
}

// Step 2: NumPy's array type, QmVector2 and the sibling types with their native tables.
int import_types() noexcept {
    Ref numpy = Ref::steal(PyImport_ImportModule("numpy"));
    Ref ndarray = numpy ? Ref::steal(PyObject_GetAttrString(numpy.get(), "ndarray")) : Ref();
    if (!ndarray) {
        return -1;
    }
    if (!PyType_Check(ndarray.get())) { // GCOVR_EXCL_BR_LINE: see below
        // GCOVR_EXCL_START: NumPy's ndarray is a type
        err::not_a_type("numpy", "ndarray");
        return -1;
        // GCOVR_EXCL_STOP
    }
    Imported& g = g_imported;
    const siblings::QmParamMethods* param_methods = nullptr;
    const siblings::QmRectMethods* rect_methods = nullptr;
    const siblings::CacheMethods* cache_methods = nullptr;
    if (import_type_with_table(vector2::kModulePath, vector2::kTypeName, vector2::kRecordSize,
                               g.vector_type, g.vector_methods) < 0 ||
        import_type_with_table(siblings::kQmParamModule, siblings::kQmParamName,
                               siblings::kQmParamSize, g.param_type, param_methods) < 0 ||
        import_type_with_table(siblings::kQmRectModule, siblings::kQmRectName,
                               siblings::kQmRectSize, g.rect_type, rect_methods) < 0 ||
        import_type_with_table(siblings::kCacheModule, siblings::kCacheName, siblings::kCacheSize,
                               g.cache_type, cache_methods) < 0 ||
        import_type_with_table(siblings::kQuelmCobjectModule, siblings::kQuelmCobjectName,
                               siblings::kQuelmCobjectSize, g.cobject_type,
                               g.cobject_methods) < 0) {
        return -1;
    }
    return 0;
}

// Step 3: `import numpy as np`, `import weakref`, `from quelm_ui.core.enums import BindType`.
int bind_globals(PyObject* module) noexcept {
    Ref np = Ref::steal(PyImport_ImportModule("numpy"));
    if (!np || PyModule_AddObjectRef(module, "np", np.get()) < 0) {
        return -1;
    }
    Ref weakref = Ref::steal(PyImport_ImportModule("weakref"));
    if (!weakref || PyModule_AddObjectRef(module, "weakref", weakref.get()) < 0) {
        return -1;
    }
    PyObject* name = g_names.bind_type;
    Ref fromlist = Ref::steal(PyTuple_Pack(1, name));
    Ref enums = fromlist ? Ref::steal(PyImport_ImportModuleLevel("quelm_ui.core.enums", nullptr,
                                                                 nullptr, fromlist.get(), 0))
                         : Ref();
    if (!enums) {
        return -1;
    }
    PyObject* raw = nullptr;
    if (PyObject_GetOptionalAttr(enums.get(), name, &raw) < 0) { // GCOVR_EXCL_BR_LINE
        return -1; // GCOVR_EXCL_LINE: a plain module's dict lookup by an interned str cannot fail
    }
    Ref bind_type = Ref::steal(raw);
    if (!bind_type) {
        err::cannot_import_name(name);
        return -1;
    }
    return PyModule_AddObjectRef(module, "BindType", bind_type.get());
}

int exec_zdispatch(PyObject* module) noexcept {
    if (capture_names(module) < 0 || add_types(module) < 0 || import_types() < 0 ||
        bind_globals(module) < 0 || import_numpy() < 0 ||
        add_type_functions(&ZSystemType, system_functions(), kModule.dotted_path) < 0 ||
        add_module_functions(module, unpickle_functions()) < 0) {
        return -1;
    }
    return 0;
}

// After a failed exec nothing may keep the failed module object's dictionary alive.
void release_state() noexcept {
    Py_CLEAR(g_imported.module_dict);
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_zdispatch, release_state);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "zdispatch",
    "The z-ordered input dispatcher: ZRequest input targets and the ZSystem registry.",
    0,
    nullptr,
    module_slots,
};

} // namespace

// Called by PyInit_zdispatch (zdispatch_entry.cpp) once the processor check has passed.
PyObject* module_definition() noexcept {
    return PyModuleDef_Init(&module_def);
}

} // namespace qm::zsystem
