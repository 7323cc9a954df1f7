// The qmvector2 extension module: readies QmVector2, publishes its native method table and
// binds the module global `md`.
#include "quelm_ui/fast/qmvector2/vector_internal.hpp"

#include "quelm_ui/fast/common/module.hpp"
#include "quelm_ui/fast/common/names.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/common/type_import.hpp"

namespace qm::vector2 {

Names g_names{};

namespace {

constexpr NameDef<Names> kNameDefs[] = {
    {&Names::x, "x"},
    {&Names::y, "y"},
    {&Names::clamp_magnitude_ip, "clamp_magnitude_ip"},
    {&Names::md, "md"},
    {&Names::pygame, "pygame"},
    {&Names::vector2, "Vector2"},
};

int add_python_functions() noexcept {
    for (auto defs : {construction_functions(), operator_functions(), conversion_functions(),
                      geometry_functions()}) {
        if (add_type_functions(&QmVector2Type, defs, kModule.dotted_path) < 0) {
            return -1;
        }
    }
    return 0;
}

int bind_md(PyObject* module) noexcept {
    Ref md = Ref::steal(PyImport_ImportModule("quelm_ui.core.modules"));
    if (!md) {
        return -1;
    }
    return PyModule_AddObjectRef(module, "md", md.get());
}

// The names and interpreter objects the type's methods use are in place before the type is
// readied: a type left readied by a failed exec never finds them missing.
int exec_qmvector2(PyObject* module) noexcept {
    if (intern_names(g_names, kNameDefs) < 0 || exec_conversions(module) < 0 ||
        ready_vector_type() < 0 || publish_vtable(&QmVector2Type, &kMethods) < 0 ||
        PyModule_AddType(module, &QmVector2Type) < 0 || bind_md(module) < 0 ||
        add_python_functions() < 0) {
        return -1;
    }
    return 0;
}

// After a failed exec nothing may keep the failed module object's dictionary alive. The names,
// `round` and the readied type stay for the next exec, which replaces them.
void release_state() noexcept {
    release_module_dict();
}

int exec_module(PyObject* module) noexcept {
    return run_module_exec(module, kModule, exec_qmvector2, release_state);
}

PyModuleDef_Slot module_slots[] = QM_MODULE_SLOTS(exec_module);

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "qmvector2",
    "The QmVector2 two-dimensional vector value type.",
    0,
    nullptr,
    module_slots,
};

} // namespace

// Called by PyInit_qmvector2 (qmvector2_entry.cpp) once the processor check has passed.
PyObject* module_definition() noexcept {
    return PyModuleDef_Init(&module_def);
}

} // namespace qm::vector2
