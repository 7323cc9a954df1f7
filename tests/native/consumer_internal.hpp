// Declarations shared by the translation units of the native consumer test bed.
#pragma once

#include <Python.h>

namespace qm::testbeds {

// Fetches the dispatcher types and their native tables and adds the functions that drive them.
int add_dispatch_functions(PyObject* module) noexcept;

} // namespace qm::testbeds
