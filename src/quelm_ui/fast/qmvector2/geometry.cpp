// Geometry of QmVector2: length, normalisation, distances and the dot product.
#include "quelm_ui/fast/qmvector2/vector_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"

namespace qm::vector2 {
namespace {

constexpr const char* kOtherParam[] = {"other"};

// The vector argument `other` of a method (borrowed), or nullptr with the standard argument
// messages and the method's traceback entry.
PyObject* other_vector(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    PyObject* other = nullptr;
    if (nargs == 1 && !kwnames) [[likely]] {
        other = args[0];
    } else if (parse_args(spec, args, nargs, kwnames, &other) < 0) {
        return fail(spec.func);
    }
    if (require_vector(other, "other") < 0) {
        return fail(spec.func);
    }
    return other;
}

PyObject* py_normalize(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    if (no_args("normalize", nargs, kwnames) < 0) {
        return fail("normalize");
    }
    return new_result(normalized(as_vector(self)->data), "normalize");
}

PyObject* py_normalize_ip(PyObject* self, PyObject* const*, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
    if (no_args("normalize_ip", nargs, kwnames) < 0) {
        return fail("normalize_ip");
    }
    Vec2& data = as_vector(self)->data;
    data = normalized(data);
    return Py_NewRef(self);
}

PyObject* py_distance_to(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"distance_to", kOtherParam, 1, 1};
    PyObject* other = other_vector(spec, args, nargs, kwnames);
    if (!other) {
        return nullptr;
    }
    const double squared = distance_squared(as_vector(self)->data, as_vector(other)->data);
    return float_result(std::sqrt(squared), "distance_to");
}

PyObject* py_distance_squared_to(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"distance_squared_to", kOtherParam, 1, 1};
    PyObject* other = other_vector(spec, args, nargs, kwnames);
    if (!other) {
        return nullptr;
    }
    return float_result(distance_squared(as_vector(self)->data, as_vector(other)->data),
                        "distance_squared_to");
}

PyObject* py_dot(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"dot", kOtherParam, 1, 1};
    PyObject* other = other_vector(spec, args, nargs, kwnames);
    if (!other) {
        return nullptr;
    }
    return float_result(dot(as_vector(self)->data, as_vector(other)->data), "dot");
}

constexpr FunctionDef kGeometryFunctions[] = {
    {"normalize", py_normalize, FunctionKind::Method, "($self, /)", "QmVector2",
     "A new unit vector in the same direction.\n"
     "\n"
     "Each component is multiplied by 1 / length, so (3, 4) gives (0.6000000000000001, 0.8). A "
     "vector whose squared length is 0 (or underflows to 0, or overflows to infinity) gives "
     "(0.0, 0.0), without error.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the new vector.\n"},
    {"normalize_ip", py_normalize_ip, FunctionKind::Method, "($self, /)", "QmVector2",
     "Normalises the vector in place, as normalize computes it.\n"
     "\n"
     "Returns:\n"
     "    QmVector2: the vector itself.\n"},
    {"distance_to", py_distance_to, FunctionKind::Method, "($self, /, other)", nullptr,
     "The Euclidean distance to another vector, sqrt((x - other.x)**2 + (y - other.y)**2).\n"
     "\n"
     "Args:\n"
     "    other: a QmVector2.\n"
     "\n"
     "Returns:\n"
     "    float: the distance (no scaling against overflow).\n"
     "\n"
     "Raises:\n"
     "    TypeError: other is not a QmVector2 (None included).\n"},
    {"distance_squared_to", py_distance_squared_to, FunctionKind::Method, "($self, /, other)",
     nullptr,
     "The squared Euclidean distance to another vector, (x - other.x)**2 + (y - other.y)**2.\n"
     "\n"
     "Args:\n"
     "    other: a QmVector2.\n"
     "\n"
     "Returns:\n"
     "    float: the squared distance.\n"
     "\n"
     "Raises:\n"
     "    TypeError: other is not a QmVector2 (None included).\n"},
    {"dot", py_dot, FunctionKind::Method, "($self, /, other)", nullptr,
     "The dot product with another vector, x * other.x + y * other.y.\n"
     "\n"
     "Args:\n"
     "    other: a QmVector2.\n"
     "\n"
     "Returns:\n"
     "    float: the dot product.\n"
     "\n"
     "Raises:\n"
     "    TypeError: other is not a QmVector2 (None included).\n"},
};

} // namespace

PyObject* get_length(PyObject* self, void*) noexcept {
    return float_result(length(as_vector(self)->data), "length.__get__");
}

std::span<const FunctionDef> geometry_functions() noexcept {
    return kGeometryFunctions;
}

} // namespace qm::vector2
