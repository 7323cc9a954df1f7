// A recording stand-in for raylib: the fourteen functions the bridge calls, with raylib's exact
// by-value prototypes, each appending its name and arguments (records as tuples, value buffers
// and names copied as bytes) to a log that Python reads. Also a Python extension module
// (quelm_ui_testbeds.fake_raylib) that hands out the functions' addresses and the log.
#include <Python.h>

#include "raylib_decls.h"

#include <cstdint>

namespace {

// Process-lifetime state, created at module exec (the log, the location answers by name, the
// name of a function that should leave a Python exception pending, and a count of calls that
// arrived while an exception was already pending, which the bridge must never make).
PyObject* g_log = nullptr;       // list of tuples
PyObject* g_locations = nullptr; // dict: bytes name -> int
PyObject* g_raise_in = nullptr;  // str or nullptr
long g_calls_with_pending_error = 0;

// Bytes that raylib reads for one element of a uniform type; 16 (the bridge's generic buffer)
// for type numbers raylib does not define.
Py_ssize_t uniform_size(int uniform_type) {
    if (uniform_type >= 0 && uniform_type <= 11) {
        return (uniform_type % 4 + 1) * 4;
    }
    return uniform_type == 12 ? 4 : 16;
}

// Appends `entry` (a new reference, or nullptr after a failed build) to the log. A failure, and
// the exception requested by raise_in, are left pending: the bridge reports them after the call.
void record(const char* name, PyObject* entry) {
    if (PyErr_Occurred()) {
        ++g_calls_with_pending_error;
        Py_XDECREF(entry);
        return;
    }
    if (!entry) {
        return;
    }
    PyList_Append(g_log, entry);
    Py_DECREF(entry);
    if (g_raise_in && PyUnicode_CompareWithASCIIString(g_raise_in, name) == 0) {
        PyErr_Format(PyExc_ValueError, "raised inside %s", name);
    }
}

PyObject* texture_tuple(const Texture& t) {
    return Py_BuildValue("(Iiiii)", t.id, t.width, t.height, t.mipmaps, t.format);
}

PyObject* shader_tuple(const Shader& s) {
    return Py_BuildValue("(IK)", s.id,
                         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(s.locs)));
}

} // namespace

void DrawTextureRec(Texture2D texture, Rectangle source, Vector2 position, Color tint) {
    record("DrawTextureRec",
           Py_BuildValue("(sN(ffff)(ff)(BBBB))", "DrawTextureRec", texture_tuple(texture), source.x,
                         source.y, source.width, source.height, position.x, position.y, tint.r,
                         tint.g, tint.b, tint.a));
}

void DrawTexturePro(Texture2D texture, Rectangle source, Rectangle dest, Vector2 origin,
                    float rotation, Color tint) {
    record("DrawTexturePro",
           Py_BuildValue("(sN(ffff)(ffff)(ff)f(BBBB))", "DrawTexturePro", texture_tuple(texture),
                         source.x, source.y, source.width, source.height, dest.x, dest.y,
                         dest.width, dest.height, origin.x, origin.y, rotation, tint.r, tint.g,
                         tint.b, tint.a));
}

void BeginBlendMode(int mode) {
    record("BeginBlendMode", Py_BuildValue("(si)", "BeginBlendMode", mode));
}

void EndBlendMode(void) {
    record("EndBlendMode", Py_BuildValue("(s)", "EndBlendMode"));
}

void BeginTextureMode(RenderTexture2D target) {
    record("BeginTextureMode",
           Py_BuildValue("(sINN)", "BeginTextureMode", target.id, texture_tuple(target.texture),
                         texture_tuple(target.depth)));
}

void EndTextureMode(void) {
    record("EndTextureMode", Py_BuildValue("(s)", "EndTextureMode"));
}

void ClearBackground(Color color) {
    record("ClearBackground",
           Py_BuildValue("(s(BBBB))", "ClearBackground", color.r, color.g, color.b, color.a));
}

void BeginShaderMode(Shader shader) {
    record("BeginShaderMode", Py_BuildValue("(sN)", "BeginShaderMode", shader_tuple(shader)));
}

void EndShaderMode(void) {
    record("EndShaderMode", Py_BuildValue("(s)", "EndShaderMode"));
}

void SetShaderValue(Shader shader, int locIndex, const void* value, int uniformType) {
    record("SetShaderValue",
           Py_BuildValue("(sNiy#i)", "SetShaderValue", shader_tuple(shader), locIndex,
                         static_cast<const char*>(value), uniform_size(uniformType), uniformType));
}

int GetShaderLocation(Shader shader, const char* uniformName) {
    record("GetShaderLocation",
           Py_BuildValue("(sNy)", "GetShaderLocation", shader_tuple(shader), uniformName));
    if (PyErr_Occurred()) {
        return -1;
    }
    PyObject* name = PyBytes_FromString(uniformName);
    if (!name) {
        return -1;
    }
    PyObject* found = nullptr;
    const int status = PyDict_GetItemRef(g_locations, name, &found);
    Py_DECREF(name);
    if (status <= 0) {
        return -1;
    }
    const long location = PyLong_AsLong(found);
    Py_DECREF(found);
    return static_cast<int>(location);
}

void BeginDrawing(void) {
    record("BeginDrawing", Py_BuildValue("(s)", "BeginDrawing"));
}

void EndDrawing(void) {
    record("EndDrawing", Py_BuildValue("(s)", "EndDrawing"));
}

void SetShaderValueV(Shader shader, int locIndex, const void* value, int uniformType, int count) {
    const Py_ssize_t size = count > 0 ? uniform_size(uniformType) * count : 0;
    record("SetShaderValueV",
           Py_BuildValue("(sNiy#ii)", "SetShaderValueV", shader_tuple(shader), locIndex,
                         static_cast<const char*>(value), size, uniformType, count));
}

namespace {

struct Function {
    const char* name;
    void* address;
};

const Function kFunctions[] = {
    {"DrawTextureRec", reinterpret_cast<void*>(&DrawTextureRec)},
    {"DrawTexturePro", reinterpret_cast<void*>(&DrawTexturePro)},
    {"BeginBlendMode", reinterpret_cast<void*>(&BeginBlendMode)},
    {"EndBlendMode", reinterpret_cast<void*>(&EndBlendMode)},
    {"BeginTextureMode", reinterpret_cast<void*>(&BeginTextureMode)},
    {"EndTextureMode", reinterpret_cast<void*>(&EndTextureMode)},
    {"ClearBackground", reinterpret_cast<void*>(&ClearBackground)},
    {"BeginShaderMode", reinterpret_cast<void*>(&BeginShaderMode)},
    {"EndShaderMode", reinterpret_cast<void*>(&EndShaderMode)},
    {"SetShaderValue", reinterpret_cast<void*>(&SetShaderValue)},
    {"GetShaderLocation", reinterpret_cast<void*>(&GetShaderLocation)},
    {"BeginDrawing", reinterpret_cast<void*>(&BeginDrawing)},
    {"EndDrawing", reinterpret_cast<void*>(&EndDrawing)},
    {"SetShaderValueV", reinterpret_cast<void*>(&SetShaderValueV)},
};

PyObject* py_addresses(PyObject*, PyObject*) noexcept {
    PyObject* result = PyDict_New();
    if (!result) {
        return nullptr;
    }
    for (const Function& function : kFunctions) {
        PyObject* address = PyLong_FromVoidPtr(function.address);
        if (!address || PyDict_SetItemString(result, function.name, address) < 0) {
            Py_XDECREF(address);
            Py_DECREF(result);
            return nullptr;
        }
        Py_DECREF(address);
    }
    return result;
}

// Hands the log over and starts a new one, so that each read covers the calls made since the
// previous read (a test body can then run repeatedly, as the leak check runs it).
PyObject* py_calls(PyObject*, PyObject*) noexcept {
    PyObject* fresh = PyList_New(0);
    if (!fresh) {
        return nullptr;
    }
    PyObject* log = g_log;
    g_log = fresh;
    return log;
}

PyObject* py_clear(PyObject*, PyObject*) noexcept {
    if (PyList_SetSlice(g_log, 0, PyList_GET_SIZE(g_log), nullptr) < 0) {
        return nullptr;
    }
    PyDict_Clear(g_locations);
    Py_CLEAR(g_raise_in);
    g_calls_with_pending_error = 0;
    Py_RETURN_NONE;
}

PyObject* py_set_location(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs != 2 || !PyBytes_Check(args[0]) || !PyLong_Check(args[1])) {
        PyErr_SetString(PyExc_TypeError, "set_location(name: bytes, location: int)");
        return nullptr;
    }
    if (PyDict_SetItem(g_locations, args[0], args[1]) < 0) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* py_raise_in(PyObject*, PyObject* name) noexcept {
    if (name != Py_None && !PyUnicode_Check(name)) {
        PyErr_SetString(PyExc_TypeError, "raise_in(name: str | None)");
        return nullptr;
    }
    Py_XSETREF(g_raise_in, name == Py_None ? nullptr : Py_NewRef(name));
    Py_RETURN_NONE;
}

PyObject* py_calls_with_pending_error(PyObject*, PyObject*) noexcept {
    return PyLong_FromLong(g_calls_with_pending_error);
}

PyMethodDef methods[] = {
    {"addresses", py_addresses, METH_NOARGS,
     "The address of every fake raylib function, keyed by raylib name."},
    {"calls", py_calls, METH_NOARGS,
     "The calls logged since the previous calls() or clear(): one tuple per call."},
    {"clear", py_clear, METH_NOARGS,
     "Empties the log and forgets locations, raise_in and the pending-error count."},
    {"set_location", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_set_location)),
     METH_FASTCALL, "The location GetShaderLocation answers for a name (default -1)."},
    {"raise_in", py_raise_in, METH_O,
     "Makes the named function leave a ValueError pending after it logged its call."},
    {"calls_with_pending_error", py_calls_with_pending_error, METH_NOARGS,
     "How many calls arrived while a Python exception was already pending."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_fake(PyObject*) noexcept {
    if (!g_log) {
        g_log = PyList_New(0);
        g_locations = PyDict_New();
    }
    return g_log && g_locations ? 0 : -1;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_fake)},
    {Py_mod_gil, Py_MOD_GIL_USED},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "fake_raylib",
    "A recording stand-in for raylib's drawing functions.",
    0,
    methods,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace

PyMODINIT_FUNC PyInit_fake_raylib() {
    return PyModuleDef_Init(&module_def);
}
