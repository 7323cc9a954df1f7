// The static factories of QmVector2 and the native method table that other modules call.
#include "quelm_ui/fast/qmvector2/vector_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"

namespace qm::vector2 {
namespace {

PyObject* boxed(QmVector2Object* vector) noexcept {
    return reinterpret_cast<PyObject*>(vector);
}

// Both components from a list or tuple with at least two items; fewer items give IndexError.
// May call back into Python (__float__).
QmVector2Object* vector_from_sequence(PyObject* seq) noexcept {
    Vec2 value{};
    if (sequence_pair(seq, value) < 0) {
        return nullptr;
    }
    return make_vector(value);
}

double widened_float32(double value) noexcept {
    return static_cast<double>(static_cast<float>(value));
}

// ---- native table ----

QmVector2Object* slot_new(double x, double y) noexcept {
    return make_vector(Vec2{x, y});
}

QmVector2Object* slot_cfrom_list(PyObject* list) noexcept {
    QmVector2Object* result = vector_from_sequence(list);
    if (!result) {
        traceback("cfrom_list");
    }
    return result;
}

QmVector2Object* slot_cfrom_ints(int32_t x, int32_t y) noexcept {
    return make_vector(Vec2{static_cast<double>(x), static_cast<double>(y)});
}

QmVector2Object* slot_cfrom_floats(float x, float y) noexcept {
    return make_vector(Vec2{static_cast<double>(x), static_cast<double>(y)});
}

QmVector2Object* slot_cfrom_tuple(PyObject* tuple) noexcept {
    QmVector2Object* result = vector_from_sequence(tuple);
    if (!result) {
        traceback("cfrom_tuple");
    }
    return result;
}

QmVector2Object* slot_cfrom_qmvector2(QmVector2Object* other) noexcept {
    return make_vector(other->data);
}

// The same tuple as get_int_tuple().
PyObject* slot_c_get_int_tuple(QmVector2Object* self) noexcept {
    PyObject* tuple = int_tuple(self->data);
    if (!tuple) {
        traceback("c_get_int_tuple");
    }
    return tuple;
}

QmVector2Object* slot_add(QmVector2Object* self, QmVector2Object* other) noexcept {
    return make_vector(add(self->data, other->data));
}

QmVector2Object* slot_sub(QmVector2Object* self, QmVector2Object* other) noexcept {
    return make_vector(sub(self->data, other->data));
}

void slot_iadd(QmVector2Object* self, QmVector2Object* other) noexcept {
    self->data = add(self->data, other->data);
}

void slot_isub(QmVector2Object* self, QmVector2Object* other) noexcept {
    self->data = sub(self->data, other->data);
}

void slot_imul(QmVector2Object* self, QmVector2Object* other) noexcept {
    self->data = mul(self->data, other->data);
}

void slot_sadd_unchecked(QmVector2Object* self, QmVector2Object* new_vec,
                         QmVector2Object* old_vec) noexcept {
    self->data = add(old_vec->data, new_vec->data);
}

QmVector2Object* slot_copy(QmVector2Object* self, int) noexcept {
    QmVector2Object* result = make_vector(self->data);
    if (!result) {
        traceback("copy");
    }
    return result;
}

void slot_sadd(QmVector2Object* self, QmVector2Object* new_vec, QmVector2Object* old_vec,
               int) noexcept {
    self->data = add(old_vec->data, new_vec->data);
    if (PyErr_Occurred()) { // GCOVR_EXCL_BR_LINE: see below
        traceback("sadd");  // GCOVR_EXCL_LINE: the sum cannot fail; only an error already pending
    }
}

// ---- Python-visible factories ----

constexpr const char* kOtherParam[] = {"other"};
constexpr const char* kXYParams[] = {"x", "y"};

// Parses the single `other` parameter of a factory and checks it is exactly `type` (no None).
PyObject* parse_other(const ArgSpec& spec, PyTypeObject* type, PyObject* const* args,
                      Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* other = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &other) < 0 ||
        check_arg_type(other, type, false, "other") < 0) {
        return nullptr;
    }
    return other;
}

PyObject* py_from_qmvector2(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"from_qmvector2", kOtherParam, 1, 1};
    PyObject* other = parse_other(spec, &QmVector2Type, args, nargs, kwnames);
    if (!other) {
        traceback("from_qmvector2");
        return nullptr;
    }
    return boxed(make_vector(as_vector(other)->data));
}

// from_tuple / from_list: exactly the container type, not None, not a subclass.
PyObject* from_container(const ArgSpec& spec, PyTypeObject* type, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* other = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &other) == 0) {
        if (!Py_IS_TYPE(other, type)) {
            err::arg_type("other", type->tp_name, other);
        } else if (QmVector2Object* result = vector_from_sequence(other)) {
            return boxed(result);
        }
    }
    traceback(spec.func);
    return nullptr;
}

PyObject* py_from_tuple(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"from_tuple", kOtherParam, 1, 1};
    return from_container(spec, &PyTuple_Type, args, nargs, kwnames);
}

PyObject* py_from_list(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"from_list", kOtherParam, 1, 1};
    return from_container(spec, &PyList_Type, args, nargs, kwnames);
}

PyObject* py_from_ints(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"from_ints", kXYParams, 2, 2};
    PyObject* params[2];
    int32_t x = 0;
    int32_t y = 0;
    if (parse_args(spec, args, nargs, kwnames, params) < 0 || to_int32(params[0], x) < 0 ||
        to_int32(params[1], y) < 0) {
        traceback("from_ints");
        return nullptr;
    }
    return boxed(make_vector(Vec2{static_cast<double>(x), static_cast<double>(y)}));
}

// Both parameters through the float conversion, x before y.
int parse_xy(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
             Vec2& out) noexcept {
    PyObject* params[2];
    if (parse_args(spec, args, nargs, kwnames, params) < 0 || to_double(params[0], out.x) < 0 ||
        to_double(params[1], out.y) < 0) {
        traceback(spec.func);
        return -1;
    }
    return 0;
}

PyObject* py_from_floats(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"from_floats", kXYParams, 2, 2};
    Vec2 value{};
    if (parse_xy(spec, args, nargs, kwnames, value) < 0) {
        return nullptr;
    }
    return boxed(make_vector(Vec2{widened_float32(value.x), widened_float32(value.y)}));
}

PyObject* py_from_xy(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"from_xy", kXYParams, 2, 2};
    Vec2 value{};
    if (parse_xy(spec, args, nargs, kwnames, value) < 0) {
        return nullptr;
    }
    return boxed(make_vector(value));
}

constexpr FunctionDef kConstructionFunctions[] = {
    {"from_qmvector2", py_from_qmvector2, FunctionKind::Static, "(other)", "QmVector2",
     "A new vector with the components of another QmVector2.\n"
     "\n"
     "Args:\n"
     "    other: the QmVector2 to copy.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the copy, made without running __init__.\n"
     "\n"
     "Raises:\n"
     "    TypeError: other is not a QmVector2 (None included).\n"},
    {"from_tuple", py_from_tuple, FunctionKind::Static, "(other)", "QmVector2",
     "A new vector from the first two items of a tuple; further items are ignored.\n"
     "\n"
     "Args:\n"
     "    other: exactly a tuple (not a subclass) whose first two items are numbers.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: (float(other[0]), float(other[1])).\n"
     "\n"
     "Raises:\n"
     "    TypeError: other is not a tuple (None included), or an item has no float "
     "conversion.\n"
     "    IndexError: \"tuple index out of range\" for fewer than two items.\n"},
    {"from_list", py_from_list, FunctionKind::Static, "(other)", "QmVector2",
     "A new vector from the first two items of a list; further items are ignored.\n"
     "\n"
     "Args:\n"
     "    other: exactly a list (not a subclass) whose first two items are numbers.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: (float(other[0]), float(other[1])).\n"
     "\n"
     "Raises:\n"
     "    TypeError: other is not a list (None included), or an item has no float "
     "conversion.\n"
     "    IndexError: \"list index out of range\" for fewer than two items.\n"},
    {"from_ints", py_from_ints, FunctionKind::Static, "(x, y)", "QmVector2",
     "A new vector from two 32-bit signed integers, stored as exact doubles.\n"
     "\n"
     "Args:\n"
     "    x: an int, or an object with __int__ (a float is truncated toward zero).\n"
     "    y: the same, converted after x.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: (float(int(x)), float(int(y))).\n"
     "\n"
     "Raises:\n"
     "    TypeError: \"an integer is required\" for an argument without an integer "
     "conversion.\n"
     "    OverflowError: a value outside -2147483648..2147483647.\n"},
    {"from_floats", py_from_floats, FunctionKind::Static, "(x, y)", "QmVector2",
     "A new vector from two numbers rounded to single precision and widened back to double.\n"
     "\n"
     "Args:\n"
     "    x: a number (float conversion); values beyond the float32 range become infinities.\n"
     "    y: the same, converted after x.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the float32 values of x and y as doubles (0.1 becomes "
     "0.10000000149011612).\n"
     "\n"
     "Raises:\n"
     "    TypeError: an argument without a float conversion (a str, for instance).\n"
     "    OverflowError: an int too large for a double.\n"},
    {"from_xy", py_from_xy, FunctionKind::Static, "(x, y)", "QmVector2",
     "A new vector from two numbers kept at double precision.\n"
     "\n"
     "Args:\n"
     "    x: a number (float conversion).\n"
     "    y: the same, converted after x.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: (float(x), float(y)).\n"
     "\n"
     "Raises:\n"
     "    TypeError: an argument without a float conversion (a str, for instance).\n"
     "    OverflowError: an int too large for a double.\n"},
};

} // namespace

const qm_vector2_methods_t kMethods = {
    slot_new,         slot_cfrom_list,
    slot_cfrom_ints,  slot_cfrom_floats,
    slot_cfrom_tuple, slot_cfrom_qmvector2,
    slot_new,         slot_c_get_int_tuple,
    slot_add,         slot_sub,
    slot_iadd,        slot_isub,
    slot_imul,        slot_sadd_unchecked,
    slot_copy,        slot_sadd,
};

std::span<const FunctionDef> construction_functions() noexcept {
    return kConstructionFunctions;
}

} // namespace qm::vector2
