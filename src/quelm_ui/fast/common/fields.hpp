// Read/write properties over record fields, for getset tables: the closure points at a constant
// holding the field's byte offset in the record (`field_offset<offsetof(Record, field)>()`).
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/ref.hpp"

#include <cstddef>

namespace qm {

template <size_t Offset>
inline constexpr size_t kFieldOffset = Offset;

// A pointer to a constant rather than the offset cast to a pointer, which is no constant
// expression: getset tables stay constant-initialised, so no code of a module runs at load.
template <size_t Offset>
consteval void* field_offset() noexcept {
    return const_cast<size_t*>(&kFieldOffset<Offset>);
}

// The field of `self` that a `field_offset` closure designates.
template <typename T>
T& field_at(PyObject* self, void* closure) noexcept {
    return *reinterpret_cast<T*>(reinterpret_cast<char*>(self) +
                                 *static_cast<const size_t*>(closure));
}

// A plain object field (a PyObject* holding a reference, never null once initialised): reading
// returns the stored object, assignment accepts anything, `del` stores None.
PyObject* object_field_get(PyObject* self, void* offset) noexcept;
int object_field_set(PyObject* self, PyObject* value, void* offset) noexcept;

// A signed 32-bit field: the integer conversion with its range check ("value too large to
// convert to int"); `del` raises NotImplementedError "__del__". A failed assignment leaves the
// field unchanged.
PyObject* int32_field_get(PyObject* self, void* offset) noexcept;
int int32_field_set(PyObject* self, PyObject* value, void* offset) noexcept;

// Getset entries for the two kinds of field above; `Offset` is `offsetof(Record, field)`.
template <size_t Offset>
consteval PyGetSetDef object_property(const char* name) noexcept {
    return {name, object_field_get, object_field_set, nullptr, field_offset<Offset>()};
}

template <size_t Offset>
consteval PyGetSetDef int32_property(const char* name) noexcept {
    return {name, int32_field_get, int32_field_set, nullptr, field_offset<Offset>()};
}

// Object fields given as a constant array of member pointers (`PyObject* Record::*`), each
// holding a reference, None when unset. tp_new sets them with init_fields_none; a type whose
// only references they are takes traverse_fields, clear_fields and dealloc_fields as its slots.
template <typename Record, size_t N>
void init_fields_none(Record* record, PyObject* Record::*const (&fields)[N]) noexcept {
    for (auto field : fields) {
        record->*field = Py_NewRef(Py_None);
    }
}

// `self` as the record the member pointers in `fields` belong to.
template <typename Record, size_t N>
Record* field_record(PyObject* self, PyObject* Record::*const (&)[N]) noexcept {
    return reinterpret_cast<Record*>(self);
}

// For tp_dealloc: drops every reference and leaves the fields null.
template <const auto& fields>
void release_fields(PyObject* self) noexcept {
    auto* record = field_record(self, fields);
    for (auto field : fields) {
        Py_CLEAR(record->*field); // GCOVR_EXCL_BR_LINE: the field is never null here
    }
}

template <const auto& fields>
int traverse_fields(PyObject* self, visitproc visit, void* arg) noexcept {
    auto* record = field_record(self, fields);
    for (auto field : fields) {
        Py_VISIT(record->*field); // GCOVR_EXCL_BR_LINE: the collector's visit functions return 0
    }
    return 0;
}

// Back to None, each old value released after its field is rewritten.
template <const auto& fields>
int clear_fields(PyObject* self) noexcept {
    auto* record = field_record(self, fields);
    for (auto field : fields) {
        replace_field(record->*field, Ref::borrow(Py_None));
    }
    return 0;
}

// Untrack, release the fields, free (types without weak references).
template <const auto& fields>
void dealloc_fields(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    release_fields<fields>(self);
    Py_TYPE(self)->tp_free(self);
}

} // namespace qm
