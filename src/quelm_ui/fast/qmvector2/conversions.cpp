// Conversions of QmVector2: the to_/get_ pairs (to_ changes the vector and returns it, get_
// returns a new one), tuples, pygame vectors, copying, repr and the refusal to pickle.
#include "quelm_ui/fast/qmvector2/vector_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"

#include <memory>

namespace qm::vector2 {
namespace {

constexpr const char* kPicklingRefused = "Pickling of struct members such as self.data must be "
                                         "explicitly requested with @auto_pickle(True)";

// Interpreter objects captured when the module executes; an exec that runs again after a
// failed one replaces them. Strong references that live as long as the process, but for
// `g_globals`, which a failed initialisation drops (null: `md` is not defined).
PyObject* g_round = nullptr;    // the built-in `round`, as it was at import
PyObject* g_builtins = nullptr; // the builtins module, second place a global is looked up
PyObject* g_globals = nullptr;  // this module's dictionary, where the global `md` lives

using UnaryOp = Vec2 (*)(const Vec2&) noexcept;

// The to_ form of a pair: the vector changes in place and is returned.
PyObject* update_in_place(PyObject* self, Py_ssize_t nargs, PyObject* kwnames, const char* name,
                          UnaryOp op) noexcept {
    if (no_args(name, nargs, kwnames) < 0) {
        return fail(name);
    }
    Vec2& data = as_vector(self)->data;
    data = op(data);
    return Py_NewRef(self);
}

// The get_ form of a pair: a new vector, the vector itself unchanged.
PyObject* updated_copy(PyObject* self, Py_ssize_t nargs, PyObject* kwnames, const char* name,
                       UnaryOp op) noexcept {
    if (no_args(name, nargs, kwnames) < 0) {
        return fail(name);
    }
    return new_result(op(as_vector(self)->data), name);
}

Vec2 unchanged(const Vec2& value) noexcept {
    return value;
}

PyObject* py_to_int(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
    return update_in_place(self, nargs, kwnames, "to_int", truncate);
}

PyObject* py_get_int(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    return updated_copy(self, nargs, kwnames, "get_int", truncate);
}

PyObject* py_to_abs(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
    return update_in_place(self, nargs, kwnames, "to_abs", absolute);
}

PyObject* py_get_abs(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    return updated_copy(self, nargs, kwnames, "get_abs", absolute);
}

PyObject* py_to_neg(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
    return update_in_place(self, nargs, kwnames, "to_neg", negate);
}

PyObject* py_get_neg(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    return updated_copy(self, nargs, kwnames, "get_neg", negate);
}

PyObject* py_copy(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return updated_copy(self, nargs, kwnames, "copy", unchanged);
}

PyObject* py_dunder_copy(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
    return updated_copy(self, nargs, kwnames, "__copy__", unchanged);
}

constexpr const char* kMemoParam[] = {"memo"};

// `memo` is required but neither read nor updated: a vector holds no references to share.
PyObject* py_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"__deepcopy__", kMemoParam, 1, 1};
    PyObject* memo = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &memo) < 0) {
        return fail("__deepcopy__");
    }
    return new_result(as_vector(self)->data, "__deepcopy__");
}

// ---- rounding through the built-in round ----

// round(value) with the captured built-in, converted back to a double: ties go to even and the
// sign of a zero is lost. OverflowError for an infinity, ValueError for a NaN.
int rounded(double value, double& out) noexcept {
    Ref number = Ref::steal(PyFloat_FromDouble(value));
    if (!number) {
        return -1;
    }
    Ref result = Ref::steal(PyObject_CallOneArg(g_round, number.get()));
    if (!result) {
        return -1;
    }
    return to_double(result.get(), out);
}

// x is rounded and stored before y is rounded: when y fails, x keeps its new value.
PyObject* py_to_round(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    if (no_args("to_round", nargs, kwnames) < 0) {
        return fail("to_round");
    }
    Vec2& data = as_vector(self)->data;
    double component = 0.0;
    if (rounded(data.x, component) < 0) {
        return fail("to_round");
    }
    data.x = component;
    if (rounded(data.y, component) < 0) {
        return fail("to_round");
    }
    data.y = component;
    return Py_NewRef(self);
}

PyObject* py_get_round(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    if (no_args("get_round", nargs, kwnames) < 0) {
        return fail("get_round");
    }
    const Vec2& data = as_vector(self)->data;
    Vec2 value{};
    if (rounded(data.x, value.x) < 0 || rounded(data.y, value.y) < 0) {
        return fail("get_round");
    }
    return new_result(value, "get_round");
}

// ---- tuples and pygame ----

// A new 2-tuple that takes over both references, or nullptr when either is missing.
PyObject* pair_tuple(Ref first, Ref second) noexcept {
    if (!first || !second) {
        return nullptr;
    }
    PyObject* tuple = PyTuple_New(2);
    if (tuple) {
        PyTuple_SET_ITEM(tuple, 0, first.release());
        PyTuple_SET_ITEM(tuple, 1, second.release());
    }
    return tuple;
}

PyObject* py_to_tuple(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    if (no_args("to_tuple", nargs, kwnames) < 0) {
        return fail("to_tuple");
    }
    const Vec2& data = as_vector(self)->data;
    PyObject* tuple =
        pair_tuple(Ref::steal(PyFloat_FromDouble(data.x)), Ref::steal(PyFloat_FromDouble(data.y)));
    return tuple ? tuple : fail("to_tuple");
}

PyObject* py_get_int_tuple(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
    if (no_args("get_int_tuple", nargs, kwnames) < 0) {
        return fail("get_int_tuple");
    }
    PyObject* tuple = int_tuple(as_vector(self)->data);
    return tuple ? tuple : fail("get_int_tuple");
}

// The module global `md`: this module's globals first, then the built-ins, else NameError.
// Returns a new reference.
Ref module_global_md() noexcept {
    PyObject* found = nullptr;
    // GCOVR_EXCL_START: only a failed import drops it, and that leaves no vector behind
    if (!g_globals) {
        err::name_not_defined(g_names.md);
        return Ref();
    }
    // GCOVR_EXCL_STOP
    if (PyDict_GetItemRef(g_globals, g_names.md, &found) != 0) {
        return Ref::steal(found);
    }
    if (PyObject_GetOptionalAttr(g_builtins, g_names.md, &found) == 0) {
        err::name_not_defined(g_names.md);
    }
    return Ref::steal(found);
}

// md.pygame.Vector2(x, y). May call back into Python (the lookups import pygame lazily).
PyObject* py_to_pygame(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    if (no_args("to_pygame", nargs, kwnames) < 0) {
        return fail("to_pygame");
    }
    Ref md = module_global_md();
    if (!md) {
        return fail("to_pygame");
    }
    Ref pygame = Ref::steal(PyObject_GetAttr(md.get(), g_names.pygame));
    Ref vector_class = pygame ? Ref::steal(PyObject_GetAttr(pygame.get(), g_names.vector2)) : Ref();
    if (!vector_class) {
        return fail("to_pygame");
    }
    const Vec2& data = as_vector(self)->data;
    Ref x = Ref::steal(PyFloat_FromDouble(data.x));
    Ref y = Ref::steal(PyFloat_FromDouble(data.y));
    if (!x || !y) {
        return fail("to_pygame");
    }
    PyObject* call_args[] = {x.get(), y.get()};
    PyObject* result = PyObject_Vectorcall(vector_class.get(), call_args, 2, nullptr);
    return result ? result : fail("to_pygame");
}

// ---- pickling is refused ----

PyObject* py_reduce(PyObject*, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (no_args("__reduce__", nargs, kwnames) == 0) {
        PyErr_SetString(PyExc_TypeError, kPicklingRefused);
    }
    return fail("__reduce__");
}

constexpr const char* kStateParam[] = {"state"};

PyObject* py_setstate(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"__setstate__", kStateParam, 1, 1};
    PyObject* state = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &state) == 0) {
        PyErr_SetString(PyExc_TypeError, kPicklingRefused);
    }
    return fail("__setstate__");
}

// ---- repr ----

using DoubleText = std::unique_ptr<char, decltype(&PyMem_Free)>;

// The text Python writes for a float: shortest round-trip digits, ".0" added to integers.
DoubleText float_text(double value) noexcept {
    return DoubleText(PyOS_double_to_string(value, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr), PyMem_Free);
}

PyObject* vector_repr(PyObject* self) noexcept {
    const Vec2& data = as_vector(self)->data;
    DoubleText x = float_text(data.x);
    DoubleText y = float_text(data.y);
    PyObject* text = nullptr;
    if (x && y) {
        text = PyUnicode_FromFormat("QmVector2(%s, %s)", x.get(), y.get());
    }
    return text ? text : fail("__repr__");
}

constexpr FunctionDef kConversionFunctions[] = {
    {"to_int", py_to_int, FunctionKind::Method, "($self, /)", "QmVector2",
     "Truncates both components toward zero, in place.\n"
     "\n"
     "The values stay doubles and no integer range is involved: (2.7, -2.7) becomes (2.0, -2.0), "
     "-0.5 becomes -0.0 and 1e300 stays 1e300.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the vector itself.\n"},
    {"get_int", py_get_int, FunctionKind::Method, "($self, /)", "QmVector2",
     "A new vector with both components truncated toward zero (as to_int); this one is "
     "unchanged.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the new vector.\n"},
    {"to_round", py_to_round, FunctionKind::Method, "($self, /)", "QmVector2",
     "Rounds x, then y, with the built-in round, in place.\n"
     "\n"
     "Halves go to the even neighbour (0.5 becomes 0.0, 1.5 and 2.5 become 2.0) and a zero result "
     "is +0.0 (-0.4 becomes 0.0).\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the vector itself.\n"
     "\n"
     "Raises:\n"
     "    OverflowError: a component is infinite (when only y is, x stays rounded).\n"
     "    ValueError: a component is NaN (likewise).\n"},
    {"get_round", py_get_round, FunctionKind::Method, "($self, /)", "QmVector2",
     "A new vector with both components rounded (as to_round); this one is unchanged.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the new vector.\n"
     "\n"
     "Raises:\n"
     "    OverflowError: a component is infinite.\n"
     "    ValueError: a component is NaN.\n"},
    {"to_abs", py_to_abs, FunctionKind::Method, "($self, /)", "QmVector2",
     "Clears the sign bit of both components, in place (-0.0 becomes 0.0).\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the vector itself.\n"},
    {"get_abs", py_get_abs, FunctionKind::Method, "($self, /)", "QmVector2",
     "A new vector with the absolute values of both components (as to_abs).\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the new vector.\n"},
    {"to_neg", py_to_neg, FunctionKind::Method, "($self, /)", "QmVector2",
     "Flips the sign bit of both components, in place (0.0 becomes -0.0).\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the vector itself.\n"},
    {"get_neg", py_get_neg, FunctionKind::Method, "($self, /)", "QmVector2",
     "A new vector with the sign of both components flipped (as to_neg and unary minus).\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the new vector.\n"},
    {"to_tuple", py_to_tuple, FunctionKind::Method, "($self, /)", "tuple[float, float]",
     "The components as a tuple of two floats.\n"
     "\n"
     "Returns:\n"
     "    tuple[float, float]: (x, y).\n"},
    {"get_int_tuple", py_get_int_tuple, FunctionKind::Method, "($self, /)", "tuple[int, int]",
     "The components truncated toward zero to 32-bit signed integers, as a tuple of two ints.\n"
     "\n"
     "Components are expected within -2147483648..2147483647; for one outside that range, or "
     "NaN, the result is unspecified (no error is raised).\n"
     "\n"
     "Returns:\n"
     "    tuple[int, int]: (int(x), int(y)).\n"},
    {"to_pygame", py_to_pygame, FunctionKind::Method, "($self, /)", nullptr,
     "The vector as a pygame Vector2.\n"
     "\n"
     "Calls md.pygame.Vector2(x, y), where md is this module's global (the toolkit's "
     "quelm_ui.core.modules), looked up on every call.\n"
     "\n"
     "Returns:\n"
     "    What md.pygame.Vector2 returns.\n"
     "\n"
     "Raises:\n"
     "    NameError: \"name 'md' is not defined\" once the global md was deleted.\n"
     "    AttributeError: md has no pygame, or pygame no Vector2.\n"},
    {"copy", py_copy, FunctionKind::Method, "($self, /)", nullptr,
     "A new vector equal to this one.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the copy.\n"},
    {"__copy__", py_dunder_copy, FunctionKind::Method, "($self, /)", "QmVector2",
     "A new vector equal to this one: what copy.copy returns.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the copy.\n"},
    {"__deepcopy__", py_deepcopy, FunctionKind::Method, "($self, /, memo)", "QmVector2",
     "A new vector equal to this one: what copy.deepcopy returns.\n"
     "\n"
     "Args:\n"
     "    memo: required (positionally or by keyword); neither read nor updated.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the copy.\n"},
    {"__reduce__", py_reduce, FunctionKind::Method, "($self, /)", nullptr,
     "Refuses pickling: vectors cannot be pickled (copy.copy and copy.deepcopy work).\n"
     "\n"
     "Raises:\n"
     "    TypeError: always, \"Pickling of struct members such as self.data must be explicitly "
     "requested with @auto_pickle(True)\".\n"},
    {"__setstate__", py_setstate, FunctionKind::Method, "($self, /, state)", nullptr,
     "Refuses pickling, as __reduce__ does.\n"
     "\n"
     "Args:\n"
     "    state: required; not used.\n"
     "\n"
     "Raises:\n"
     "    TypeError: always, with the message of __reduce__.\n"},
};

} // namespace

PyObject* int_tuple(const Vec2& value) noexcept {
    return pair_tuple(Ref::steal(PyLong_FromLong(truncate_to_int32(value.x))),
                      Ref::steal(PyLong_FromLong(truncate_to_int32(value.y))));
}

void install_conversion_slots(PyTypeObject& type) noexcept {
    type.tp_repr = vector_repr;
}

int exec_conversions(PyObject* module) noexcept {
    Ref builtins = Ref::steal(PyImport_ImportModule("builtins"));
    Ref round = builtins ? Ref::steal(PyObject_GetAttrString(builtins.get(), "round")) : Ref();
    PyObject* globals = PyModule_GetDict(module);
    if (!round || !globals) { // GCOVR_EXCL_BR_LINE: a module always has a dict
        return -1;
    }
    replace_field(g_builtins, std::move(builtins));
    replace_field(g_round, std::move(round));
    replace_field(g_globals, Ref::borrow(globals));
    return 0;
}

void release_module_dict() noexcept {
    Py_CLEAR(g_globals);
}

std::span<const FunctionDef> conversion_functions() noexcept {
    return kConversionFunctions;
}

} // namespace qm::vector2
