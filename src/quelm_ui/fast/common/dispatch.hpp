// Overridable native entries: called natively with the dispatch flag set (0 in the signature
// texts' `int __pyx_skip_dispatch`), an entry defers to a Python subclass's method of the same
// name when there is one.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/function.hpp"
#include "quelm_ui/fast/common/ref.hpp"

namespace qm {

// The dispatch flag as native callers pass it: zero means "honour Python overrides".
inline bool should_dispatch(int skip_dispatch) noexcept {
    return skip_dispatch == 0;
}

// Finds a Python override of the method `name` (an interned str) whose native body is `impl`. Only
// instances of Python subclasses (a heap type, or one with an instance dict) are looked at. Returns
// the attribute (a new reference) when it is not the type's own method, an empty Ref with no error
// when there is no override, and an empty Ref with an error when the lookup failed.
// May call back into Python (attribute lookup).
Ref find_override(PyObject* self, PyObject* name, FastImpl impl) noexcept;

} // namespace qm
