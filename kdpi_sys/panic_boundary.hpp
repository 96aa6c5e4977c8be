#pragma once
// The line no C++ exception crosses: every function CPython calls into runs its body through one
// of these guards. A panic (kdinstr::utils::Panic, or any other C++ exception, which is a broken
// invariant just the same) becomes the Python exception PanicException carrying the panic text.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <utility>

#include "kdpi_sys/python_error.hpp"

namespace kdpi_sys {

// The PanicException type ("pyo3_runtime.PanicException", derived from BaseException so that
// `except Exception` lets it through). Made once per process on the first call, which module
// initialisation performs; returns a borrowed reference, or nullptr with a Python error set when
// it cannot be made.
PyObject* panic_exception_type();

// Sets PanicException(message) as the pending Python exception. A Python exception that was
// already pending is kept as the panic's __context__ instead of being lost. `cause` (borrowed,
// may be null), the Python exception that made the panic, becomes its __cause__ (and its
// __context__ when nothing was pending).
void raise_panic(std::string_view message, PyObject* cause = nullptr) noexcept;

// To be called inside a catch block: turns the exception being handled into PanicException.
// Panics have printed their text to standard error already; other C++ exceptions are printed
// here so that every panic leaves the same trace. A panic made by a Python exception
// (PythonPanic) keeps that exception as the PanicException's cause.
void raise_active_cpp_exception() noexcept;

// Runs `body` (returning R) and returns its result; a C++ exception ends it with `on_failure` and
// PanicException pending.
template <typename R, typename F>
R call_guarded(R on_failure, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        raise_active_cpp_exception();
        return on_failure;
    }
}

// The usual shape of a module function: a body returning a new reference or nullptr.
template <typename F>
PyObject* call_guarded(F&& body) noexcept {
    return call_guarded<PyObject*>(nullptr, std::forward<F>(body));
}

// Hands a pending Python exception, if any, to the unraisable-exception hook with `context` as
// the object it concerns.
void report_unraisable(PyObject* context) noexcept;

// For tp_dealloc and other places that cannot raise: runs `body` (returning nothing) with any
// pending exception set aside, reports a panic or a Python exception left by `body` through the
// unraisable-exception hook with `context` as the object (pass the type, not the dying object),
// then puts the set-aside exception back.
template <typename F>
void call_guarded_unraisable(PyObject* context, F&& body) noexcept {
    PyObject* saved = take_pending_error();
    try {
        std::forward<F>(body)();
    } catch (...) {
        raise_active_cpp_exception();
    }
    report_unraisable(context);
    restore_pending_error(saved);
}

}  // namespace kdpi_sys
