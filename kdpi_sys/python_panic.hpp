#pragma once
// A panic caused by a Python exception that Python code called from the engine raised (the
// logger's callable). The exception travels with the panic, so that the PanicException raised at
// the module function's boundary, or the unraisable report, can name it as its cause; the
// interpreter's error indicator stays clear meanwhile, so Python code that runs while the stack
// unwinds (the teardown line of a failing creation) is called cleanly.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <string>

#include "kdinstr/utils/panic.hpp"

namespace kdpi_sys {

class PythonPanic : public kdinstr::utils::Panic {
  public:
    // Takes over `exception` (a new reference; may be null).
    PythonPanic(const std::string& message, PyObject* exception);

    // Borrowed; may be null.
    PyObject* exception() const { return exception_.get(); }

  private:
    // Shared because thrown objects are copied; the last copy releases the reference.
    std::shared_ptr<PyObject> exception_;
};

// Takes the pending Python exception, prints `context` + ": {type}: {text}" to standard error
// and returns the PythonPanic with that text, carrying the exception; for a caller that must
// let go of the interpreter before it throws.
PythonPanic python_panic_from_pending_error(const std::string& context);

// As python_panic_from_pending_error, then throws the panic.
[[noreturn]] void panic_with_pending_error(const std::string& context);

}  // namespace kdpi_sys
