#pragma once
// Taking the pending Python exception out of the interpreter and putting it back, across the
// versions we build for: the fetch/restore triple is deprecated from 3.12 on.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

namespace kdpi_sys {

// Removes the pending exception and returns it normalised (a new reference), or nullptr when
// none is pending.
PyObject* take_pending_error();

// Makes `exception` (an exception instance, reference stolen) the pending exception again;
// nullptr leaves the indicator clear.
void restore_pending_error(PyObject* exception);

// Sets an exception of `type` whose message is `text` (UTF-8). Unlike PyErr_SetString it keeps a
// text that holds NUL characters (from names or messages of Python origin) whole.
void set_error_text(PyObject* type, std::string_view text);

}  // namespace kdpi_sys
