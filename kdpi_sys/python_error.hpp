#pragma once
// Taking the pending Python exception out of the interpreter and putting it back, across the
// versions we build for: the fetch/restore triple is deprecated from 3.12 on.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kdpi_sys {

// Removes the pending exception and returns it normalised (a new reference), or nullptr when
// none is pending.
PyObject* take_pending_error();

// Makes `exception` (an exception instance, reference stolen) the pending exception again;
// nullptr leaves the indicator clear.
void restore_pending_error(PyObject* exception);

}  // namespace kdpi_sys
