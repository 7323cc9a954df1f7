// ZSystem: the dispatcher's set-up, its registry of weak references, the dirty flag and the
// rebuild of the int32 hit arrays, its properties and its native table.
#include "quelm_ui/fast/zsystem/zsystem_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/dispatch.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/fields.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

namespace qm::zsystem {
namespace {

using Field = PyObject* ZSystemObject::*;

// The object fields the dispatcher owns and reports to the garbage collector.
constexpr Field kFields[] = {
    &ZSystemObject::_registered_requests, &ZSystemObject::last_hovered_request,
    &ZSystemObject::clicked_request,      &ZSystemObject::live_requests,
    &ZSystemObject::rects_data,           &ZSystemObject::z_indices,
};

// Marks a dispatcher whose rebuild is running (in the record's private word), so that owner
// code re-entering the dispatcher never starts a second rebuild of the same registry.
class RebuildMark {
public:
    explicit RebuildMark(ZSystemObject* self) noexcept : self_(self) { self_->reserved_ = 1; }
    RebuildMark(const RebuildMark&) = delete;
    RebuildMark& operator=(const RebuildMark&) = delete;
    ~RebuildMark() { self_->reserved_ = 0; }

private:
    ZSystemObject* self_;
};

bool rebuild_running(const ZSystemObject* self) noexcept {
    return self->reserved_ != 0;
}

// Replaces the arrays and their views in one step; the old ones are released afterwards.
void commit_arrays(ZSystemObject* self, Ref rects, Ref zs, LocalView& rect_view,
                   LocalView& z_view) noexcept {
    Ref old_rects = Ref::steal(std::exchange(self->rects_data, rects.release()));
    Ref old_zs = Ref::steal(std::exchange(self->z_indices, zs.release()));
    swap_view(self->rects_view, rect_view);
    swap_view(self->z_view, z_view);
}

// Fresh empty arrays of shapes (0, 4) and (0,) with their views, into `rects`/`zs`.
// May call back into Python (the `np` global).
int empty_arrays(Ref& rects, Ref& zs, LocalView& rect_view, LocalView& z_view) noexcept {
    rects = new_int32_array(0, 4);
    zs = rects ? new_int32_array(0, 0) : Ref();
    if (!zs || bind_view(rects.get(), 2, rect_view) < 0 || bind_view(zs.get(), 1, z_view) < 0) {
        return -1;
    }
    return 0;
}

int reset_arrays(ZSystemObject* self) noexcept {
    Ref rects;
    Ref zs;
    LocalView rect_view;
    LocalView z_view;
    if (empty_arrays(rects, zs, rect_view, z_view) < 0) {
        traceback("ZSystem._reset_arrays");
        return -1;
    }
    commit_arrays(self, std::move(rects), std::move(zs), rect_view, z_view);
    return 0;
}

// Reads a live owner's row: its rectangle truncated toward zero and its "z" parameter. The
// methods are called through the owner's own table, as a native caller of a typed object does,
// so a native subclass that overrides them gets its own code run.
// May call back into Python (get_qmrect/get_param_strict overrides, __int__).
int read_row(siblings::QuelmCobjectObject* owner, int32_t* row, int32_t& z) noexcept {
    const siblings::QuelmCobjectMethods* methods =
        owner->vtab ? owner->vtab : g_imported.cobject_methods;
    Ref rect = Ref::steal(reinterpret_cast<PyObject*>(methods->get_qmrect(owner, 0)));
    if (!rect) {
        return -1;
    }
    if (!PyObject_TypeCheck(rect.get(), g_imported.rect_type)) {
        err::cannot_convert(rect.get(), g_imported.rect_type);
        return -1;
    }
    const auto* r = rect.as<siblings::QmRectObject>();
    const int32_t values[4] = {
        truncate_to_int32(static_cast<double>(r->x)),
        truncate_to_int32(static_cast<double>(r->y)),
        truncate_to_int32(static_cast<double>(r->w)),
        truncate_to_int32(static_cast<double>(r->h)),
    };
    Ref param =
        Ref::steal(reinterpret_cast<PyObject*>(methods->get_param_strict(owner, g_names.z, 0)));
    if (!param) {
        return -1;
    }
    if (!PyObject_TypeCheck(param.get(), g_imported.param_type)) {
        err::cannot_convert(param.get(), g_imported.param_type);
        return -1;
    }
    Ref value = Ref::borrow(param.as<siblings::QmParamObject>()->value);
    if (to_int32(value.get(), z) < 0) {
        return -1;
    }
    for (int i = 0; i < 4; ++i) {
        row[i] = values[i];
    }
    return 0;
}

enum class Rebuilt {
    Failed,  // error set; nothing changed
    InSync,  // registry, live requests and arrays match
    Pending, // owner code registered requests meanwhile: kept, left for the next rebuild
};

// Rebuilds the registry, live_requests and the hit arrays; all-or-nothing. Registrations made
// by owner code while it runs stay registered after the surviving entries (the rows were
// allocated for the registry as it was at the start). May call back into Python.
Rebuilt rebuild(ZSystemObject* self) noexcept {
    Ref keep_alive = Ref::borrow(reinterpret_cast<PyObject*>(self));
    RebuildMark mark(self);
    Ref registry = Ref::borrow(self->_registered_requests);
    const Py_ssize_t max_len = PyObject_Length(registry.get());
    if (max_len < 0) {
        traceback("ZSystem._rebuild_arrays");
        return Rebuilt::Failed;
    }
    if (!PyList_Check(registry.get())) {
        err::expected_got("list", registry.get());
        traceback("ZSystem._rebuild_arrays");
        return Rebuilt::Failed;
    }
    Ref live_refs = Ref::steal(PyList_New(0));
    Ref live = Ref::steal(PyList_New(0));
    Ref new_rects = live_refs && live ? new_int32_array(max_len, 4) : Ref();
    Ref new_zs = new_rects ? new_int32_array(max_len, 0) : Ref();
    LocalView rect_rows;
    LocalView z_rows;
    if (!new_zs || bind_view(new_rects.get(), 2, rect_rows) < 0 ||
        bind_view(new_zs.get(), 1, z_rows) < 0) {
        traceback("ZSystem._rebuild_arrays");
        return Rebuilt::Failed;
    }
    if (rect_rows.view.shape[0] < max_len || z_rows.view.shape[0] < max_len) {
        err::buffer_shape(max_len, "rows", std::min(rect_rows.view.shape[0], z_rows.view.shape[0]));
        traceback("ZSystem._rebuild_arrays");
        return Rebuilt::Failed;
    }
    auto* rects = reinterpret_cast<int32_t*>(rect_rows.view.data);
    auto* zs = reinterpret_cast<int32_t*>(z_rows.view.data);
    Py_ssize_t valid = 0;
    for (Py_ssize_t i = 0; i < max_len && i < PyList_GET_SIZE(registry.get()); ++i) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        Ref req_ref = Ref::borrow(PyList_GET_ITEM(registry.get(), i));
        // GCOVR_EXCL_BR_STOP
        Ref request = call_ref(req_ref.get());
        if (!request || (request.get() != Py_None && check_request(request.get()) < 0)) {
            traceback("ZSystem._rebuild_arrays");
            return Rebuilt::Failed;
        }
        if (request.get() == Py_None) {
            continue;
        }
        Ref owner = request_link(request.as<ZRequestObject>());
        if (!owner || check_owner(owner.get()) < 0) {
            traceback("ZSystem._rebuild_arrays");
            return Rebuilt::Failed;
        }
        auto* cobject = owner.as<siblings::QuelmCobjectObject>();
        if (owner.get() == Py_None || cobject->_dead != 0) {
            continue;
        }
        int32_t z = 0;
        if (PyList_Append(live_refs.get(), req_ref.get()) < 0 ||
            PyList_Append(live.get(), request.get()) < 0 ||
            read_row(cobject, rects + valid * 4, z) < 0) {
            traceback("ZSystem._rebuild_arrays");
            return Rebuilt::Failed;
        }
        zs[valid] = z;
        ++valid;
    }
    Ref rects_data;
    Ref z_indices;
    LocalView rect_view;
    LocalView z_view;
    const int arrays_ok = valid == 0 ? empty_arrays(rects_data, z_indices, rect_view, z_view)
                                     : ((rects_data = first_rows(new_rects.get(), valid)) &&
                                                (z_indices = first_rows(new_zs.get(), valid)) &&
                                                bind_view(rects_data.get(), 2, rect_view) == 0 &&
                                                bind_view(z_indices.get(), 1, z_view) == 0
                                            ? 0
                                            : -1);
    if (arrays_ok < 0) {
        traceback("ZSystem._rebuild_arrays");
        return Rebuilt::Failed;
    }
    // No Python code runs from here to the commit.
    const Py_ssize_t registered = PyList_GET_SIZE(registry.get());
    const bool pending = registered > max_len;
    if (pending) {
        Ref added = Ref::steal(PyList_GetSlice(registry.get(), max_len, registered));
        const Py_ssize_t end = PyList_GET_SIZE(live_refs.get());
        if (!added || PyList_SetSlice(live_refs.get(), end, end, added.get()) < 0) {
            traceback("ZSystem._rebuild_arrays");
            return Rebuilt::Failed;
        }
    }
    PyObject* committed = live_refs.get();
    const Py_ssize_t committed_size = PyList_GET_SIZE(committed);
    Ref old_registry = Ref::steal(std::exchange(self->_registered_requests, live_refs.release()));
    Ref old_live = Ref::steal(std::exchange(self->live_requests, live.release()));
    commit_arrays(self, std::move(rects_data), std::move(z_indices), rect_view, z_view);
    // Releasing the old requests may run finalisers that register more.
    old_live.reset();
    old_registry.reset();
    const bool grew = self->_registered_requests == committed && PyList_Check(committed) &&
                      PyList_GET_SIZE(committed) > committed_size;
    return pending || grew ? Rebuilt::Pending : Rebuilt::InSync;
}

// ---- registry ----

// Registers `z_request` (a ZRequest or None) by weak reference and marks the dispatcher dirty.
// May call back into Python (weakref.ref).
int add_body(ZSystemObject* self, PyObject* z_request) noexcept {
    Ref ref = make_weak_ref(z_request);
    if (!ref) {
        return -1;
    }
    Ref registry = Ref::borrow(self->_registered_requests);
    if (registry.get() == Py_None) {
        err::none_attribute("append");
        return -1;
    }
    if (PyList_Append(registry.get(), ref.get()) < 0) {
        return -1;
    }
    self->is_dirty = 1;
    return 0;
}

PyObject* py_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames) noexcept {
    static constexpr const char* names[] = {"z_request"};
    static constexpr ArgSpec spec{"add", names, 1, 1};
    PyObject* z_request = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &z_request) < 0 ||
        check_arg_type(z_request, &ZRequestType, true, "z_request") < 0 ||
        add_body(as_system(self), z_request) < 0) {
        traceback("ZSystem.add");
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* py_mark_dirty(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept {
    if (nargs != 0 || kwnames) {
        if (check_no_args("mark_dirty", nargs, kwnames) < 0) {
            traceback("ZSystem.mark_dirty");
            return nullptr;
        }
    }
    as_system(self)->is_dirty = 1;
    Py_RETURN_NONE;
}

// ---- pickling refusal ----

PyObject* py_reduce(PyObject*, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (check_no_args("__reduce__", nargs, kwnames) == 0) {
        err::no_default_reduce();
    }
    traceback("ZSystem.__reduce__");
    return nullptr;
}

PyObject* py_setstate(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    static constexpr const char* names[] = {"__pyx_state"};
    static constexpr ArgSpec spec{"__setstate__", names, 1, 1};
    PyObject* state = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &state) == 0) {
        err::no_default_reduce();
    }
    traceback("ZSystem.__setstate__");
    return nullptr;
}

// ---- native table ----

void slot_c_mark_dirty(ZSystemObject* self) noexcept {
    self->is_dirty = 1;
}

void slot_reset_arrays(ZSystemObject* self) noexcept {
    (void)reset_arrays(self);
}

void slot_add(ZSystemObject* self, ZRequestObject* z_request, int skip_dispatch) noexcept {
    PyObject* request = reinterpret_cast<PyObject*>(z_request);
    if (should_dispatch(skip_dispatch)) {
        Ref override = find_override(reinterpret_cast<PyObject*>(self), g_names.add, py_add);
        if (override) {
            Ref discarded = Ref::steal(PyObject_CallOneArg(override.get(), request));
            if (!discarded) {
                traceback("ZSystem.add");
            }
            return;
        }
        if (PyErr_Occurred()) {
            traceback("ZSystem.add");
            return;
        }
    }
    if (add_body(self, request) < 0) {
        traceback("ZSystem.add");
    }
}

void slot_rebuild_arrays(ZSystemObject* self) noexcept {
    if (!rebuild_running(self)) {
        (void)rebuild(self);
    }
}

PyObject* slot_mark_dirty(ZSystemObject* self, int skip_dispatch) noexcept {
    if (should_dispatch(skip_dispatch)) {
        Ref override =
            find_override(reinterpret_cast<PyObject*>(self), g_names.mark_dirty, py_mark_dirty);
        if (override || PyErr_Occurred()) {
            PyObject* result = override ? PyObject_CallNoArgs(override.get()) : nullptr;
            if (!result) {
                traceback("ZSystem.mark_dirty");
            }
            return result;
        }
    }
    self->is_dirty = 1;
    Py_RETURN_NONE;
}

// ---- type ----

// Any arguments are accepted and ignored, but keyword names must be strings.
PyObject* system_tp_new(PyTypeObject* type, PyObject*, PyObject* kwargs) noexcept {
    if (check_keyword_strings("__cinit__", kwargs) < 0) {
        traceback("ZSystem.__cinit__");
        return nullptr;
    }
    Ref obj = Ref::steal(type->tp_alloc(type, 0));
    if (!obj) {
        return nullptr;
    }
    ZSystemObject* self = as_system(obj.get());
    self->vtab = &kSystemMethods;
    for (Field field : kFields) {
        self->*field = Py_NewRef(Py_None);
    }
    Ref registry = Ref::steal(PyList_New(0));
    Ref live = Ref::steal(PyList_New(0));
    if (!registry || !live) {
        traceback("ZSystem.__cinit__");
        return nullptr;
    }
    replace_field(self->_registered_requests, std::move(registry));
    replace_field(self->live_requests, std::move(live));
    self->is_dirty = 1;
    if (reset_arrays(self) < 0) {
        traceback("ZSystem.__cinit__");
        return nullptr;
    }
    return obj.release();
}

// The six fields and the arrays the two typed views hold: usually rects_data and z_indices
// themselves, but the views keep theirs after a collector clear.
int system_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    ZSystemObject* system = as_system(self);
    for (Field field : kFields) {
        Py_VISIT(system->*field); // GCOVR_EXCL_BR_LINE: the collector's visit functions return 0
    }
    // GCOVR_EXCL_BR_START: the collector's visit functions return 0
    Py_VISIT(system->rects_view.owner);
    // GCOVR_EXCL_BR_STOP
    Py_VISIT(system->z_view.owner); // GCOVR_EXCL_BR_LINE: the collector's visit functions return 0
    return 0;
}

// Sets the six fields to None; the typed views keep their arrays until destruction. A cycle
// through a view's array is still broken: the collector clears the array's side too.
int system_clear(PyObject* self) noexcept {
    ZSystemObject* system = as_system(self);
    Ref old[std::size(kFields)];
    for (size_t i = 0; i < std::size(kFields); ++i) {
        old[i] = Ref::steal(std::exchange(system->*kFields[i], Py_NewRef(Py_None)));
    }
    return 0;
}

void system_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    ZSystemObject* system = as_system(self);
    for (Field field : kFields) {
        Py_CLEAR(system->*field); // GCOVR_EXCL_BR_LINE: the field is never null here
    }
    release_view(system->rects_view);
    release_view(system->z_view);
    Py_TYPE(self)->tp_free(self);
}

int set_live_requests(PyObject* self, PyObject* value, void*) noexcept {
    if (value && value != Py_None && !PyList_CheckExact(value)) {
        err::expected_got("list", value);
        traceback("ZSystem.live_requests.__set__");
        return -1;
    }
    replace_field(as_system(self)->live_requests, Ref::borrow(value ? value : Py_None));
    return 0;
}

PyObject* get_is_dirty(PyObject* self, void*) noexcept {
    return PyBool_FromLong(as_system(self)->is_dirty);
}

int set_is_dirty(PyObject* self, PyObject* value, void*) noexcept {
    bool flag = false;
    if (!value) {
        err::cannot_delete();
    } else if (to_flag(value, flag) == 0) {
        as_system(self)->is_dirty = flag ? 1 : 0;
        return 0;
    }
    traceback("ZSystem.is_dirty.__set__");
    return -1;
}

constinit PyGetSetDef system_getset[] = {
    {"last_hovered_request", object_field_get, object_field_set,
     "The ZRequest that last received a hover, or None; cycle writes it.\n"
     "\n"
     "Assignment accepts any object; del stores None.\n",
     field_offset<offsetof(ZSystemObject, last_hovered_request)>()},
    {"clicked_request", object_field_get, object_field_set,
     "The ZRequest pressed and not yet released, or None; cycle writes it.\n"
     "\n"
     "While it is set, hover changes wait for the release. Assignment accepts any object; del "
     "stores None.\n",
     field_offset<offsetof(ZSystemObject, clicked_request)>()},
    {"live_requests", object_field_get, set_live_requests,
     "The live ZRequest objects, one per row of the hit arrays, in row order.\n"
     "\n"
     "Reading returns the list itself, not a copy (get_active_requests copies). Assignment "
     "accepts exactly a list or None, else TypeError \"Expected list, got <type>\"; del stores "
     "None. The next rebuild replaces it; until then a list whose length differs from the row "
     "count makes the hit test find nothing.\n",
     field_offset<offsetof(ZSystemObject, live_requests)>()},
    {"is_dirty", get_is_dirty, set_is_dirty,
     "True when the hit arrays may no longer match the registry.\n"
     "\n"
     "add, mark_dirty and a hit on a request whose owner has gone set it; the successful rebuild "
     "at the start of cycle or get_active_requests clears it. Assignment stores the value's "
     "truth value; deleting raises NotImplementedError \"__del__\".\n",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr FunctionDef kSystemFunctions[] = {
    {"add", py_add, FunctionKind::Method, "($self, /, z_request)", nullptr,
     "Registers an input request and marks the dispatcher dirty.\n"
     "\n"
     "The registry holds weakref.ref(z_request). Nothing is checked or rebuilt here: a request "
     "added twice gets two rows, and a request leaves the registry at the first rebuild after it "
     "or its owner is gone, or its owner is marked dead.\n"
     "\n"
     "Args:\n"
     "    z_request: a ZRequest (or subclass).\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    TypeError: z_request is not a ZRequest, or None (which cannot be weakly "
     "referenced).\n"},
    {"mark_dirty", py_mark_dirty, FunctionKind::Method, "($self, /)", nullptr,
     "Marks the dispatcher dirty: the hit arrays are rebuilt before their next use.\n"
     "\n"
     "Owners that move, resize or change their z call it; nothing else notices.\n"
     "\n"
     "Returns:\n"
     "    None.\n"},
    {"get_active_requests", py_get_active_requests, FunctionKind::Method, "($self, /)", nullptr,
     "The live requests, one per row of the hit arrays, as a new list.\n"
     "\n"
     "Rebuilds the hit arrays first when the dispatcher is dirty; changing the list does not "
     "affect the dispatcher.\n"
     "\n"
     "Returns:\n"
     "    list: the live ZRequest objects in row order.\n"
     "\n"
     "Raises:\n"
     "    TypeError: an owner that is not a QuelmCobject, a z value without an integer "
     "conversion (\"an integer is required\"), or live_requests set to None (\"'NoneType' object "
     "is not iterable\").\n"
     "    OverflowError: a z value outside the 32-bit range.\n"
     "    Exception: whatever an owner's get_qmrect or get_param_strict raises. A failed rebuild "
     "changes nothing and leaves the dispatcher dirty.\n"},
    {"cycle", py_cycle, FunctionKind::Method,
     "($self, /, mouse_pos, mouse_down, mouse_up, any_wheel, wheel_down)", nullptr,
     "One frame of input: hit test, then scroll, hover, click and release callbacks.\n"
     "\n"
     "Rebuilds the hit arrays when dirty, then finds the topmost live target under the pointer: "
     "the row with the largest z whose rectangle holds the pointer truncated toward zero "
     "(x <= px < x + w, y <= py < y + h; the earlier row wins a tie). Then, in this order: scroll "
     "on that target when any_wheel; unhover on the previous and hover on the new target when "
     "the target changed and no press is held; click when mouse_down over a target; key-up (over "
     "the pressed target) or key-up-abandon (elsewhere) on the pressed target when mouse_up.\n"
     "\n"
     "Args:\n"
     "    mouse_pos: the pointer position, a QmVector2.\n"
     "    mouse_down: the button went down this frame (truth value).\n"
     "    mouse_up: the button went up this frame (truth value).\n"
     "    any_wheel: the wheel moved this frame (truth value).\n"
     "    wheel_down: the wheel moved downwards (truth value).\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    TypeError: mouse_pos is not a QmVector2 (None only fails once a target is "
     "registered, with AttributeError), or an owner is not a QuelmCobject.\n"
     "    OverflowError: \"value too large to convert to int\" for a coordinate outside the "
     "32-bit range.\n"
     "    Exception: whatever a callback or the rebuild raises ends the cycle; what was done "
     "before it stays done.\n"},
};

constexpr FunctionDef kPickleFunctions[] = {
    {"__reduce__", py_reduce, FunctionKind::Method, "($self, /)", nullptr,
     "Refuses pickling: a dispatcher can be neither pickled nor copied.\n"
     "\n"
     "Raises:\n"
     "    TypeError: always, \"no default __reduce__ due to non-trivial __cinit__\".\n"},
    {"__setstate__", py_setstate, FunctionKind::Method, "($self, /, __pyx_state)", nullptr,
     "Refuses pickling, as __reduce__ does.\n"
     "\n"
     "Args:\n"
     "    __pyx_state: required; not used.\n"
     "\n"
     "Raises:\n"
     "    TypeError: always, with the message of __reduce__.\n"},
};

constexpr PyTypeObject make_system_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.zsystem.zdispatch.ZSystem";
    type.tp_basicsize = sizeof(ZSystemObject);
    type.tp_dealloc = system_dealloc;
    type.tp_flags =
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc =
        "ZSystem(*args, **kwargs)\n--\n\n"
        "The z-ordered input dispatcher: a registry of input requests, their int32 hit arrays "
        "and the per-frame input cycle.\n"
        "\n"
        "The constructor accepts and ignores any arguments. A new dispatcher is dirty and has no "
        "registered request, empty hit arrays, and no hover or press. Dispatchers cannot be "
        "pickled or copied. Python subclasses may override add, mark_dirty, get_active_requests "
        "and cycle; native callers that pass the dispatch flag 0 then reach the override.\n";
    type.tp_traverse = system_traverse;
    type.tp_clear = system_clear;
    type.tp_getset = system_getset;
    type.tp_new = system_tp_new;
    return type;
}

} // namespace

constinit PyTypeObject ZSystemType = make_system_type();

const ZSystemMethods kSystemMethods = {
    slot_c_mark_dirty, slot_reset_arrays,        slot_add,   slot_rebuild_arrays,
    slot_mark_dirty,   slot_get_active_requests, slot_cycle, slot_request_cycle,
};

int refresh_arrays(ZSystemObject* self) noexcept {
    if (!self->is_dirty || rebuild_running(self)) {
        return 0;
    }
    switch (rebuild(self)) {
    case Rebuilt::Failed:
        return -1;
    case Rebuilt::InSync:
        self->is_dirty = 0;
        return 0;
    case Rebuilt::Pending:
        self->is_dirty = 1;
        return 0;
    }
    return 0; // GCOVR_EXCL_LINE: every Rebuilt value returns above
}

int ready_system_type() noexcept {
    return PyType_Ready(&ZSystemType);
}

std::span<const FunctionDef> system_functions() noexcept {
    return kSystemFunctions;
}

std::span<const FunctionDef> system_pickle_functions() noexcept {
    return kPickleFunctions;
}

} // namespace qm::zsystem
