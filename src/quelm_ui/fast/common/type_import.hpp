// The import contract between native types: a type is fetched by module path and name, its
// record size is checked against the layout the importer was built with, and its native method
// table is taken from the unnamed capsule under "__pyx_vtable__" in the type's dictionary.
#pragma once

#include <Python.h>

#include <cstddef>

namespace qm {

// Publishes `table` (static storage) on a readied static type as its native method table.
int publish_vtable(PyTypeObject* type, const void* table) noexcept;

// Imports `module_path`, takes attribute `type_name`, and checks that it is a type whose
// records are at least `expected_size` bytes ("%.200s.%.200s is not a type object", "... size
// changed, may indicate binary incompatibility ..." as ValueError when smaller, as a warning
// when larger). Returns a new reference to the type, or nullptr with an error set.
PyTypeObject* import_type(const char* module_path, const char* type_name,
                          size_t expected_size) noexcept;

// The native method table of an imported type: KeyError when the type has none,
// RuntimeError "invalid vtable found for imported type" for a capsule without an address.
const void* get_vtable(PyTypeObject* type) noexcept;

// Both steps, with the table cast to the importer's declaration of it. `type` holds a reference
// (or null); a type held from an earlier exec is released when the new one is stored.
template <typename Table>
int import_type_with_table(const char* module_path, const char* type_name, size_t expected_size,
                           PyTypeObject*& type, const Table*& table) noexcept {
    PyTypeObject* imported = import_type(module_path, type_name, expected_size);
    if (!imported) {
        return -1;
    }
    const void* raw = get_vtable(imported);
    if (!raw) {
        Py_DECREF(imported);
        return -1;
    }
    PyTypeObject* old = type;
    type = imported;
    table = static_cast<const Table*>(raw);
    Py_XDECREF(old);
    return 0;
}

} // namespace qm
