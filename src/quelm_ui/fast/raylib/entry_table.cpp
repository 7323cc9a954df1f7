// The raylib entry table and init_raylib_pointers, which fills it from a dictionary of function
// addresses keyed by raylib function name.
#include "quelm_ui/fast/raylib/raylib_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"

#include <cstdint>
#include <type_traits>

namespace qm::raylib {

EntryTable g_entries{};

int not_bound(const char* raylib_name) noexcept {
    PyErr_Format(PyExc_RuntimeError,
                 "raylib function %s is not bound: call init_raylib_pointers first", raylib_name);
    return -1;
}

namespace {

// Stores an address (0 makes the slot null again) into one slot, typed as that slot.
template <auto Slot>
void store_slot(uint64_t address) noexcept {
    using Function = std::remove_reference_t<decltype(g_entries.*Slot)>;
    g_entries.*Slot = reinterpret_cast<Function>(static_cast<uintptr_t>(address));
}

struct SlotKey {
    const char* key;
    void (*store)(uint64_t address) noexcept;
};

// The keys in the order init_raylib_pointers walks them: the table's slot order.
constexpr SlotKey kSlotKeys[kEntryCount] = {
    {"DrawTextureRec", store_slot<&EntryTable::draw_texture_rec>},
    {"DrawTexturePro", store_slot<&EntryTable::draw_texture_pro>},
    {"BeginBlendMode", store_slot<&EntryTable::begin_blend_mode>},
    {"EndBlendMode", store_slot<&EntryTable::end_blend_mode>},
    {"BeginTextureMode", store_slot<&EntryTable::begin_texture_mode>},
    {"EndTextureMode", store_slot<&EntryTable::end_texture_mode>},
    {"ClearBackground", store_slot<&EntryTable::clear_background>},
    {"BeginShaderMode", store_slot<&EntryTable::begin_shader_mode>},
    {"EndShaderMode", store_slot<&EntryTable::end_shader_mode>},
    {"SetShaderValue", store_slot<&EntryTable::set_shader_value>},
    {"GetShaderLocation", store_slot<&EntryTable::get_shader_location>},
    {"BeginDrawing", store_slot<&EntryTable::begin_drawing>},
    {"EndDrawing", store_slot<&EntryTable::end_drawing>},
    {"SetShaderValueV", store_slot<&EntryTable::set_shader_value_v>},
};

// Walks the keys in slot order and stores each present one at once; the first value that does
// not convert stops the walk, keeping the slots stored before it. May call back into Python
// (__int__, key comparisons).
int fill_table(PyObject* pointers) noexcept {
    for (const SlotKey& slot : kSlotKeys) {
        PyObject* raw = nullptr;
        const int found = PyDict_GetItemStringRef(pointers, slot.key, &raw);
        if (found < 0) {
            return -1;
        }
        if (found == 0) {
            continue;
        }
        Ref value = Ref::steal(raw);
        uint64_t address = 0;
        if (to_uint64(value.get(), address, "size_t") < 0) {
            return -1;
        }
        slot.store(address);
    }
    return 0;
}

PyObject* py_init_raylib_pointers(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) noexcept {
    static constexpr const char* names[] = {"pointers"};
    static constexpr ArgSpec spec{"init_raylib_pointers", names, 1, 1};
    PyObject* pointers = nullptr;
    if (parse_args(spec, args, nargs, kwnames, &pointers) < 0 ||
        check_arg_exact(pointers, &PyDict_Type, "pointers") < 0) {
        traceback("init_raylib_pointers");
        return nullptr;
    }
    init_raylib_pointers(pointers, 1);
    return none_or_error("init_raylib_pointers");
}

constexpr FunctionDef kTableFunctions[] = {
    {"init_raylib_pointers", py_init_raylib_pointers, FunctionKind::Module, "(pointers)", "None",
     "Stores raylib function addresses in the bridge's entry table.\n"
     "\n"
     "The fourteen keys are DrawTextureRec, DrawTexturePro, BeginBlendMode, EndBlendMode, "
     "BeginTextureMode, EndTextureMode, ClearBackground, BeginShaderMode, EndShaderMode, "
     "SetShaderValue, GetShaderLocation, BeginDrawing, EndDrawing and SetShaderValueV, walked "
     "in that order. A key that is absent keeps its slot, 0 makes a slot null again, other keys "
     "are ignored, so the table may be filled by several calls. Each address must be that "
     "raylib function, with raylib's prototype.\n"
     "\n"
     "Args:\n"
     "    pointers: exactly a dict of raylib function name to address (an int, or an object "
     "with __int__).\n"
     "\n"
     "Returns:\n"
     "    None.\n"
     "\n"
     "Raises:\n"
     "    TypeError: \"'NoneType' object is not iterable\" for None; pointers is not a dict (a "
     "subclass included); an address without an integer conversion.\n"
     "    OverflowError: \"can't convert negative value to size_t\" for a negative address. The "
     "slots stored before a failing key keep their new values.\n"},
};

} // namespace

void init_raylib_pointers(PyObject* pointers, int) noexcept {
    if (pointers == Py_None) {
        PyErr_SetString(PyExc_TypeError, "'NoneType' object is not iterable");
    } else if (!PyDict_CheckExact(pointers)) {
        err::expected_got("dict", pointers);
    } else if (fill_table(pointers) == 0) {
        return;
    }
    traceback("init_raylib_pointers");
}

PyObject* none_or_error(const char* name) noexcept {
    if (PyErr_Occurred()) {
        traceback(name);
        return nullptr;
    }
    Py_RETURN_NONE;
}

std::span<const FunctionDef> table_functions() noexcept {
    return kTableFunctions;
}

} // namespace qm::raylib
