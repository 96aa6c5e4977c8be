#pragma once
// Holding the interpreter from engine code: the logger's callable runs on whichever thread wrote
// the message, and Python references held by engine objects are released wherever those objects
// die. Engine work started from Python already holds it, so attaching is then only a nesting
// count.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kdpi_sys {

// True once the interpreter has begun to finalise.
bool interpreter_finalizing();

// Attaches the calling thread to the interpreter for the guard's lifetime. Attaching a thread
// that is not attached yet while the interpreter finalises is a broken invariant (panic).
class AttachedThread {
  public:
    AttachedThread();
    ~AttachedThread();
    AttachedThread(const AttachedThread&) = delete;
    AttachedThread& operator=(const AttachedThread&) = delete;

  private:
    PyGILState_STATE state_;
};

// Releases one reference to `object` (null is ignored) with the thread attached. While the
// interpreter finalises, a thread that is not attached leaks the reference instead: the objects
// are about to go anyway, and attaching could block for ever.
void release_reference(PyObject* object) noexcept;

}  // namespace kdpi_sys
