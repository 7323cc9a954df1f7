// The one way this module includes NumPy's C API: built against NumPy 2.x headers, usable with
// NumPy 1.25 or later, with a table symbol of its own. hit_arrays.cpp defines the table
// (QM_NUMPY_DEFINE_TABLE) and fills it when the module's exec calls import_numpy().
#pragma once

#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define NPY_TARGET_VERSION NPY_1_25_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL qm_zdispatch_ARRAY_API
#if !defined(QM_NUMPY_DEFINE_TABLE)
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
