#pragma once
// The logger's Python side: a Python callable wrapped as the engine's LogCallbackEXT, and the
// dictionary each message becomes.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "kdcore/ext/kdlog/log_callback.hpp"
#include "kdcore/ext/kdlog/log_message.hpp"

namespace kdpi_sys {

// Wraps `callable` (borrowed; the callback keeps its own strong reference, released with the
// thread attached when the callback is dropped). Calling the callback attaches the thread, hands
// the callable the message's dictionary as its single argument and drops the result; an
// exception raised there is a broken invariant: PythonPanic, thrown after detaching. The callable
// is the callback's foreign object, which the Instance holding the logger shows to the cycle
// collector.
kdcore::ext::kdlog::LogCallbackEXT make_log_callback(PyObject* callable);

// A new dict with the keys, in this order: "level" (int 0..4), "timepoint" (naive
// datetime.datetime, microseconds = nanoseconds / 1000), "message", "module", "file" (str or
// None), "line" (int or None), "thread_name" (str or None). Null with a Python error set on
// failure.
PyObject* log_message_dict(kdcore::ext::kdlog::LogMessageEXT message);

}  // namespace kdpi_sys
