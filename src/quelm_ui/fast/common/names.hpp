// Attribute and global names interned once at module set-up: a lookup by an interned str makes
// no string per call and hits CPython's type attribute cache.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/ref.hpp"

#include <cstddef>
#include <utility>

namespace qm {

// One entry of a module's name table: the member of its names struct and the text it holds.
template <typename Names>
struct NameDef {
    PyObject* Names::*field;
    const char* text;
};

// Interns every name of `defs` into `names`, releasing any held from an earlier exec. Returns
// 0, or -1 with an error set.
template <typename Names, size_t N>
int intern_names(Names& names, const NameDef<Names> (&defs)[N]) noexcept {
    for (const NameDef<Names>& def : defs) {
        Ref name = Ref::steal(PyUnicode_InternFromString(def.text));
        if (!name) {   // GCOVR_EXCL_BR_LINE: see below
            return -1; // GCOVR_EXCL_LINE: swept in the modules; the stand-ins' copy is not
        }
        replace_field(names.*def.field, std::move(name));
    }
    return 0;
}

} // namespace qm
