// Conversion helpers: each fills one raylib record (or a small float array) from a Python
// object and never calls raylib. Each returns 0, or -1 with a Python exception set; `out` may be
// partly written on failure, and callers then drop it. All of them except the QmRect and QmShader
// field copies may call back into Python (attribute lookups, __float__, __int__, __index__).
#pragma once

#include <Python.h>

#include "quelm_ui/fast/raylib/raylib_records.hpp"

#include <vector>

namespace qm::raylib {

// A tuple read natively without further checks: None ("'NoneType' object is not subscriptable")
// and a non-tuple ("Expected tuple, got ...") raise TypeError, fewer than `needed` items
// IndexError "tuple index out of range". Returns 0 or -1.
int check_tuple(PyObject* obj, Py_ssize_t needed) noexcept;

// Texture2D from attributes id (unsigned 32-bit), width, height, mipmaps, format (signed 32-bit)
// of `texture` (borrowed), read and converted in that order; the first failure stops.
int get_c_texture(PyObject* texture, Texture2D& out) noexcept;

// RenderTexture2D from attribute id, then get_c_texture of attributes texture and depth.
int get_c_render_texture(PyObject* target, RenderTexture2D& out) noexcept;

// Shader from attribute id (unsigned 32-bit), then attribute locs (an address, unsigned 64-bit).
int get_c_shader(PyObject* shader, Shader& out) noexcept;

// Shader from a QmShader's native fields (borrowed); None raises TypeError.
int get_c_shader_from_qmshader(PyObject* shader, Shader& out) noexcept;

// Color from a tuple (borrowed) of three or four numbers: each truncated toward zero to 32 bits,
// low 8 bits kept; alpha 255 when there are only three. Every item is converted before the
// result is reported, and the last failing item's exception is the one raised. None, a non-tuple
// (TypeError) and fewer than three items (IndexError) fail before any item is read.
int set_color(PyObject* tuple, Color& out) noexcept;

// Color from a QmRect's native fields x, y, w, h as r, g, b, a; None raises TypeError.
int set_color_qmrect(PyObject* rect, Color& out) noexcept;

// Rectangle from items 0-3 of a tuple (borrowed) as 32-bit floats.
int set_rectangle_1tuple(PyObject* tuple, Rectangle& out) noexcept;

inline Rectangle set_rectangle_4vals(float x, float y, float width, float height) noexcept {
    return Rectangle{x, y, width, height};
}

// The whole-texture source rectangle: (0, 0, width, height), the integer height negated first
// when `flip` is set.
inline Rectangle whole_texture_source(const Texture2D& texture, bool flip) noexcept {
    const long long height = flip ? -static_cast<long long>(texture.height) : texture.height;
    return set_rectangle_4vals(0.0f, 0.0f, static_cast<float>(texture.width),
                               static_cast<float>(height));
}

// Vector2 from items 0 and 1 of a tuple (borrowed).
int set_vector2_tuple(PyObject* tuple, Vector2& out) noexcept;

// A drawing position from a QmVector2 (borrowed): its attributes x then y, each plus the Python
// float 0.01 (summed as a Python float, then narrowed).
int set_vector2_qmvector2(PyObject* vector, Vector2& out) noexcept;

// Float pair / quadruple from items of a tuple (borrowed).
int set_fval_from_tuple(PyObject* tuple, float (&out)[2]) noexcept;
int set_fval_from_tuple4(PyObject* tuple, float (&out)[4]) noexcept;

// Float pair from a QmVector2's attributes x then y, without offset.
int set_fval_from_qmvector2(PyObject* vector, float (&out)[2]) noexcept;

// Arrays from any iterable (borrowed): lists and tuples are read directly, anything else through
// the iterator protocol with the length hint reserving space.
int float_array_from_iterable(PyObject* values, std::vector<float>& out) noexcept;
// Each element must be a mapping; keys "x", "y", "z", "w" are looked up first, then the four
// values converted.
int vector4_array_from_iterable(PyObject* values, std::vector<Vector4>& out) noexcept;

} // namespace qm::raylib
