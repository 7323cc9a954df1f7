// A no-op stand-in for raylib, for the benchmark: the fourteen functions the bridge calls, with
// raylib's exact prototypes, each only counting the call. Also a Python extension module
// (quelm_ui_testbeds.noop_raylib) that hands out the addresses and the count; ctypes and cffi
// load the same file by path and find the functions by their raylib names.
#include <Python.h>

#include "raylib_decls.h"

namespace {

unsigned long long g_count = 0;

} // namespace

void DrawTextureRec(Texture2D, Rectangle, Vector2, Color) {
    ++g_count;
}

void DrawTexturePro(Texture2D, Rectangle, Rectangle, Vector2, float, Color) {
    ++g_count;
}

void BeginBlendMode(int) {
    ++g_count;
}

void EndBlendMode(void) {
    ++g_count;
}

void BeginTextureMode(RenderTexture2D) {
    ++g_count;
}

void EndTextureMode(void) {
    ++g_count;
}

void ClearBackground(Color) {
    ++g_count;
}

void BeginShaderMode(Shader) {
    ++g_count;
}

void EndShaderMode(void) {
    ++g_count;
}

void SetShaderValue(Shader, int, const void*, int) {
    ++g_count;
}

int GetShaderLocation(Shader, const char*) {
    ++g_count;
    return -1;
}

void BeginDrawing(void) {
    ++g_count;
}

void EndDrawing(void) {
    ++g_count;
}

void SetShaderValueV(Shader, int, const void*, int, int) {
    ++g_count;
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

PyObject* py_count(PyObject*, PyObject*) noexcept {
    return PyLong_FromUnsignedLongLong(g_count);
}

PyObject* py_reset(PyObject*, PyObject*) noexcept {
    g_count = 0;
    Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    {"addresses", py_addresses, METH_NOARGS,
     "The address of every no-op raylib function, keyed by raylib name."},
    {"count", py_count, METH_NOARGS, "How many calls the no-op functions received."},
    {"reset", py_reset, METH_NOARGS, "Sets the call count back to zero."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {
    {Py_mod_gil, Py_MOD_GIL_USED},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "noop_raylib",
    "A no-op stand-in for raylib's drawing functions.",
    0,
    methods,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace

PyMODINIT_FUNC PyInit_noop_raylib() {
    return PyModuleDef_Init(&module_def);
}
