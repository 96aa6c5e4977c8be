#pragma once
// Failures that no caller can receive (an exception thrown while an instance is torn down, for
// instance a logger callable raising again while a failing creation is being unwound) go to the
// interpreter's unraisable-exception hook.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kdpi_sys {

// Installs the engine's unraisable hook: each report becomes a PanicException (its cause the
// Python exception behind it, if any) handed to PyErr_WriteUnraisable with `context` (a
// borrowed reference that must live as long as the process, such as a handle type) as the
// object it concerns. The caller's pending exception, if any, is kept.
void install_unraisable_hook(PyObject* context);

}  // namespace kdpi_sys
