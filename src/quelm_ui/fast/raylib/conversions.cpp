// The conversion helpers that turn toolkit and binding objects into raylib records.
#include "quelm_ui/fast/raylib/conversions.hpp"

#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/raylib/raylib_internal.hpp"

#include <algorithm>
#include <cstdint>
#include <new>

namespace qm::raylib {
namespace {

// The most elements a length hint may reserve up front; longer iterables grow as they go, so a
// lying __length_hint__ cannot make the conversion fail.
constexpr Py_ssize_t kMaxReserve = 1 << 16;

// The float conversion of tuple items and attributes. An exact int takes the same
// PyLong_AsDouble path that int.__float__ takes (same rounding, same OverflowError), without the
// intermediate float object; everything else goes through the interpreter's float protocol.
int item_double(PyObject* obj, double& out) noexcept {
    if (PyLong_CheckExact(obj)) {
        const auto* number = reinterpret_cast<PyLongObject*>(obj);
        if (PyUnstable_Long_IsCompact(number)) {
            out = static_cast<double>(PyUnstable_Long_CompactValue(number));
            return 0;
        }
        const double value = PyLong_AsDouble(obj);
        if (value == -1.0 && PyErr_Occurred()) {
            return -1;
        }
        out = value;
        return 0;
    }
    return to_double(obj, out);
}

int item_float32(PyObject* obj, float& out) noexcept {
    double value = 0.0;
    if (item_double(obj, value) < 0) {
        return -1;
    }
    out = static_cast<float>(value);
    return 0;
}

// Items 0..count-1 of a checked tuple as 32-bit floats; the first failure stops.
// May call back into Python (__float__); the caller holds the tuple.
int tuple_floats(PyObject* tuple, float* out, Py_ssize_t count) noexcept {
    if (check_tuple(tuple, count) < 0) {
        return -1;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        if (item_float32(PyTuple_GET_ITEM(tuple, i), out[i]) < 0) {
            // GCOVR_EXCL_BR_STOP
            return -1;
        }
    }
    return 0;
}

uint8_t color_component(double value) noexcept {
    return static_cast<uint8_t>(truncate_to_int32(value));
}

// The value of a single-digit exact int (|value| < 2**30, so it fits every 32-bit target with its
// sign), or false for anything the shared conversions must handle.
bool compact_int(PyObject* obj, Py_ssize_t& out) noexcept {
    if (!PyLong_CheckExact(obj)) {
        return false;
    }
    const auto* number = reinterpret_cast<PyLongObject*>(obj);
    if (!PyUnstable_Long_IsCompact(number)) {
        return false;
    }
    out = PyUnstable_Long_CompactValue(number);
    return true;
}

int attr_uint32(PyObject* obj, PyObject* name, uint32_t& out) noexcept {
    Ref value = Ref::steal(PyObject_GetAttr(obj, name));
    if (!value) {
        return -1;
    }
    Py_ssize_t small = 0;
    if (compact_int(value.get(), small) && small >= 0) {
        out = static_cast<uint32_t>(small);
        return 0;
    }
    return to_uint32(value.get(), out);
}

int attr_int32(PyObject* obj, PyObject* name, int32_t& out) noexcept {
    Ref value = Ref::steal(PyObject_GetAttr(obj, name));
    if (!value) {
        return -1;
    }
    Py_ssize_t small = 0;
    if (compact_int(value.get(), small)) {
        out = static_cast<int32_t>(small);
        return 0;
    }
    return to_int32(value.get(), out);
}

// Attribute `name` of a QmVector2 plus 0.01 as a Python float, narrowed. An exact float is summed
// in place, which is the same IEEE double addition the interpreter performs.
int offset_component(PyObject* vector, PyObject* name, float& out) noexcept {
    Ref value = Ref::steal(PyObject_GetAttr(vector, name));
    if (!value) {
        return -1;
    }
    if (PyFloat_CheckExact(value.get())) { // GCOVR_EXCL_BR_LINE: see below
        out = static_cast<float>(PyFloat_AS_DOUBLE(value.get()) + 0.01);
        return 0;
    }
    // GCOVR_EXCL_START: QmVector2 takes no subclasses, and its x and y are floats
    Ref sum = Ref::steal(PyNumber_Add(value.get(), g_constants.position_offset));
    return sum ? item_float32(sum.get(), out) : -1;
    // GCOVR_EXCL_STOP
}

int vector4_from_mapping(PyObject* item, Vector4& out) noexcept {
    if (!PyMapping_Check(item)) {
        err::expected_got("a mapping", item);
        return -1;
    }
    PyObject* const keys[4] = {g_constants.x, g_constants.y, g_constants.z, g_constants.w};
    Ref values[4];
    for (int k = 0; k < 4; ++k) {
        values[k] = Ref::steal(PyObject_GetItem(item, keys[k]));
        if (!values[k]) {
            if (PyErr_ExceptionMatches(PyExc_KeyError)) {
                PyErr_Clear();
                PyErr_Format(PyExc_ValueError, "No value specified for struct attribute %R",
                             keys[k]);
            }
            return -1;
        }
    }
    float* const fields[4] = {&out.x, &out.y, &out.z, &out.w};
    for (int k = 0; k < 4; ++k) {
        if (item_float32(values[k].get(), *fields[k]) < 0) {
            return -1;
        }
    }
    return 0;
}

int float_from_item(PyObject* item, float& out) noexcept {
    return item_float32(item, out);
}

// Converts every element of `values` with `convert` and appends it to `out`. Exact lists and
// tuples are indexed directly (the list's size re-read after each conversion, since __float__
// may change it); anything else goes through its iterator. May call back into Python.
template <typename T>
int array_from_iterable(PyObject* values, std::vector<T>& out,
                        int (*convert)(PyObject*, T&) noexcept) noexcept {
    try {
        if (PyList_CheckExact(values) || PyTuple_CheckExact(values)) {
            const bool is_list = PyList_CheckExact(values);
            out.reserve(static_cast<size_t>(std::min(Py_SIZE(values), kMaxReserve)));
            for (Py_ssize_t i = 0; i < Py_SIZE(values); ++i) {
                Ref item =
                    // GCOVR_EXCL_BR_START: the type assert inside the item macro
                    Ref::borrow(is_list ? PyList_GET_ITEM(values, i) : PyTuple_GET_ITEM(values, i));
                // GCOVR_EXCL_BR_STOP
                T element{};
                if (convert(item.get(), element) < 0) {
                    return -1;
                }
                out.push_back(element);
            }
            return 0;
        }
        Ref iterator = Ref::steal(PyObject_GetIter(values));
        if (!iterator) {
            return -1;
        }
        const Py_ssize_t hint = PyObject_LengthHint(values, 0);
        if (hint < 0) {
            return -1;
        }
        out.reserve(static_cast<size_t>(std::min(hint, kMaxReserve)));
        while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
            T element{};
            if (convert(item.get(), element) < 0) {
                return -1;
            }
            out.push_back(element);
        }
        return PyErr_Occurred() ? -1 : 0;
        // GCOVR_EXCL_START: operator new, which the sweep cannot fail
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return -1;
    }
    // GCOVR_EXCL_STOP
}

} // namespace

int check_tuple(PyObject* obj, Py_ssize_t needed) noexcept {
    if (obj == Py_None) {
        PyErr_SetString(PyExc_TypeError, "'NoneType' object is not subscriptable");
        return -1;
    }
    if (!PyTuple_Check(obj)) {
        err::expected_got("tuple", obj);
        return -1;
    }
    if (PyTuple_GET_SIZE(obj) < needed) {
        PyErr_SetString(PyExc_IndexError, "tuple index out of range");
        return -1;
    }
    return 0;
}

int get_c_texture(PyObject* texture, Texture2D& out) noexcept {
    if (attr_uint32(texture, g_constants.id, out.id) < 0 ||
        attr_int32(texture, g_constants.width, out.width) < 0 ||
        attr_int32(texture, g_constants.height, out.height) < 0 ||
        attr_int32(texture, g_constants.mipmaps, out.mipmaps) < 0 ||
        attr_int32(texture, g_constants.format, out.format) < 0) {
        return -1;
    }
    return 0;
}

int get_c_render_texture(PyObject* target, RenderTexture2D& out) noexcept {
    if (attr_uint32(target, g_constants.id, out.id) < 0) {
        return -1;
    }
    Ref texture = Ref::steal(PyObject_GetAttr(target, g_constants.texture));
    if (!texture || get_c_texture(texture.get(), out.texture) < 0) {
        return -1;
    }
    Ref depth = Ref::steal(PyObject_GetAttr(target, g_constants.depth));
    if (!depth || get_c_texture(depth.get(), out.depth) < 0) {
        return -1;
    }
    return 0;
}

int get_c_shader(PyObject* shader, Shader& out) noexcept {
    if (attr_uint32(shader, g_constants.id, out.id) < 0) {
        return -1;
    }
    Ref locs = Ref::steal(PyObject_GetAttr(shader, g_constants.locs));
    uint64_t address = 0;
    if (!locs || to_uint64(locs.get(), address, "size_t") < 0) {
        return -1;
    }
    out.locs = reinterpret_cast<int32_t*>(static_cast<uintptr_t>(address));
    return 0;
}

int get_c_shader_from_qmshader(PyObject* shader, Shader& out) noexcept {
    if (shader == Py_None) {
        err::cannot_convert(shader, g_types.shader);
        return -1;
    }
    const auto* native = reinterpret_cast<const siblings::QmShaderObject*>(shader);
    out.id = native->id;
    out.locs = native->locs;
    return 0;
}

int set_color(PyObject* tuple, Color& out) noexcept {
    if (check_tuple(tuple, 3) < 0) {
        return -1;
    }
    const Py_ssize_t count = std::min<Py_ssize_t>(PyTuple_GET_SIZE(tuple), 4);
    double components[4] = {0.0, 0.0, 0.0, 255.0};
    Ref failure;
    for (Py_ssize_t i = 0; i < count; ++i) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        if (item_double(PyTuple_GET_ITEM(tuple, i), components[i]) < 0) {
            // GCOVR_EXCL_BR_STOP
            failure = Ref::steal(PyErr_GetRaisedException());
        }
    }
    if (failure) {
        PyErr_SetRaisedException(failure.release());
        return -1;
    }
    out = Color{color_component(components[0]), color_component(components[1]),
                color_component(components[2]), color_component(components[3])};
    return 0;
}

int set_color_qmrect(PyObject* rect, Color& out) noexcept {
    if (rect == Py_None) {
        err::cannot_convert(rect, g_types.rect);
        return -1;
    }
    const auto* native = reinterpret_cast<const siblings::QmRectObject*>(rect);
    out = Color{color_component(native->x), color_component(native->y), color_component(native->w),
                color_component(native->h)};
    return 0;
}

int set_rectangle_1tuple(PyObject* tuple, Rectangle& out) noexcept {
    float values[4];
    if (tuple_floats(tuple, values, 4) < 0) {
        return -1;
    }
    out = set_rectangle_4vals(values[0], values[1], values[2], values[3]);
    return 0;
}

int set_vector2_tuple(PyObject* tuple, Vector2& out) noexcept {
    float values[2];
    if (tuple_floats(tuple, values, 2) < 0) {
        return -1;
    }
    out = Vector2{values[0], values[1]};
    return 0;
}

int set_vector2_qmvector2(PyObject* vector, Vector2& out) noexcept {
    // GCOVR_EXCL_BR_START: reading y fails only where reading x did
    if (offset_component(vector, g_constants.x, out.x) < 0 ||
        offset_component(vector, g_constants.y, out.y) < 0) {
        // GCOVR_EXCL_BR_STOP
        return -1;
    }
    return 0;
}

int set_fval_from_tuple(PyObject* tuple, float (&out)[2]) noexcept {
    return tuple_floats(tuple, out, 2);
}

int set_fval_from_tuple4(PyObject* tuple, float (&out)[4]) noexcept {
    return tuple_floats(tuple, out, 4);
}

int set_fval_from_qmvector2(PyObject* vector, float (&out)[2]) noexcept {
    Ref x = Ref::steal(PyObject_GetAttr(vector, g_constants.x));
    if (!x || item_float32(x.get(), out[0]) < 0) { // GCOVR_EXCL_BR_LINE: see below
        return -1;
    }
    Ref y = Ref::steal(PyObject_GetAttr(vector, g_constants.y));
    // A QmVector2's x and y are floats; None fails on reading x.
    if (!y || item_float32(y.get(), out[1]) < 0) { // GCOVR_EXCL_BR_LINE: see above
        return -1;
    }
    return 0;
}

int float_array_from_iterable(PyObject* values, std::vector<float>& out) noexcept {
    return array_from_iterable<float>(values, out, float_from_item);
}

int vector4_array_from_iterable(PyObject* values, std::vector<Vector4>& out) noexcept {
    return array_from_iterable<Vector4>(values, out, vector4_from_mapping);
}

} // namespace qm::raylib
