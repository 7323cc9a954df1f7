// The processor check behind each module's exported entry point: on x86-64, an ImportError naming
// what is missing, instead of an illegal instruction, on a processor without AVX2 and FMA; on
// aarch64 the baseline is enough.
#pragma once

#include <Python.h>

namespace qm {

// A module's real definition function (built for AVX2): returns PyModuleDef_Init's result.
using ModuleDefinitionFunc = PyObject* (*)() noexcept;

// For PyInit_<module>: returns `definition()` (the module's static definition, not a new
// reference) when the processor has AVX2 and FMA and the operating system saves AVX register
// state; otherwise raises ImportError "<dotted_path> needs a processor with AVX2 and FMA; this
// one lacks <the missing features>" and returns nullptr without calling `definition`.
// Built for baseline x86-64, like the entry points that call it; it calls nothing built for AVX2
// before the check has passed. On aarch64 it returns `definition()`.
PyObject* init_on_supported_cpu(const char* dotted_path, ModuleDefinitionFunc definition) noexcept;

} // namespace qm
