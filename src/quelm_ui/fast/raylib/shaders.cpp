// Shader mode, uniform locations and uniform values, for binding shader objects (the plain
// family, Python-visible only) and for QmShader (exported natively and Python-visible).
#include "quelm_ui/fast/raylib/raylib_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"
#include "quelm_ui/fast/raylib/conversions.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

namespace qm::raylib {
namespace {

// raylib's uniform type numbers used by the fixed-kind operations.
constexpr int kUniformFloat = 0;
constexpr int kUniformVec2 = 1;
constexpr int kUniformVec4 = 3;
constexpr int kUniformInt = 4;

// The value buffer of the generic operations: four 32-bit slots, zero until filled.
union UniformBuffer {
    float floats[4];
    int32_t ints[4];
};

// Items 0..n-1 (n = min(len, 4)) of `value` into the buffer: as 32-bit floats for the float
// kinds 0-3, as the low 32 bits of their __index__ for every other type number. None and
// non-tuples raise TypeError; the first item that fails stops. May call back into Python.
int pack_uniform(PyObject* value, int uniform_type, UniformBuffer& out) noexcept {
    if (check_tuple(value, 0) < 0) {
        return -1;
    }
    const Py_ssize_t count = std::min<Py_ssize_t>(PyTuple_GET_SIZE(value), 4);
    const bool float_kind = static_cast<unsigned>(uniform_type) <= 3u;
    for (Py_ssize_t i = 0; i < count; ++i) {
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        PyObject* item = PyTuple_GET_ITEM(value, i);
        // GCOVR_EXCL_BR_STOP
        if (float_kind) {
            if (to_float32(item, out.floats[i]) < 0) {
                return -1;
            }
        } else {
            int64_t wide = 0;
            if (index_to_int64(item, wide) < 0) {
                return -1;
            }
            out.ints[i] = static_cast<int32_t>(static_cast<uint32_t>(wide));
        }
    }
    return 0;
}

// The location raylib gives `name` (a str, or None for the AttributeError of `name.encode`).
// The UTF-8 form is NUL-terminated, so raylib sees the name up to its first NUL.
int shader_location(const Shader& shader, PyObject* name, int& location) noexcept {
    if (name == Py_None) {
        err::none_attribute("encode");
        return -1;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
    if (!utf8) {
        return -1;
    }
    return call_get_shader_location(shader, utf8, location);
}

// The element count of an array uniform as raylib's int.
int array_count(size_t size, int& count) noexcept {
    // GCOVR_EXCL_START: takes more than 2**31 values, 8 GiB of floats
    if (size > static_cast<size_t>(INT_MAX)) {
        err::too_large("int");
        return -1;
    }
    // GCOVR_EXCL_STOP
    count = static_cast<int>(size);
    return 0;
}

// A float pair (uniform type 1) or quadruple (type 3) from a tuple, then the raylib call.
int tuple_uniform(const Shader& record, int loc_index, PyObject* value, bool quad) noexcept {
    if (quad) {
        float quadruple[4] = {};
        if (set_fval_from_tuple4(value, quadruple) < 0) {
            return -1;
        }
        return call_set_shader_value(record, loc_index, quadruple, kUniformVec4);
    }
    float pair[2] = {};
    if (set_fval_from_tuple(value, pair) < 0) {
        return -1;
    }
    return call_set_shader_value(record, loc_index, pair, kUniformVec2);
}

PyObject* as_object(capi::QmShader* shader) noexcept {
    return reinterpret_cast<PyObject*>(shader);
}

// One value of uniform type `kind` at `data` into the QmShader's uniform `loc_index`; a failure
// gets the traceback entry `name`.
void set_qm_value(capi::QmShader* shader, int loc_index, const void* data, int kind,
                  const char* name) noexcept {
    Shader record{};
    if (get_c_shader_from_qmshader(as_object(shader), record) < 0 ||
        call_set_shader_value(record, loc_index, data, kind) < 0) {
        traceback(name);
    }
}

// A float pair (quad false) or quadruple from the tuple `value` into the QmShader's uniform.
void set_qm_tuple_value(capi::QmShader* shader, int loc_index, PyObject* value, bool quad,
                        const char* name) noexcept {
    Shader record{};
    if (get_c_shader_from_qmshader(as_object(shader), record) < 0 ||
        tuple_uniform(record, loc_index, value, quad) < 0) {
        traceback(name);
    }
}

// An array uniform of type `kind` into the QmShader; raylib is not called for an empty array.
template <typename T>
void set_qm_array(capi::QmShader* shader, int loc_index, const std::vector<T>& values, int kind,
                  const char* name) noexcept {
    Shader record{};
    int count = 0;
    if (get_c_shader_from_qmshader(as_object(shader), record) < 0 ||
        array_count(values.size(), count) < 0 ||
        (count > 0 && call_set_shader_value_v(record, loc_index, values.data(), kind, count) < 0)) {
        traceback(name);
    }
}

} // namespace

// ---- native entry points of the QmShader family ----
// The shader is a QmShader or None (refused with TypeError); other objects are borrowed.
// Failures leave the exception pending with a traceback entry under the entry point's name.

PyObject* begin_qmshader_mode(capi::QmShader* shader) noexcept {
    Shader record{};
    if (get_c_shader_from_qmshader(as_object(shader), record) < 0 ||
        call_begin_shader_mode(record) < 0) {
        traceback("begin_qmshader_mode");
        return nullptr;
    }
    return none_or_error("begin_qmshader_mode");
}

int get_qmshader_location(capi::QmShader* shader, PyObject* name, int) noexcept {
    Shader record{};
    int location = -1;
    if (get_c_shader_from_qmshader(as_object(shader), record) < 0 ||
        shader_location(record, name, location) < 0) {
        traceback("get_qmshader_location");
        return -1;
    }
    return location;
}

void end_shader_mode(int) noexcept {
    if (call_no_args(g_entries.end_shader_mode, "EndShaderMode") < 0) {
        traceback("end_shader_mode");
    }
}

void set_qmshader_value(capi::QmShader* shader, int loc_index, PyObject* value, int uniform_type,
                        int) noexcept {
    Shader record{};
    UniformBuffer buffer{};
    if (get_c_shader_from_qmshader(as_object(shader), record) < 0 ||
        pack_uniform(value, uniform_type, buffer) < 0 ||
        call_set_shader_value(record, loc_index, &buffer, uniform_type) < 0) {
        traceback("set_qmshader_value");
    }
}

void set_qmshader_value_float(capi::QmShader* shader, int loc_index, float value, int) noexcept {
    set_qm_value(shader, loc_index, &value, kUniformFloat, "set_qmshader_value_float");
}

void set_qmshader_value_int(capi::QmShader* shader, int loc_index, int value, int) noexcept {
    set_qm_value(shader, loc_index, &value, kUniformInt, "set_qmshader_value_int");
}

void set_qmshader_value_vec2_qmvec(capi::QmShader* shader, int loc_index, capi::QmVector2* value,
                                   int) noexcept {
    Shader record{};
    float pair[2] = {};
    if (get_c_shader_from_qmshader(as_object(shader), record) < 0 ||
        set_fval_from_qmvector2(reinterpret_cast<PyObject*>(value), pair) < 0 ||
        call_set_shader_value(record, loc_index, pair, kUniformVec2) < 0) {
        traceback("set_qmshader_value_vec2_qmvec");
    }
}

void set_qmshader_value_vec2_tuple(capi::QmShader* shader, int loc_index, PyObject* value,
                                   int) noexcept {
    set_qm_tuple_value(shader, loc_index, value, false, "set_qmshader_value_vec2_tuple");
}

void set_qmshader_value_vec4_tuple(capi::QmShader* shader, int loc_index, PyObject* value,
                                   int) noexcept {
    set_qm_tuple_value(shader, loc_index, value, true, "set_qmshader_value_vec4_tuple");
}

// The vector is taken by value: the signature is exported in __pyx_capi__ as it is.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void set_qmshader_value_vec4_v(capi::QmShader* shader, int loc_index, std::vector<Vector4> values,
                               int) noexcept {
    set_qm_array(shader, loc_index, values, kUniformVec4, "set_qmshader_value_vec4_v");
}

// The vector is taken by value: the signature is exported in __pyx_capi__ as it is.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void set_qmshader_value_float_v(capi::QmShader* shader, int loc_index, std::vector<float> values,
                                int) noexcept {
    set_qm_array(shader, loc_index, values, kUniformFloat, "set_qmshader_value_float_v");
}

namespace {

// ---- Python-visible functions ----
// C-typed arguments (loc_index, uniform_type, values, arrays) are converted first, in parameter
// order; then the object arguments' types are checked in parameter order.

constexpr const char* kShaderParam[] = {"shader"};
constexpr const char* kLocationParams[] = {"shader", "name"};
constexpr const char* kValueParams[] = {"shader", "loc_index", "value"};
constexpr const char* kGenericParams[] = {"shader", "loc_index", "value", "uniform_type"};
constexpr const char* kArrayParams[] = {"shader", "loc_index", "values"};

int check_qmshader(PyObject* shader) noexcept {
    return check_arg_type(shader, g_types.shader, true, "shader");
}

capi::QmShader* qmshader(PyObject* shader) noexcept {
    return reinterpret_cast<capi::QmShader*>(shader);
}

PyObject* fail(const char* name) noexcept {
    traceback(name);
    return nullptr;
}

PyObject* py_begin_shader_mode(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"begin_shader_mode", kShaderParam, 1, 1};
    PyObject* shader = nullptr;
    Shader record{};
    if (parse_args(spec, args, nargs, kwnames, &shader) < 0 || get_c_shader(shader, record) < 0 ||
        call_begin_shader_mode(record) < 0) {
        return fail(spec.func);
    }
    return none_or_error(spec.func);
}

PyObject* py_end_shader_mode(PyObject*, PyObject* const*, Py_ssize_t nargs,
                             PyObject* kwnames) noexcept {
    if (check_no_args("end_shader_mode", nargs, kwnames) < 0) {
        return fail("end_shader_mode");
    }
    end_shader_mode(1);
    return none_or_error("end_shader_mode");
}

PyObject* location_result(const char* name, int location) noexcept {
    if (PyErr_Occurred()) {
        return fail(name);
    }
    return PyLong_FromLong(location);
}

PyObject* py_get_shader_location(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"get_shader_location", kLocationParams, 2, 2};
    PyObject* params[2];
    Shader record{};
    int location = -1;
    if (parse_args(spec, args, nargs, kwnames, params) < 0 ||
        check_arg_exact(params[1], &PyUnicode_Type, "name") < 0 ||
        get_c_shader(params[0], record) < 0 || shader_location(record, params[1], location) < 0) {
        return fail(spec.func);
    }
    return location_result(spec.func, location);
}

PyObject* py_get_qmshader_location(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"get_qmshader_location", kLocationParams, 2, 2};
    PyObject* params[2];
    if (parse_args(spec, args, nargs, kwnames, params) < 0 || check_qmshader(params[0]) < 0 ||
        check_arg_exact(params[1], &PyUnicode_Type, "name") < 0) {
        return fail(spec.func);
    }
    const int location = get_qmshader_location(qmshader(params[0]), params[1], 1);
    return location_result(spec.func, location);
}

// Parses (shader, loc_index, value, uniform_type): the two integers are converted first, then
// the argument types are checked in parameter order (`shader` only in the QmShader family).
int parse_generic(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                  bool qm, PyObject* (&params)[4], int32_t& loc_index,
                  int32_t& uniform_type) noexcept {
    if (parse_args(spec, args, nargs, kwnames, params) < 0 || to_int32(params[1], loc_index) < 0 ||
        to_int32(params[3], uniform_type) < 0 || (qm && check_qmshader(params[0]) < 0) ||
        check_arg_exact(params[2], &PyTuple_Type, "value") < 0) {
        return -1;
    }
    return 0;
}

PyObject* py_set_shader_value(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_shader_value", kGenericParams, 4, 4};
    PyObject* params[4];
    int32_t loc_index = 0;
    int32_t uniform_type = 0;
    Shader record{};
    UniformBuffer buffer{};
    if (parse_generic(spec, args, nargs, kwnames, false, params, loc_index, uniform_type) < 0 ||
        get_c_shader(params[0], record) < 0 || pack_uniform(params[2], uniform_type, buffer) < 0 ||
        call_set_shader_value(record, loc_index, &buffer, uniform_type) < 0) {
        return fail(spec.func);
    }
    return none_or_error(spec.func);
}

PyObject* py_set_qmshader_value(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_qmshader_value", kGenericParams, 4, 4};
    PyObject* params[4];
    int32_t loc_index = 0;
    int32_t uniform_type = 0;
    if (parse_generic(spec, args, nargs, kwnames, true, params, loc_index, uniform_type) < 0) {
        return fail(spec.func);
    }
    set_qmshader_value(qmshader(params[0]), loc_index, params[2], uniform_type, 1);
    return none_or_error(spec.func);
}

// Parses (shader, loc_index, value) with loc_index converted.
int parse_value(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                PyObject* (&params)[3], int32_t& loc_index) noexcept {
    if (parse_args(spec, args, nargs, kwnames, params) < 0 || to_int32(params[1], loc_index) < 0) {
        return -1;
    }
    return 0;
}

PyObject* py_set_shader_value_float(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_shader_value_float", kValueParams, 3, 3};
    PyObject* params[3];
    int32_t loc_index = 0;
    float value = 0.0f;
    Shader record{};
    if (parse_value(spec, args, nargs, kwnames, params, loc_index) < 0 ||
        to_float32(params[2], value) < 0 || get_c_shader(params[0], record) < 0 ||
        call_set_shader_value(record, loc_index, &value, kUniformFloat) < 0) {
        return fail(spec.func);
    }
    return none_or_error(spec.func);
}

// set_qmshader_value_float / set_qmshader_value_int: loc_index and value converted, then the
// shader's type checked, then the native entry point.
template <typename T, int (*convert)(PyObject*, T&) noexcept,
          void (*entry)(capi::QmShader*, int, T, int) noexcept>
PyObject* set_qm_single(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept {
    PyObject* params[3];
    int32_t loc_index = 0;
    T value{};
    if (parse_value(spec, args, nargs, kwnames, params, loc_index) < 0 ||
        convert(params[2], value) < 0 || check_qmshader(params[0]) < 0) {
        return fail(spec.func);
    }
    entry(qmshader(params[0]), loc_index, value, 1);
    return none_or_error(spec.func);
}

PyObject* py_set_qmshader_value_float(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                      PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_qmshader_value_float", kValueParams, 3, 3};
    return set_qm_single<float, to_float32, set_qmshader_value_float>(spec, args, nargs, kwnames);
}

PyObject* py_set_qmshader_value_int(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_qmshader_value_int", kValueParams, 3, 3};
    return set_qm_single<int32_t, to_int32, set_qmshader_value_int>(spec, args, nargs, kwnames);
}

PyObject* py_set_shader_value_vec2_qmvec(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_shader_value_vec2_qmvec", kValueParams, 3, 3};
    PyObject* params[3];
    int32_t loc_index = 0;
    Shader record{};
    float pair[2] = {};
    if (parse_value(spec, args, nargs, kwnames, params, loc_index) < 0 ||
        check_arg_type(params[2], g_types.vector2, true, "value") < 0 ||
        get_c_shader(params[0], record) < 0 || set_fval_from_qmvector2(params[2], pair) < 0 ||
        call_set_shader_value(record, loc_index, pair, kUniformVec2) < 0) {
        return fail(spec.func);
    }
    return none_or_error(spec.func);
}

PyObject* py_set_qmshader_value_vec2_qmvec(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_qmshader_value_vec2_qmvec", kValueParams, 3, 3};
    PyObject* params[3];
    int32_t loc_index = 0;
    if (parse_value(spec, args, nargs, kwnames, params, loc_index) < 0 ||
        check_qmshader(params[0]) < 0 ||
        check_arg_type(params[2], g_types.vector2, true, "value") < 0) {
        return fail(spec.func);
    }
    set_qmshader_value_vec2_qmvec(qmshader(params[0]), loc_index,
                                  reinterpret_cast<capi::QmVector2*>(params[2]), 1);
    return none_or_error(spec.func);
}

// set_shader_value_vec2_tuple / set_shader_value_vec4_tuple.
PyObject* set_plain_tuple(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames, bool quad) noexcept {
    PyObject* params[3];
    int32_t loc_index = 0;
    Shader record{};
    if (parse_value(spec, args, nargs, kwnames, params, loc_index) < 0 ||
        check_arg_exact(params[2], &PyTuple_Type, "value") < 0 ||
        get_c_shader(params[0], record) < 0 ||
        tuple_uniform(record, loc_index, params[2], quad) < 0) {
        return fail(spec.func);
    }
    return none_or_error(spec.func);
}

PyObject* py_set_shader_value_vec2_tuple(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_shader_value_vec2_tuple", kValueParams, 3, 3};
    return set_plain_tuple(spec, args, nargs, kwnames, false);
}

PyObject* py_set_shader_value_vec4_tuple(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_shader_value_vec4_tuple", kValueParams, 3, 3};
    return set_plain_tuple(spec, args, nargs, kwnames, true);
}

using QmTupleEntry = void (*)(capi::QmShader*, int, PyObject*, int) noexcept;

PyObject* set_qm_tuple(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames, QmTupleEntry entry) noexcept {
    PyObject* params[3];
    int32_t loc_index = 0;
    if (parse_value(spec, args, nargs, kwnames, params, loc_index) < 0 ||
        check_qmshader(params[0]) < 0 || check_arg_exact(params[2], &PyTuple_Type, "value") < 0) {
        return fail(spec.func);
    }
    entry(qmshader(params[0]), loc_index, params[2], 1);
    return none_or_error(spec.func);
}

PyObject* py_set_qmshader_value_vec2_tuple(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_qmshader_value_vec2_tuple", kValueParams, 3, 3};
    return set_qm_tuple(spec, args, nargs, kwnames, set_qmshader_value_vec2_tuple);
}

PyObject* py_set_qmshader_value_vec4_tuple(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_qmshader_value_vec4_tuple", kValueParams, 3, 3};
    return set_qm_tuple(spec, args, nargs, kwnames, set_qmshader_value_vec4_tuple);
}

// set_qmshader_value_vec4_v / set_qmshader_value_float_v: loc_index and the array converted,
// then the shader's type checked, then the native entry point.
template <typename T, int (*convert)(PyObject*, std::vector<T>&) noexcept,
          void (*entry)(capi::QmShader*, int, std::vector<T>, int) noexcept>
PyObject* set_qm_array_py(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
    PyObject* params[3];
    int32_t loc_index = 0;
    std::vector<T> values;
    if (parse_value(spec, args, nargs, kwnames, params, loc_index) < 0 ||
        convert(params[2], values) < 0 || check_qmshader(params[0]) < 0) {
        return fail(spec.func);
    }
    entry(qmshader(params[0]), loc_index, std::move(values), 1);
    return none_or_error(spec.func);
}

PyObject* py_set_qmshader_value_vec4_v(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_qmshader_value_vec4_v", kArrayParams, 3, 3};
    return set_qm_array_py<Vector4, vector4_array_from_iterable, set_qmshader_value_vec4_v>(
        spec, args, nargs, kwnames);
}

PyObject* py_set_qmshader_value_float_v(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) noexcept {
    static constexpr ArgSpec spec{"set_qmshader_value_float_v", kArrayParams, 3, 3};
    return set_qm_array_py<float, float_array_from_iterable, set_qmshader_value_float_v>(
        spec, args, nargs, kwnames);
}

constexpr FunctionDef kShaderFunctions[] = {
    {"begin_shader_mode", py_begin_shader_mode, FunctionKind::Module, "(shader)", "None",
     "Starts drawing with a shader: raylib's BeginShaderMode.\n"
     "\n"
     "Args:\n"
     "    shader: a shader of the raylib binding (attributes id and locs).\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("BeginShaderMode")},
    {"end_shader_mode", py_end_shader_mode, FunctionKind::Module, "()", "None",
     "Ends the shader mode of either shader family: raylib's EndShaderMode.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_UNBOUND("EndShaderMode")},
    {"get_shader_location", py_get_shader_location, FunctionKind::Module, "(shader, name)", "int",
     "The location of a uniform in a binding shader: raylib's GetShaderLocation.\n"
     "\n"
     "Args:\n"
     "    shader: a shader of the raylib binding (attributes id and locs).\n"
     "    name: the uniform's name, a str (encoded as UTF-8; raylib reads it up to "
     "the first NUL).\n"
     "\n"
     "Returns:\n"
     "    int: the location, -1 when raylib does not know the name.\n"
     "\n"
     "Raises:\n"
     "    AttributeError: \"'NoneType' object has no attribute 'encode'\" for a "
     "name of None.\n"
     "    UnicodeEncodeError: a name that UTF-8 cannot encode (a lone "
     "surrogate).\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("GetShaderLocation")},
    {"get_qmshader_location", py_get_qmshader_location, FunctionKind::Module, "(shader, name)",
     "int",
     "The location of a uniform in a QmShader: raylib's GetShaderLocation.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    name: the uniform's name, a str (encoded as UTF-8; raylib reads it up to "
     "the first NUL).\n"
     "\n"
     "Returns:\n"
     "    int: the location, -1 when raylib does not know the name.\n"
     "\n"
     "Raises:\n"
     "    AttributeError: \"'NoneType' object has no attribute 'encode'\" for a "
     "name of None.\n"
     "    UnicodeEncodeError: a name that UTF-8 cannot encode (a lone "
     "surrogate).\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("GetShaderLocation")},
    {"set_shader_value", py_set_shader_value, FunctionKind::Module,
     "(shader, loc_index, value, uniform_type)", "None",
     "Sets a uniform from up to four items of a tuple: raylib's SetShaderValue.\n"
     "\n"
     "Args:\n"
     "    shader: a shader of the raylib binding (attributes id and locs).\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: a tuple; its first four items at most are packed.\n"
     "    uniform_type: raylib's uniform type number: 0 to 3 pack floats, any other "
     "value integers (an item needs __index__; its low 32 bits are kept).\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_qmshader_value", py_set_qmshader_value, FunctionKind::Module,
     "(shader, loc_index, value, uniform_type)", "None",
     "set_shader_value for a QmShader.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: a tuple; its first four items at most are packed.\n"
     "    uniform_type: raylib's uniform type number: 0 to 3 pack floats, any other "
     "value integers (an item needs __index__; its low 32 bits are kept).\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_shader_value_float", py_set_shader_value_float, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets a float uniform (uniform type 0).\n"
     "\n"
     "Args:\n"
     "    shader: a shader of the raylib binding (attributes id and locs).\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: a number, narrowed to a 32-bit float.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_qmshader_value_float", py_set_qmshader_value_float, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets a float uniform (uniform type 0) of a QmShader.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: a number, narrowed to a 32-bit float.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_qmshader_value_int", py_set_qmshader_value_int, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets an int uniform (uniform type 4) of a QmShader.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: a 32-bit signed integer.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_shader_value_vec2_qmvec", py_set_shader_value_vec2_qmvec, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets a vec2 uniform (uniform type 1) from a QmVector2.\n"
     "\n"
     "Args:\n"
     "    shader: a shader of the raylib binding (attributes id and locs).\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: a QmVector2; x and y are read as attributes, with no offset.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_qmshader_value_vec2_qmvec", py_set_qmshader_value_vec2_qmvec, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets a vec2 uniform (uniform type 1) of a QmShader from a QmVector2.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: a QmVector2; x and y are read as attributes, with no offset.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_shader_value_vec2_tuple", py_set_shader_value_vec2_tuple, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets a vec2 uniform (uniform type 1) from a tuple.\n"
     "\n"
     "Args:\n"
     "    shader: a shader of the raylib binding (attributes id and locs).\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: an (x, y) tuple; further items are ignored.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_qmshader_value_vec2_tuple", py_set_qmshader_value_vec2_tuple, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets a vec2 uniform (uniform type 1) of a QmShader from a tuple.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: an (x, y) tuple; further items are ignored.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_shader_value_vec4_tuple", py_set_shader_value_vec4_tuple, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets a vec4 uniform (uniform type 3) from a tuple.\n"
     "\n"
     "Args:\n"
     "    shader: a shader of the raylib binding (attributes id and locs).\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: an (x, y, z, w) tuple; further items are ignored.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_qmshader_value_vec4_tuple", py_set_qmshader_value_vec4_tuple, FunctionKind::Module,
     "(shader, loc_index, value)", "None",
     "Sets a vec4 uniform (uniform type 3) of a QmShader from a tuple.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    value: an (x, y, z, w) tuple; further items are ignored.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n" QM_DOC_RAISES_CONVERSION QM_DOC_RAISES_UNBOUND("SetShaderValue")},
    {"set_qmshader_value_vec4_v", py_set_qmshader_value_vec4_v, FunctionKind::Module,
     "(shader, loc_index, values)", "None",
     "Sets a vec4 array uniform of a QmShader: raylib's SetShaderValueV, uniform type 3.\n"
     "\n"
     "An empty iterable calls nothing.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    values: an iterable of mappings, each with the keys \"x\", \"y\", \"z\" and "
     "\"w\" (looked up in that order, then converted to 32-bit floats).\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    TypeError: \"Expected a mapping, got <type>\" for an element that is not a "
     "mapping; a value that does not convert.\n"
     "    ValueError: \"No value specified for struct attribute 'z'\" for a mapping "
     "without the key 'z' (likewise for the others).\n" QM_DOC_RAISES_UNBOUND("SetShaderValueV")},
    {"set_qmshader_value_float_v", py_set_qmshader_value_float_v, FunctionKind::Module,
     "(shader, loc_index, values)", "None",
     "Sets a float array uniform of a QmShader: raylib's SetShaderValueV, uniform type 0.\n"
     "\n"
     "An empty iterable calls nothing.\n"
     "\n"
     "Args:\n"
     "    shader: a QmShader.\n"
     "    loc_index: the uniform location, a 32-bit signed integer.\n"
     "    values: an iterable of numbers, each narrowed to a 32-bit float.\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    TypeError: an element that is not a number.\n" QM_DOC_RAISES_UNBOUND("SetShaderValueV")},
};

} // namespace

std::span<const FunctionDef> shader_functions() noexcept {
    return kShaderFunctions;
}

} // namespace qm::raylib
