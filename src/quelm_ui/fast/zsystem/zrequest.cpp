// ZRequest: one input target, a weak link to its owner and six callbacks; its native table,
// its pickled form and the module's restore function __pyx_unpickle_ZRequest.
#include "quelm_ui/fast/zsystem/zsystem_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/fields.hpp"

#include <utility>

namespace qm::zsystem {
namespace {

using Field = PyObject* ZRequestObject::*;

// The seven object fields in record order.
constexpr Field kFields[] = {
    &ZRequestObject::_link_ref,
    &ZRequestObject::on_hover_func,
    &ZRequestObject::on_unhover_func,
    &ZRequestObject::on_click_func,
    &ZRequestObject::on_scroll_func,
    &ZRequestObject::on_keyup_func,
    &ZRequestObject::on_keyup_abandon_func,
};
constexpr int kFieldCount = 7;

// The pickled state: the fields in alphabetical order of their names.
constexpr Field kStateFields[] = {
    &ZRequestObject::_link_ref,       &ZRequestObject::on_click_func,
    &ZRequestObject::on_hover_func,   &ZRequestObject::on_keyup_abandon_func,
    &ZRequestObject::on_keyup_func,   &ZRequestObject::on_scroll_func,
    &ZRequestObject::on_unhover_func,
};
constexpr long long kChecksum = 0x80e39c8;
constexpr long long kAcceptedChecksums[] = {0x80e39c8, 0x1b44be, 0xfe25af3};
constexpr const char* kStateMembers = "_link_ref, on_click_func, on_hover_func, "
                                      "on_keyup_abandon_func, on_keyup_func, on_scroll_func, "
                                      "on_unhover_func";

// A request of `type` with all seven fields None (new reference, or nullptr with an error).
ZRequestObject* allocate_request(PyTypeObject* type) noexcept {
    ZRequestObject* self = as_request(type->tp_alloc(type, 0));
    if (self) {
        self->vtab = &kRequestMethods;
        for (Field field : kFields) {
            self->*field = Py_NewRef(Py_None);
        }
    }
    return self;
}

// Stores values[i] (borrowed; nullptr stores None) into fields[i]. The old values are released
// only once every field holds its new one, so code run by their release sees a whole request.
void assign_fields(ZRequestObject* self, const Field* fields, PyObject* const* values) noexcept {
    Ref old[kFieldCount];
    for (int i = 0; i < kFieldCount; ++i) {
        PyObject* value = values[i] ? values[i] : Py_None;
        old[i] = Ref::steal(std::exchange(self->*fields[i], Py_NewRef(value)));
    }
}

// Links the request to `link` and sets the callbacks, given in the constructor's parameter
// order (hover, unhover, click, key-up, key-up-abandon, scroll). Nothing changes on failure.
// May call back into Python (weakref.ref).
int link_and_set(ZRequestObject* self, PyObject* link, PyObject* const* callbacks) noexcept {
    Ref link_ref = make_weak_ref(link);
    if (!link_ref) {
        return -1;
    }
    PyObject* const values[kFieldCount] = {
        link_ref.get(), callbacks[0], callbacks[1], callbacks[2],
        callbacks[5],   callbacks[3], callbacks[4],
    };
    assign_fields(self, kFields, values);
    return 0;
}

PyObject* request_tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    return reinterpret_cast<PyObject*>(allocate_request(type));
}

int request_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static constexpr const char* names[] = {
        "link",          "on_hover_func",         "on_unhover_func", "on_click_func",
        "on_keyup_func", "on_keyup_abandon_func", "on_scroll_func",
    };
    static constexpr ArgSpec spec{"__init__", names, 7, 1};
    PyObject* params[7];
    if (parse_tuple_args(spec, args, kwargs, params) < 0 ||
        link_and_set(as_request(self), params[0], params + 1) < 0) {
        traceback("ZRequest.__init__");
        return -1;
    }
    return 0;
}

int request_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    ZRequestObject* request = as_request(self);
    for (Field field : kFields) {
        Py_VISIT(request->*field); // GCOVR_EXCL_BR_LINE: the collector's visit functions return 0
    }
    return 0;
}

int request_clear(PyObject* self) noexcept {
    PyObject* const nones[kFieldCount] = {};
    assign_fields(as_request(self), kFields, nones);
    return 0;
}

void request_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    ZRequestObject* request = as_request(self);
    if (request->weakreflist) {
        PyObject_ClearWeakRefs(self);
    }
    for (Field field : kFields) {
        Py_CLEAR(request->*field); // GCOVR_EXCL_BR_LINE: the field is never null here
    }
    Py_TYPE(self)->tp_free(self);
}

// ---- native table ----

ZRequestObject* slot_new(PyObject* link, PyObject* on_hover_func, PyObject* on_unhover_func,
                         PyObject* on_click_func, PyObject* on_keyup_func,
                         PyObject* on_keyup_abandon_func, PyObject* on_scroll_func) noexcept {
    Ref request = Ref::steal(reinterpret_cast<PyObject*>(allocate_request(&ZRequestType)));
    PyObject* const callbacks[] = {on_hover_func, on_unhover_func,       on_click_func,
                                   on_keyup_func, on_keyup_abandon_func, on_scroll_func};
    if (!request || link_and_set(request.as<ZRequestObject>(), link, callbacks) < 0) {
        traceback("ZRequest.new");
        return nullptr;
    }
    return reinterpret_cast<ZRequestObject*>(request.release());
}

PyObject* slot_get_link(ZRequestObject* self) noexcept {
    Ref link = request_link(self);
    if (!link) {
        traceback("ZRequest.get_link");
    }
    return link.release();
}

// ---- pickling ----

// Applies a state tuple: at least seven items (else nothing changes), then the instance
// `__dict__` updated from item 7 when it is there and truthy. May call back into Python.
int apply_state(ZRequestObject* self, PyObject* state) noexcept {
    const Py_ssize_t size = PyTuple_GET_SIZE(state);
    if (size < kFieldCount) {
        err::short_state("ZRequest", kFieldCount, size);
        return -1;
    }
    // GCOVR_EXCL_BR_START: the type assert inside the item macro
    assign_fields(self, kStateFields, &PyTuple_GET_ITEM(state, 0));
    // GCOVR_EXCL_BR_STOP
    if (size > kFieldCount) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        PyObject* extra = PyTuple_GET_ITEM(state, kFieldCount);
        // GCOVR_EXCL_BR_STOP
        const int truth = PyObject_IsTrue(extra);
        if (truth < 0) {
            return -1;
        }
        if (truth) {
            Ref dict =
                Ref::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(self), g_names.dict));
            Ref done =
                dict ? Ref::steal(PyObject_CallMethodOneArg(dict.get(), g_names.update, extra))
                     : Ref();
            if (!done) {
                return -1;
            }
        }
    }
    return 0;
}

PyObject* py_reduce(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
    if (check_no_args("__reduce__", nargs, kwnames) < 0) {
        traceback("ZRequest.__reduce__");
        return nullptr;
    }
    ZRequestObject* request = as_request(self);
    Ref state = Ref::steal(PyTuple_New(kFieldCount));
    if (!state) {
        traceback("ZRequest.__reduce__");
        return nullptr;
    }
    bool any_set = false;
    for (int i = 0; i < kFieldCount; ++i) {
        PyObject* value = request->*kStateFields[i];
        any_set = any_set || value != Py_None;
        PyTuple_SET_ITEM(state.get(), i, Py_NewRef(value));
    }
    PyObject* raw_dict = nullptr;
    if (PyObject_GetOptionalAttr(self, g_names.dict, &raw_dict) < 0) {
        traceback("ZRequest.__reduce__");
        return nullptr;
    }
    Ref dict = Ref::steal(raw_dict);
    const int dict_truth = dict && dict.get() != Py_None ? PyObject_IsTrue(dict.get()) : 0;
    if (dict_truth < 0) {
        traceback("ZRequest.__reduce__");
        return nullptr;
    }
    if (dict_truth) {
        Ref extra = Ref::steal(PyTuple_Pack(1, dict.get()));
        state = extra ? Ref::steal(PySequence_Concat(state.get(), extra.get())) : Ref();
    }
    Ref restore = state ? module_global(g_names.unpickle_request) : Ref();
    PyObject* result = nullptr;
    if (restore) {
        PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
        result =
            dict_truth || any_set
                ? Py_BuildValue("(O(OLO)O)", restore.get(), type, kChecksum, Py_None, state.get())
                : Py_BuildValue("(O(OLO))", restore.get(), type, kChecksum, state.get());
    }
    if (!result) {
        traceback("ZRequest.__reduce__");
    }
    return result;
}

PyObject* py_setstate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    static constexpr const char* names[] = {"__pyx_state"};
    static constexpr ArgSpec spec{"__setstate__", names, 1, 1};
    PyObject* state = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &state) == 0) {
        if (state == Py_None) {
            err::none_not_allowed();
        } else if (!PyTuple_CheckExact(state)) {
            err::expected_got("tuple", state);
        } else if (apply_state(as_request(self), state) == 0) {
            Py_RETURN_NONE;
        } else {
            traceback("__pyx_unpickle_ZRequest__set_state");
        }
    }
    traceback("ZRequest.__setstate__");
    return nullptr;
}

PyObject* py_unpickle(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    static constexpr const char* names[] = {"__pyx_type", "__pyx_checksum", "__pyx_state"};
    static constexpr ArgSpec spec{"__pyx_unpickle_ZRequest", names, 3, 3};
    PyObject* params[3];
    int64_t checksum = 0;
    if (parse_args(spec, args, nargs, kwnames, params) < 0 || to_int64(params[1], checksum) < 0 ||
        check_arg_exact(params[2], &PyTuple_Type, "__pyx_state") < 0) {
        traceback("__pyx_unpickle_ZRequest");
        return nullptr;
    }
    bool accepted = false;
    for (long long value : kAcceptedChecksums) {
        accepted = accepted || checksum == value;
    }
    if (!accepted) {
        Ref pickle = Ref::steal(PyImport_ImportModule("pickle"));
        Ref error =
            pickle ? Ref::steal(PyObject_GetAttrString(pickle.get(), "PickleError")) : Ref();
        if (error) {
            err::incompatible_checksums(error.get(), checksum, kAcceptedChecksums, kStateMembers);
        }
        traceback("__pyx_unpickle_ZRequest");
        return nullptr;
    }
    Ref result = Ref::steal(PyObject_CallMethodOneArg(reinterpret_cast<PyObject*>(&ZRequestType),
                                                      g_names.new_, params[0]));
    if (!result || check_request(result.get()) < 0) {
        traceback("__pyx_unpickle_ZRequest");
        return nullptr;
    }
    if (params[2] != Py_None && apply_state(result.as<ZRequestObject>(), params[2]) < 0) {
        traceback("__pyx_unpickle_ZRequest__set_state");
        traceback("__pyx_unpickle_ZRequest");
        return nullptr;
    }
    return result.release();
}

constexpr FunctionDef kRequestFunctions[] = {
    {"__reduce__", py_reduce, FunctionKind::Method, "($self, /)", nullptr,
     "Helper for pickle and copy: the restore function, its arguments and the state.\n"
     "\n"
     "The state is a tuple of the seven fields in alphabetical order (_link_ref, the weak "
     "reference itself, then on_click_func, on_hover_func, on_keyup_abandon_func, on_keyup_func, "
     "on_scroll_func, on_unhover_func), plus the instance __dict__ of a subclass when it is not "
     "empty. copy.copy works; pickle.dumps fails on the weak reference in the state.\n"
     "\n"
     "Returns:\n"
     "    tuple: (__pyx_unpickle_ZRequest, (type(self), 0x80e39c8, None), state), or "
     "(__pyx_unpickle_ZRequest, (type(self), 0x80e39c8, state)) when all seven fields are None "
     "and there is no dict.\n"},
    {"__setstate__", py_setstate, FunctionKind::Method, "($self, /, __pyx_state)", nullptr,
     "Helper for pickle and copy: applies a state tuple made by __reduce__.\n"
     "\n"
     "Items 0 to 6 go to the fields in alphabetical order, unchecked (item 0 is stored as the "
     "weak reference to the owner); a truthy item 7 updates the instance __dict__.\n"
     "\n"
     "Args:\n"
     "    __pyx_state: the state tuple.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    TypeError: \"cannot pass None into a C function argument that is declared 'not None'\" "
     "for None; \"Expected tuple, got <type>\" for another type.\n"
     "    ValueError: \"ZRequest state tuple must hold at least 7 items, got <n>\"; no field "
     "changes.\n"},
};

constexpr FunctionDef kUnpickleFunctions[] = {
    {"__pyx_unpickle_ZRequest", py_unpickle, FunctionKind::Module,
     "(__pyx_type, __pyx_checksum, __pyx_state)", nullptr,
     "Restores a pickled ZRequest: the restore function that ZRequest.__reduce__ names.\n"
     "\n"
     "Makes an instance of __pyx_type through __new__ alone (all fields None, no __init__) and "
     "applies the state when it is not None.\n"
     "\n"
     "Args:\n"
     "    __pyx_type: ZRequest or a subclass.\n"
     "    __pyx_checksum: the layout checksum, one of 0x80e39c8, 0x1b44be and 0xfe25af3.\n"
     "    __pyx_state: the state tuple of __reduce__, or None.\n"
     "\n"
     "Returns:\n"
     "    ZRequest: the restored request.\n"
     "\n"
     "Raises:\n"
     "    pickle.PickleError: another checksum, \"Incompatible checksums (0x1 vs (0x80e39c8, "
     "0x1b44be, 0xfe25af3) = (_link_ref, on_click_func, on_hover_func, on_keyup_abandon_func, "
     "on_keyup_func, on_scroll_func, on_unhover_func))\" for 1; no instance is made.\n"
     "    TypeError: __pyx_state is neither a tuple nor None, or the checksum is not an "
     "integer.\n"
     "    ValueError: a state tuple of fewer than seven items.\n"},
};

#define QM_CALLBACK_FIELD(name, doc)                                                               \
    {#name, object_field_get, object_field_set, doc, field_offset<offsetof(ZRequestObject, name)>()}

// The dispatcher calls each callback with no arguments, then calls a result that is not None
// (zsystem's callback protocol); the texts say when.
#define QM_CALLBACK_DOC(when)                                                                      \
    "Callback fired " when ".\n\nCalled with no arguments; a result other than None is called "    \
    "too, with no arguments. Any object is stored (callability is not checked); del stores "       \
    "None.\n"

constinit PyGetSetDef request_getset[] = {
    QM_CALLBACK_FIELD(on_hover_func,
                      QM_CALLBACK_DOC("when this target becomes the topmost one under the "
                                      "pointer, while no press is held")),
    QM_CALLBACK_FIELD(on_unhover_func,
                      QM_CALLBACK_DOC("when this target stops being the topmost one under the "
                                      "pointer, while no press is held")),
    QM_CALLBACK_FIELD(on_click_func,
                      QM_CALLBACK_DOC("when the mouse button goes down over this target")),
    QM_CALLBACK_FIELD(
        on_scroll_func,
        "Callback fired when the wheel moves while this target is the topmost one.\n\nCalled "
        "with no arguments; its result is then called with (BindType.Scroll, wheel_down). Any "
        "object is stored (callability is not checked); del stores None.\n"),
    QM_CALLBACK_FIELD(on_keyup_func,
                      QM_CALLBACK_DOC("when the button is released over this target after it "
                                      "was pressed")),
    QM_CALLBACK_FIELD(on_keyup_abandon_func,
                      QM_CALLBACK_DOC("when the button is released anywhere else after this "
                                      "target was pressed")),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef QM_CALLBACK_DOC
#undef QM_CALLBACK_FIELD

constexpr PyTypeObject make_request_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.zsystem.zdispatch.ZRequest";
    type.tp_basicsize = sizeof(ZRequestObject);
    type.tp_dealloc = request_dealloc;
    type.tp_flags =
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc =
        "ZRequest(link, on_hover_func=None, on_unhover_func=None, on_click_func=None, "
        "on_keyup_func=None, on_keyup_abandon_func=None, on_scroll_func=None)\n--\n\n"
        "One input target: a weak link to its owner and the callbacks the dispatcher fires for "
        "it.\n"
        "\n"
        "The request refers to its owner only through weakref.ref(link) and holds its callbacks "
        "strongly. A ZSystem holds requests only weakly, so something else (the owner's "
        "_z_request field) must keep a request alive. Calling __init__ again rebinds all seven "
        "fields. Python subclasses are allowed.\n"
        "\n"
        "Args:\n"
        "    link: the owner, a QuelmCobject; anything that supports weak references is stored.\n"
        "    on_hover_func: stored in the property of the same name; so are the five others.\n"
        "    on_unhover_func: as above.\n"
        "    on_click_func: as above.\n"
        "    on_keyup_func: as above.\n"
        "    on_keyup_abandon_func: as above.\n"
        "    on_scroll_func: as above.\n"
        "\n"
        "Raises:\n"
        "    TypeError: link cannot be weakly referenced (None, an int, a str, ...); no field "
        "changes.\n";
    type.tp_traverse = request_traverse;
    type.tp_clear = request_clear;
    type.tp_weaklistoffset = offsetof(ZRequestObject, weakreflist);
    type.tp_getset = request_getset;
    type.tp_init = request_init;
    type.tp_new = request_tp_new;
    return type;
}

} // namespace

constinit PyTypeObject ZRequestType = make_request_type();
const ZRequestMethods kRequestMethods = {slot_new, slot_get_link};

Ref make_weak_ref(PyObject* obj) noexcept {
    Ref weakref = module_global(g_names.weakref);
    Ref ref_type = weakref ? Ref::steal(PyObject_GetAttr(weakref.get(), g_names.ref)) : Ref();
    if (!ref_type) {
        return Ref();
    }
    return Ref::steal(PyObject_CallOneArg(ref_type.get(), obj));
}

Ref call_ref(PyObject* ref) noexcept {
    Ref held = Ref::borrow(ref);
    if (PyWeakref_CheckRefExact(held.get())) {
        // A plain weakref.ref answers without the call machinery.
        PyObject* target = nullptr;
        if (PyWeakref_GetRef(held.get(), &target) < 0) { // GCOVR_EXCL_BR_LINE: see below
            return Ref(); // GCOVR_EXCL_LINE: fails only for a non-weakref
        }
        return target ? Ref::steal(target) : Ref::borrow(Py_None);
    }
    return Ref::steal(PyObject_CallNoArgs(held.get()));
}

Ref request_link(ZRequestObject* request) noexcept {
    return call_ref(request->_link_ref);
}

int check_request(PyObject* obj) noexcept {
    if (is_request(obj)) {
        return 0;
    }
    err::cannot_convert(obj, &ZRequestType);
    return -1;
}

int check_owner(PyObject* obj) noexcept {
    if (obj == Py_None || PyObject_TypeCheck(obj, g_imported.cobject_type)) {
        return 0;
    }
    err::cannot_convert(obj, g_imported.cobject_type);
    return -1;
}

int ready_request_type() noexcept {
    return PyType_Ready(&ZRequestType);
}

std::span<const FunctionDef> request_functions() noexcept {
    return kRequestFunctions;
}

std::span<const FunctionDef> unpickle_functions() noexcept {
    return kUnpickleFunctions;
}

} // namespace qm::zsystem
