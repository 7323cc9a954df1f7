// Operator surface of QmVector2: arithmetic and in-place arithmetic, equality, hashing, length,
// indexing, the swizzle properties and `sadd`.
#include "quelm_ui/fast/qmvector2/vector_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"

namespace qm::vector2 {
namespace {

constexpr const char* kIndexOutOfRange = "Vector index out of range";

// IndexError "Vector index out of range". Every iteration over a vector ends with it, so the
// message is made once (a process-lifetime reference) rather than per raise.
void raise_index_out_of_range() noexcept {
    // GCOVR_EXCL_BR_START: a static's guard, first use under the interpreter lock
    static PyObject* message = PyUnicode_InternFromString(kIndexOutOfRange);
    // GCOVR_EXCL_BR_STOP
    if (message) [[likely]] {
        PyErr_SetObject(PyExc_IndexError, message);
    } else {
        PyErr_SetString(PyExc_IndexError, kIndexOutOfRange);
    }
}

using PairOp = Vec2 (*)(const Vec2&, const Vec2&) noexcept;
using ScalarOp = Vec2 (*)(const Vec2&, double) noexcept;

// ---- binary operators ----
//
// CPython calls a type's binary slot for `v + 1` and for `1 + v` alike. Each funnel classifies
// the left operand first: when it is not a vector, the vector is the right operand, and having
// no reflected form it declines with NotImplemented.

// `+` and `-`: a vector right operand or the standard TypeError (never NotImplemented, so the
// right operand's reflected method is never tried).
template <PairOp Op>
PyObject* vector_only(PyObject* a, PyObject* b, const char* operation) noexcept {
    if (!is_vector(a)) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    if (require_vector(b, "other") < 0) {
        return fail(operation);
    }
    return new_result(Op(as_vector(a)->data, as_vector(b)->data), operation);
}

// The scalar right operand of `*`, `/` and `//`: 1 with `out` set for an int (bool and
// subclasses included) or a float (subclasses included), 0 for anything else, -1 when the
// conversion fails (an int too large for a double). May call back into Python (__float__ of a
// subclass).
int scalar_operand(PyObject* obj, double& out) noexcept {
    if (PyFloat_CheckExact(obj)) {
        out = PyFloat_AS_DOUBLE(obj);
        return 1;
    }
    if (PyLong_CheckExact(obj)) {
        const double value = PyLong_AsDouble(obj);
        if (value == -1.0 && PyErr_Occurred()) {
            return -1;
        }
        out = value;
        return 1;
    }
    if (PyLong_Check(obj) || PyFloat_Check(obj)) {
        return to_double(obj, out) < 0 ? -1 : 1;
    }
    return 0;
}

// `*`, `/` and `//`: a vector right operand component-wise, an int or float scalar on both
// components, NotImplemented for anything else.
template <PairOp PairFn, ScalarOp ScalarFn>
PyObject* scaling(PyObject* a, PyObject* b, const char* operation) noexcept {
    if (!is_vector(a)) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    if (is_vector(b)) {
        return new_result(PairFn(as_vector(a)->data, as_vector(b)->data), operation);
    }
    double scalar = 0.0;
    const int kind = scalar_operand(b, scalar);
    if (kind == 0) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    if (kind < 0) {
        return fail(operation);
    }
    return new_result(ScalarFn(as_vector(a)->data, scalar), operation);
}

// `+=`, `-=` and `*=`: a vector right operand only; the left vector changes and is returned.
template <PairOp Op>
PyObject* in_place(PyObject* a, PyObject* b, const char* operation) noexcept {
    if (!is_vector(a)) {          // GCOVR_EXCL_BR_LINE: see below
        Py_RETURN_NOTIMPLEMENTED; // GCOVR_EXCL_LINE: in-place slots run on their own type only
    }
    if (require_vector(b, "other") < 0) {
        return fail(operation);
    }
    QmVector2Object* self = as_vector(a);
    self->data = Op(self->data, as_vector(b)->data);
    return Py_NewRef(a);
}

PyObject* vector_nb_add(PyObject* a, PyObject* b) noexcept {
    return vector_only<add>(a, b, "__add__");
}

PyObject* vector_nb_subtract(PyObject* a, PyObject* b) noexcept {
    return vector_only<sub>(a, b, "__sub__");
}

PyObject* vector_nb_multiply(PyObject* a, PyObject* b) noexcept {
    return scaling<mul, scale>(a, b, "__mul__");
}

PyObject* vector_nb_true_divide(PyObject* a, PyObject* b) noexcept {
    return scaling<div, div_scalar>(a, b, "__truediv__");
}

PyObject* vector_nb_floor_divide(PyObject* a, PyObject* b) noexcept {
    return scaling<floor_div, floor_div_scalar>(a, b, "__floordiv__");
}

PyObject* vector_nb_negative(PyObject* self) noexcept {
    return new_result(negate(as_vector(self)->data), "__neg__");
}

PyObject* vector_nb_inplace_add(PyObject* a, PyObject* b) noexcept {
    return in_place<add>(a, b, "__iadd__");
}

PyObject* vector_nb_inplace_subtract(PyObject* a, PyObject* b) noexcept {
    return in_place<sub>(a, b, "__isub__");
}

PyObject* vector_nb_inplace_multiply(PyObject* a, PyObject* b) noexcept {
    return in_place<mul>(a, b, "__imul__");
}

// ---- comparison and hashing ----

// Only == and != exist, and only between vectors; anything else on the other side is a
// TypeError, not False. The interpreter calls this with a vector first, reflected if need be.
PyObject* vector_richcompare(PyObject* self, PyObject* other, int op) noexcept {
    if (op != Py_EQ && op != Py_NE) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    if (require_vector(other, "other") < 0) {
        return fail(op == Py_EQ ? "__eq__" : "__ne__");
    }
    const bool same = equal(as_vector(self)->data, as_vector(other)->data);
    if (same == (op == Py_EQ)) {
        Py_RETURN_TRUE;
    }
    Py_RETURN_FALSE;
}

// CPython's tuple hash (an xxHash-style combination of the item hashes), for two items.
static_assert(sizeof(Py_uhash_t) == 8, "the 64-bit tuple hash constants are used");
constexpr Py_uhash_t kXXPrime1 = 11400714785074694791ULL;
constexpr Py_uhash_t kXXPrime2 = 14029467366897019727ULL;
constexpr Py_uhash_t kXXPrime5 = 2870177450012600261ULL;

Py_uhash_t combine_lane(Py_uhash_t acc, Py_uhash_t lane) noexcept {
    acc += lane * kXXPrime2;
    acc = (acc << 31) | (acc >> 33);
    return acc * kXXPrime1;
}

// hash((x, y)) without building the tuple or the floats. A NaN component hashes by the
// identity of the object holding it, as a float NaN does; here that object is the vector.
// _Py_HashDouble is float's own hash: 3.13 to 3.15 export it, and offer no public equivalent.
Py_hash_t vector_hash(PyObject* self) noexcept {
    const Vec2& value = as_vector(self)->data;
    Py_uhash_t acc = kXXPrime5;
    acc = combine_lane(acc, static_cast<Py_uhash_t>(_Py_HashDouble(self, value.x)));
    acc = combine_lane(acc, static_cast<Py_uhash_t>(_Py_HashDouble(self, value.y)));
    acc += 2 ^ (kXXPrime5 ^ 3527539UL);
    if (acc == static_cast<Py_uhash_t>(-1)) {
        return 1546275796;
    }
    return static_cast<Py_hash_t>(acc);
}

// ---- length and indexing ----

Py_ssize_t vector_length(PyObject*) noexcept {
    return 2;
}

// Component `index` as a new float; anything but 0 and 1 (negative indices included) is out of
// range: nullptr with IndexError, and no traceback entry yet (see the callers).
PyObject* component(PyObject* self, Py_ssize_t index) noexcept {
    const Vec2& value = as_vector(self)->data;
    if (index == 0) {
        return float_result(value.x, "__getitem__");
    }
    if (index == 1) {
        return float_result(value.y, "__getitem__");
    }
    raise_index_out_of_range();
    return nullptr;
}

// The interpreter's index conversion; a magnitude beyond Py_ssize_t clips, so it is simply out
// of range. May call back into Python (__index__).
int index_of(PyObject* key, Py_ssize_t& out) noexcept {
    if (PyLong_CheckExact(key)) [[likely]] {
        PyLongObject* number = reinterpret_cast<PyLongObject*>(key);
        if (PyUnstable_Long_IsCompact(number)) {
            out = PyUnstable_Long_CompactValue(number);
            return 0;
        }
    }
    const Py_ssize_t index = PyNumber_AsSsize_t(key, nullptr);
    if (index == -1 && PyErr_Occurred()) {
        return -1;
    }
    out = index;
    return 0;
}

// Index already converted; the value is converted next and the range tested last, so a bad
// value is reported even for an index out of range. May call back into Python (__float__).
int store_component(PyObject* self, Py_ssize_t index, PyObject* value) noexcept {
    double converted = 0.0;
    if (to_double(value, converted) < 0) {
        traceback("__setitem__");
        return -1;
    }
    Vec2& data = as_vector(self)->data;
    if (index == 0) {
        data.x = converted;
    } else if (index == 1) {
        data.y = converted;
    } else {
        raise_index_out_of_range();
        traceback("__setitem__");
        return -1;
    }
    return 0;
}

int refuse_deletion() noexcept {
    err::subscript_unsupported("deletion", &QmVector2Type);
    traceback("__delitem__");
    return -1;
}

// Reached by iteration and unpacking, which ask for index 2 to learn that the vector ends and
// swallow the IndexError: that signal gets no traceback entry, which would cost far more than
// the rest of `x, y = v`.
PyObject* vector_sq_item(PyObject* self, Py_ssize_t index) noexcept {
    return component(self, index);
}

int vector_sq_ass_item(PyObject* self, Py_ssize_t index, PyObject* value) noexcept {
    if (!value) {
        return refuse_deletion();
    }
    return store_component(self, index, value);
}

PyObject* vector_mp_subscript(PyObject* self, PyObject* key) noexcept {
    Py_ssize_t index = 0;
    if (index_of(key, index) < 0) {
        return fail("__getitem__");
    }
    PyObject* item = component(self, index);
    return item ? item : fail("__getitem__");
}

int vector_mp_ass_subscript(PyObject* self, PyObject* key, PyObject* value) noexcept {
    if (!value) {
        return refuse_deletion();
    }
    Py_ssize_t index = 0;
    if (index_of(key, index) < 0) {
        traceback("__setitem__");
        return -1;
    }
    return store_component(self, index, value);
}

// ---- sadd ----

constexpr const char* kSaddParams[] = {"new_vec", "old_vec"};

// self = old_vec + new_vec; the vector's own previous value takes no part.
PyObject* py_sadd(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"sadd", kSaddParams, 2, 2};
    PyObject* params[2];
    if (parse_args(spec, args, nargs, kwnames, params) < 0 ||
        require_vector(params[0], "new_vec") < 0 || require_vector(params[1], "old_vec") < 0) {
        return fail("sadd");
    }
    as_vector(self)->data = add(as_vector(params[1])->data, as_vector(params[0])->data);
    Py_RETURN_NONE;
}

constexpr FunctionDef kOperatorFunctions[] = {
    {"sadd", py_sadd, FunctionKind::Method, "($self, /, new_vec, old_vec)", nullptr,
     "Sets the vector to old_vec + new_vec, in place; its own previous value takes no part.\n"
     "\n"
     "Args:\n"
     "    new_vec: a QmVector2.\n"
     "    old_vec: a QmVector2.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    TypeError: new_vec or old_vec is not a QmVector2 (None included); the vector is "
     "unchanged.\n"},
};

PyNumberMethods vector_as_number = [] {
    PyNumberMethods methods{};
    methods.nb_add = vector_nb_add;
    methods.nb_subtract = vector_nb_subtract;
    methods.nb_multiply = vector_nb_multiply;
    methods.nb_negative = vector_nb_negative;
    methods.nb_inplace_add = vector_nb_inplace_add;
    methods.nb_inplace_subtract = vector_nb_inplace_subtract;
    methods.nb_inplace_multiply = vector_nb_inplace_multiply;
    methods.nb_floor_divide = vector_nb_floor_divide;
    methods.nb_true_divide = vector_nb_true_divide;
    return methods;
}();

PySequenceMethods vector_as_sequence = [] {
    PySequenceMethods methods{};
    methods.sq_length = vector_length;
    methods.sq_item = vector_sq_item;
    methods.sq_ass_item = vector_sq_ass_item;
    return methods;
}();

PyMappingMethods vector_as_mapping = [] {
    PyMappingMethods methods{};
    methods.mp_length = vector_length;
    methods.mp_subscript = vector_mp_subscript;
    methods.mp_ass_subscript = vector_mp_ass_subscript;
    return methods;
}();

} // namespace

void install_operator_slots(PyTypeObject& type) noexcept {
    type.tp_as_number = &vector_as_number;
    type.tp_as_sequence = &vector_as_sequence;
    type.tp_as_mapping = &vector_as_mapping;
    type.tp_richcompare = vector_richcompare;
    type.tp_hash = vector_hash;
}

PyObject* get_xx(PyObject* self, void*) noexcept {
    const Vec2& value = as_vector(self)->data;
    return new_result(Vec2{value.x, value.x}, "xx.__get__");
}

PyObject* get_yy(PyObject* self, void*) noexcept {
    const Vec2& value = as_vector(self)->data;
    return new_result(Vec2{value.y, value.y}, "yy.__get__");
}

PyObject* get_xy(PyObject* self, void*) noexcept {
    return new_result(as_vector(self)->data, "xy.__get__");
}

PyObject* get_yx(PyObject* self, void*) noexcept {
    const Vec2& value = as_vector(self)->data;
    return new_result(Vec2{value.y, value.x}, "yx.__get__");
}

std::span<const FunctionDef> operator_functions() noexcept {
    return kOperatorFunctions;
}

} // namespace qm::vector2
