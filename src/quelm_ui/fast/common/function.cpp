// The callable types behind every Python-visible function of the modules.
#include "quelm_ui/fast/common/function.hpp"

#include "quelm_ui/fast/common/errors.hpp"

#include <cstddef>
#include <cstring>

namespace qm {
namespace {

// Invariant: def and the name strings are set for the object's whole life; `owner` is a
// static type (never released); the Python-level attributes are created lazily.
struct FunctionObject {
    PyObject_HEAD vectorcallfunc vectorcall;
    const FunctionDef* def;
    PyTypeObject* owner;
    PyObject* module_name; // str
    PyObject* qualname;    // str
    PyObject* annotations; // dict, created on first access
    PyObject* doc;         // str or None
};

FunctionObject* as_function(PyObject* self) noexcept {
    return reinterpret_cast<FunctionObject*>(self);
}

PyObject* method_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf,
                            PyObject* kwnames) noexcept {
    FunctionObject* func = as_function(callable);
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (nargs < 1) {
        err::needs_receiver(func->def->name);
        return nullptr;
    }
    if (!PyObject_TypeCheck(args[0], func->owner)) {
        err::descriptor_misuse(func->def->name, func->owner, args[0]);
        return nullptr;
    }
    return func->def->impl(args[0], args + 1, nargs - 1, kwnames);
}

PyObject* plain_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf,
                           PyObject* kwnames) noexcept {
    return as_function(callable)->def->impl(nullptr, args, PyVectorcall_NARGS(nargsf), kwnames);
}

int function_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    // GCOVR_EXCL_BR_START: the collector's visit functions return 0
    Py_VISIT(as_function(self)->annotations);
    // GCOVR_EXCL_BR_STOP
    return 0;
}

// GCOVR_EXCL_START: the functions live in their module or type, which no collection frees
int function_clear(PyObject* self) noexcept {
    Py_CLEAR(as_function(self)->annotations);
    return 0;
}
// GCOVR_EXCL_STOP

void function_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    FunctionObject* func = as_function(self);
    Py_CLEAR(func->module_name); // GCOVR_EXCL_BR_LINE: the field is never null here
    Py_CLEAR(func->qualname);    // GCOVR_EXCL_BR_LINE: the field is never null here
    Py_CLEAR(func->annotations);
    Py_CLEAR(func->doc); // GCOVR_EXCL_BR_LINE: the field is never null here
    PyObject_GC_Del(self);
}

PyObject* function_repr(PyObject* self) noexcept {
    FunctionObject* func = as_function(self);
    // GCOVR_EXCL_BR_START: only methods have an owner
    if (func->owner && func->def->kind == FunctionKind::Method) {
        // GCOVR_EXCL_BR_STOP
        return PyUnicode_FromFormat("<method '%s' of '%s' objects>", func->def->name,
                                    func->owner->tp_name);
    }
    return PyUnicode_FromFormat("<built-in function %s>", func->def->name);
}

PyObject* method_descr_get(PyObject* self, PyObject* obj, PyObject*) noexcept {
    if (obj == nullptr || obj == Py_None) {
        return Py_NewRef(self);
    }
    return PyMethod_New(self, obj);
}

// Module functions and static methods do not bind; having __get__ at all makes inspect read
// their __text_signature__ as it does for built-in functions.
PyObject* plain_descr_get(PyObject* self, PyObject*, PyObject*) noexcept {
    return Py_NewRef(self);
}

PyObject* get_name(PyObject* self, void*) noexcept {
    return PyUnicode_FromString(as_function(self)->def->name);
}

PyObject* get_qualname(PyObject* self, void*) noexcept {
    return Py_NewRef(as_function(self)->qualname);
}

PyObject* get_module(PyObject* self, void*) noexcept {
    return Py_NewRef(as_function(self)->module_name);
}

PyObject* get_doc(PyObject* self, void*) noexcept {
    return Py_NewRef(as_function(self)->doc);
}

PyObject* get_text_signature(PyObject* self, void*) noexcept {
    const char* text = as_function(self)->def->text_signature;
    if (!text) {        // GCOVR_EXCL_BR_LINE: every definition has a text signature
        Py_RETURN_NONE; // GCOVR_EXCL_LINE: as above
    }
    return PyUnicode_FromString(text);
}

PyObject* get_annotations(PyObject* self, void*) noexcept {
    FunctionObject* func = as_function(self);
    if (!func->annotations) {
        Ref dict = Ref::steal(PyDict_New());
        if (!dict) {
            return nullptr;
        }
        if (const char* result = func->def->return_annotation) {
            Ref text = Ref::steal(PyUnicode_FromString(result));
            if (!text || PyDict_SetItemString(dict.get(), "return", text.get()) < 0) {
                return nullptr;
            }
        }
        func->annotations = dict.release();
    }
    return Py_NewRef(func->annotations);
}

int set_annotations(PyObject* self, PyObject* value, void*) noexcept {
    if (value == nullptr || !PyDict_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "__annotations__ must be set to a dict object");
        return -1;
    }
    Py_XSETREF(as_function(self)->annotations, Py_NewRef(value));
    return 0;
}

PyGetSetDef function_getset[] = {
    {"__name__", get_name, nullptr, nullptr, nullptr},
    {"__qualname__", get_qualname, nullptr, nullptr, nullptr},
    {"__module__", get_module, nullptr, nullptr, nullptr},
    {"__doc__", get_doc, nullptr, nullptr, nullptr},
    {"__text_signature__", get_text_signature, nullptr, nullptr, nullptr},
    {"__annotations__", get_annotations, set_annotations, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Pickled by reference, like built-in functions: pickle looks the qualified name up in
// __module__ and checks it finds this very object.
PyObject* function_reduce(PyObject* self, PyObject*) noexcept {
    return Py_NewRef(as_function(self)->qualname);
}

PyMethodDef function_methods[] = {
    {"__reduce__", function_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

constexpr PyTypeObject make_type(const char* name, unsigned long extra_flags,
                                 descrgetfunc descr_get) noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = name;
    type.tp_basicsize = sizeof(FunctionObject);
    type.tp_dealloc = function_dealloc;
    type.tp_vectorcall_offset = offsetof(FunctionObject, vectorcall);
    type.tp_repr = function_repr;
#if !defined(_WIN32)
    type.tp_call = PyVectorcall_Call;
#endif
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
                    Py_TPFLAGS_IMMUTABLETYPE | extra_flags;
    type.tp_traverse = function_traverse;
    type.tp_clear = function_clear;
    type.tp_getset = function_getset;
    type.tp_methods = function_methods;
    type.tp_descr_get = descr_get;
    return type;
}

constinit PyTypeObject method_type =
    make_type("quelm_method", Py_TPFLAGS_METHOD_DESCRIPTOR, method_descr_get);
constinit PyTypeObject function_type = make_type("quelm_function", 0, plain_descr_get);

// The type's name without its module path ("QmVector2").
const char* short_type_name(PyTypeObject* type) noexcept {
    const char* dot = std::strrchr(type->tp_name, '.');
    return dot ? dot + 1 : type->tp_name; // GCOVR_EXCL_BR_LINE: the types' names are dotted
}

} // namespace

int ready_function_types() noexcept {
#if defined(_WIN32)
    // Imported from the interpreter's DLL, the function's address is no constant there: it is
    // stored before the types are readied, as the dynamic linker would have done elsewhere.
    method_type.tp_call = PyVectorcall_Call;
    function_type.tp_call = PyVectorcall_Call;
#endif
    if (PyType_Ready(&method_type) < 0 || PyType_Ready(&function_type) < 0) {
        return -1;
    }
    return 0;
}

Ref make_function(const FunctionDef& def, PyTypeObject* owner, const char* module_name) noexcept {
    const bool is_method = def.kind == FunctionKind::Method;
    PyTypeObject* type = is_method ? &method_type : &function_type;
    Ref qualname =
        Ref::steal(owner ? PyUnicode_FromFormat("%s.%s", short_type_name(owner), def.name)
                         : PyUnicode_FromString(def.name));
    Ref module = Ref::steal(PyUnicode_FromString(module_name));
    // GCOVR_EXCL_BR_START: every definition has a docstring
    Ref doc = def.doc ? Ref::steal(PyUnicode_FromString(def.doc)) : Ref::borrow(Py_None);
    // GCOVR_EXCL_BR_STOP
    if (!qualname || !module || !doc) {
        return Ref();
    }
    FunctionObject* func = PyObject_GC_New(FunctionObject, type);
    if (!func) {
        return Ref();
    }
    func->vectorcall = is_method ? method_vectorcall : plain_vectorcall;
    func->def = &def;
    func->owner = owner;
    func->module_name = module.release();
    func->qualname = qualname.release();
    func->annotations = nullptr;
    func->doc = doc.release();
    PyObject_GC_Track(func);
    return Ref::steal(reinterpret_cast<PyObject*>(func));
}

int set_type_attr(PyTypeObject* type, const char* name, PyObject* value) noexcept {
    PyObject* dict = type->tp_dict;
    // GCOVR_EXCL_BR_START: a readied type has its dict
    if (!dict || PyDict_SetItemString(dict, name, value) < 0) {
        // GCOVR_EXCL_BR_STOP
        return -1;
    }
    PyType_Modified(type);
    return 0;
}

int add_type_functions(PyTypeObject* type, std::span<const FunctionDef> defs,
                       const char* module_name) noexcept {
    for (const FunctionDef& def : defs) {
        Ref func = make_function(def, type, module_name);
        if (!func) {
            return -1;
        }
        if (def.kind == FunctionKind::Static) {
            func = Ref::steal(PyStaticMethod_New(func.get()));
            if (!func) {
                return -1;
            }
        }
        if (set_type_attr(type, def.name, func.get()) < 0) {
            return -1;
        }
    }
    return 0;
}

int add_module_functions(PyObject* module, std::span<const FunctionDef> defs) noexcept {
    const char* module_name = PyModule_GetName(module);
    if (!module_name) { // GCOVR_EXCL_BR_LINE: module_create gives every module its name
        return -1;      // GCOVR_EXCL_LINE: as above
    }
    for (const FunctionDef& def : defs) {
        Ref func = make_function(def, nullptr, module_name);
        if (!func || PyModule_AddObjectRef(module, def.name, func.get()) < 0) {
            return -1;
        }
    }
    return 0;
}

bool is_native_function(PyObject* attr, FastImpl impl) noexcept {
    if (PyMethod_Check(attr)) {
        attr = PyMethod_GET_FUNCTION(attr);
    }
    if (!Py_IS_TYPE(attr, &method_type) && !Py_IS_TYPE(attr, &function_type)) {
        return false;
    }
    return as_function(attr)->def->impl == impl;
}

} // namespace qm
