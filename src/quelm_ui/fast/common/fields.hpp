// Read/write properties over record fields, for getset tables: the closure is the field's byte
// offset in the record (`field_offset(offsetof(Record, field))`).
#pragma once

#include <Python.h>

#include <cstddef>

namespace qm {

inline void* field_offset(size_t offset) noexcept {
    return reinterpret_cast<void*>(offset);
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

} // namespace qm
