// The per-frame input cycle of ZSystem: the hit test with scroll delivery (request_cycle), the
// hover and press state machines (cycle) and get_active_requests.
#include "quelm_ui/fast/zsystem/zsystem_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/dispatch.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/zsystem/hit_test.hpp"

#include <cstdint>

namespace qm::zsystem {
namespace {

bool in_int32_range(double value) noexcept {
    return value > -2147483649.0 && value < 2147483648.0;
}

// int() of mouse_pos.<axis> (an interned name), narrowed to a signed 32-bit integer. May call
// back into Python.
int pointer_axis(PyObject* mouse_pos, PyObject* axis, int32_t& out) noexcept {
    Ref value = Ref::steal(PyObject_GetAttr(mouse_pos, axis));
    Ref number = value ? Ref::steal(PyNumber_Long(value.get())) : Ref();
    return number ? to_int32(number.get(), out) : -1;
}

// The pointer position truncated toward zero, x before y. An exact QmVector2 (whose properties
// return its doubles unchanged) is read in place when both fit; anything else goes through its
// `x` and `y` attributes and int(). May call back into Python.
[[gnu::always_inline]] inline int pointer_position(PyObject* mouse_pos, int32_t& mx,
                                                   int32_t& my) noexcept {
    if (Py_IS_TYPE(mouse_pos, g_imported.vector_type)) {
        const vector2::qm_vector2_t& data =
            reinterpret_cast<vector2::QmVector2Object*>(mouse_pos)->data;
        if (in_int32_range(data.x) && in_int32_range(data.y)) {
            mx = static_cast<int32_t>(data.x);
            my = static_cast<int32_t>(data.y);
            return 0;
        }
    }
    if (pointer_axis(mouse_pos, g_names.x, mx) < 0 || pointer_axis(mouse_pos, g_names.y, my) < 0) {
        return -1;
    }
    return 0;
}

// Calls a stored callback by the two-stage protocol: the callable with no arguments, then its
// result (when not None) with no arguments. May call back into Python.
int invoke(PyObject* callback) noexcept {
    Ref func = Ref::borrow(callback);
    Ref handler = Ref::steal(PyObject_CallNoArgs(func.get()));
    if (!handler) {
        return -1;
    }
    if (handler.get() != Py_None) {
        Ref discarded = Ref::steal(PyObject_CallNoArgs(handler.get()));
        if (!discarded) {
            return -1;
        }
    }
    return 0;
}

// Invokes the callback in `field` of `request` unless it is None. May call back into Python.
int invoke_field(PyObject* request, PyObject* ZRequestObject::*field) noexcept {
    PyObject* callback = as_request(request)->*field;
    return callback == Py_None ? 0 : invoke(callback);
}

// The scroll protocol: the stored callable with no arguments, then its result with
// (BindType.Scroll, wheel_down). May call back into Python.
int deliver_scroll(PyObject* callback, bool wheel_down) noexcept {
    Ref func = Ref::borrow(callback);
    Ref handler = Ref::steal(PyObject_CallNoArgs(func.get()));
    Ref bind_type = handler ? module_global(g_names.bind_type) : Ref();
    Ref scroll = bind_type ? Ref::steal(PyObject_GetAttr(bind_type.get(), g_names.scroll)) : Ref();
    if (!scroll) {
        return -1;
    }
    PyObject* args[] = {scroll.get(), wheel_down ? Py_True : Py_False};
    Ref discarded = Ref::steal(PyObject_Vectorcall(handler.get(), args, 2, nullptr));
    return discarded ? 0 : -1;
}

// The topmost live request under the pointer (None when there is none), after delivering the
// scroll to it. Every element of live_requests it uses is checked to be a ZRequest. May call
// back into Python (owner links, the scroll callback).
[[gnu::always_inline]] inline Ref request_cycle_body(ZSystemObject* self, PyObject* mouse_pos,
                                                     bool any_wheel, bool wheel_down) noexcept {
    PyObject* current_live = self->live_requests;
    if (current_live == Py_None || PyList_GET_SIZE(current_live) == 0) {
        return Ref::borrow(Py_None);
    }
    int32_t mx = 0;
    int32_t my = 0;
    if (pointer_position(mouse_pos, mx, my) < 0) {
        return Ref();
    }
    // Read again: the pointer's conversion may have run Python code.
    PyObject* live_now = self->live_requests;
    const Py_ssize_t n = self->rects_view.shape[0];
    if (live_now == Py_None || !self->rects_view.owner || !self->z_view.owner || n == 0 ||
        n != PyList_GET_SIZE(live_now) || self->z_view.shape[0] < n) {
        return Ref::borrow(Py_None);
    }
    const HitRows rows{reinterpret_cast<const int32_t*>(self->rects_view.data),
                       reinterpret_cast<const int32_t*>(self->z_view.data), n};
    const ptrdiff_t first = next_candidate(rows, mx, my, INT32_MIN, 0);
    if (first < 0) {
        return Ref::borrow(Py_None);
    }
    // Owner links may run Python code from here on, which may replace the fields or change the
    // list: the scan holds the list and both arrays.
    Ref live = Ref::borrow(live_now);
    Ref rects_owner = Ref::borrow(self->rects_view.owner);
    Ref z_owner = Ref::borrow(self->z_view.owner);
    int32_t best_z = INT32_MIN;
    Ref winner;
    for (ptrdiff_t i = first; i >= 0 && i < PyList_GET_SIZE(live.get());
         i = next_candidate(rows, mx, my, best_z, i + 1)) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        Ref request = Ref::borrow(PyList_GET_ITEM(live.get(), i));
        // GCOVR_EXCL_BR_STOP
        if (check_request(request.get()) < 0) {
            return Ref();
        }
        Ref owner = request_link(request.as<ZRequestObject>());
        if (!owner || check_owner(owner.get()) < 0) {
            return Ref();
        }
        if (owner.get() == Py_None) {
            self->is_dirty = 1;
            continue;
        }
        best_z = rows.z[i];
        winner = std::move(request);
    }
    if (!winner) {
        return Ref::borrow(Py_None);
    }
    PyObject* scroll = as_request(winner.get())->on_scroll_func;
    if (any_wheel && scroll != Py_None && deliver_scroll(scroll, wheel_down) < 0) {
        return Ref();
    }
    return winner;
}

// The release step: key-up or key-up-abandon on the pressed request while its owner lives,
// then the press is cleared. May call back into Python.
int release_press(ZSystemObject* self, PyObject* current) noexcept {
    Ref clicked = Ref::steal(Py_NewRef(self->clicked_request)); // never null: None when unset
    if (check_request(clicked.get()) < 0) {
        return -1;
    }
    Ref owner = request_link(as_request(clicked.get()));
    if (!owner || check_owner(owner.get()) < 0) {
        return -1;
    }
    if (owner.get() != Py_None) {
        auto field = current == clicked.get() ? &ZRequestObject::on_keyup_func
                                              : &ZRequestObject::on_keyup_abandon_func;
        if (invoke_field(clicked.get(), field) < 0) {
            return -1;
        }
    }
    replace_field(self->clicked_request, Ref::borrow(Py_None));
    return 0;
}

// Hover transitions while no press is recorded: unhover the previous target, hover the new
// one, then remember it. May call back into Python.
int update_hover(ZSystemObject* self, PyObject* current) noexcept {
    Ref last = Ref::steal(Py_NewRef(self->last_hovered_request)); // never null: None when unset
    if (last.get() != Py_None) {
        if (check_request(last.get()) < 0 ||
            invoke_field(last.get(), &ZRequestObject::on_unhover_func) < 0) {
            return -1;
        }
    }
    if (current != Py_None && invoke_field(current, &ZRequestObject::on_hover_func) < 0) {
        return -1;
    }
    replace_field(self->last_hovered_request, Ref::borrow(current));
    return 0;
}

PyObject* failed(const char* operation) noexcept {
    traceback(operation);
    return nullptr;
}

// One frame. The caller holds a reference to `self` for the whole call. May call back into
// Python (the rebuild, owner links, every callback).
[[gnu::always_inline]] inline Ref cycle_body(ZSystemObject* self, PyObject* mouse_pos,
                                             bool mouse_down, bool mouse_up, bool any_wheel,
                                             bool wheel_down) noexcept {
    if (self->is_dirty && refresh_arrays(self) < 0) {
        traceback("ZSystem.cycle");
        return Ref();
    }
    Ref current = request_cycle_body(self, mouse_pos, any_wheel, wheel_down);
    if (!current) {
        traceback("ZSystem.request_cycle");
        traceback("ZSystem.cycle");
        return Ref();
    }
    if (self->clicked_request == Py_None && current.get() != self->last_hovered_request &&
        update_hover(self, current.get()) < 0) {
        traceback("ZSystem.cycle");
        return Ref();
    }
    if (mouse_down && current.get() != Py_None) {
        replace_field(self->clicked_request, Ref::borrow(current.get()));
        if (invoke_field(current.get(), &ZRequestObject::on_click_func) < 0) {
            traceback("ZSystem.cycle");
            return Ref();
        }
    }
    if (mouse_up && self->clicked_request != Py_None && release_press(self, current.get()) < 0) {
        traceback("ZSystem.cycle");
        return Ref();
    }
    return Ref::borrow(Py_None);
}

} // namespace

Ref get_active_requests_body(ZSystemObject* self) noexcept {
    Ref keep_alive = Ref::borrow(reinterpret_cast<PyObject*>(self));
    Ref result;
    if (refresh_arrays(self) == 0) {
        Ref live = Ref::borrow(self->live_requests);
        result = Ref::steal(PySequence_List(live.get()));
    }
    if (!result) {
        traceback("ZSystem.get_active_requests");
    }
    return result;
}

PyObject* py_cycle(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept {
    static constexpr const char* names[] = {"mouse_pos", "mouse_down", "mouse_up", "any_wheel",
                                            "wheel_down"};
    static constexpr ArgSpec spec{"cycle", names, 5, 5};
    PyObject* parsed[5];
    PyObject* const* params = args;
    if (nargs != 5 || kwnames) {
        if (parse_args(spec, args, nargs, kwnames, parsed) < 0) {
            return failed("ZSystem.cycle");
        }
        params = parsed;
    }
    // The flags are converted before the type of mouse_pos is checked.
    bool mouse_down = false;
    bool mouse_up = false;
    bool any_wheel = false;
    bool wheel_down = false;
    if (to_flag(params[1], mouse_down) < 0 || to_flag(params[2], mouse_up) < 0 ||
        to_flag(params[3], any_wheel) < 0 || to_flag(params[4], wheel_down) < 0) {
        return failed("ZSystem.cycle");
    }
    if (!Py_IS_TYPE(params[0], g_imported.vector_type) &&
        check_arg_type(params[0], g_imported.vector_type, true, "mouse_pos") < 0) {
        return failed("ZSystem.cycle");
    }
    return cycle_body(as_system(self), params[0], mouse_down, mouse_up, any_wheel, wheel_down)
        .release();
}

PyObject* py_get_active_requests(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
    if (check_no_args("get_active_requests", nargs, kwnames) < 0) {
        return failed("ZSystem.get_active_requests");
    }
    return get_active_requests_body(as_system(self)).release();
}

PyObject* slot_cycle(ZSystemObject* self, vector2::QmVector2Object* mouse_pos, int mouse_down,
                     int mouse_up, int any_wheel, int wheel_down, int skip_dispatch) noexcept {
    PyObject* pos = reinterpret_cast<PyObject*>(mouse_pos);
    if (should_dispatch(skip_dispatch)) {
        Ref override = find_override(reinterpret_cast<PyObject*>(self), g_names.cycle, py_cycle);
        if (override) {
            PyObject* args[] = {pos, mouse_down ? Py_True : Py_False, mouse_up ? Py_True : Py_False,
                                any_wheel ? Py_True : Py_False, wheel_down ? Py_True : Py_False};
            PyObject* result = PyObject_Vectorcall(override.get(), args, 5, nullptr);
            return result ? result : failed("ZSystem.cycle");
        }
        if (PyErr_Occurred()) {
            return failed("ZSystem.cycle");
        }
    }
    Ref keep_alive = Ref::borrow(reinterpret_cast<PyObject*>(self));
    return cycle_body(self, pos, mouse_down != 0, mouse_up != 0, any_wheel != 0, wheel_down != 0)
        .release();
}

ZRequestObject* slot_request_cycle(ZSystemObject* self, vector2::QmVector2Object* mouse_pos,
                                   int any_wheel, int wheel_down) noexcept {
    Ref keep_alive = Ref::borrow(reinterpret_cast<PyObject*>(self));
    Ref winner = request_cycle_body(self, reinterpret_cast<PyObject*>(mouse_pos), any_wheel != 0,
                                    wheel_down != 0);
    if (!winner) {
        traceback("ZSystem.request_cycle");
    }
    return reinterpret_cast<ZRequestObject*>(winner.release());
}

PyObject* slot_get_active_requests(ZSystemObject* self, int skip_dispatch) noexcept {
    if (should_dispatch(skip_dispatch)) {
        Ref override = find_override(reinterpret_cast<PyObject*>(self), g_names.get_active_requests,
                                     py_get_active_requests);
        if (override) {
            Ref result = Ref::steal(PyObject_CallNoArgs(override.get()));
            if (result && result.get() != Py_None && !PyList_CheckExact(result.get())) {
                err::expected_got("list", result.get());
                result.reset();
            }
            return result ? result.release() : failed("ZSystem.get_active_requests");
        }
        if (PyErr_Occurred()) {
            return failed("ZSystem.get_active_requests");
        }
    }
    return get_active_requests_body(self).release();
}

} // namespace qm::zsystem
