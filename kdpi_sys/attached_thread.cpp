#include "kdpi_sys/attached_thread.hpp"

#include "kdinstr/utils/panic.hpp"

namespace kdpi_sys {

namespace {

constexpr const char* finalizing_text =
    "Cannot attach to the Python interpreter while it is finalizing.";

}  // namespace

bool interpreter_finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

AttachedThread::AttachedThread() {
    if (PyGILState_Check() == 0 && interpreter_finalizing()) kdinstr::utils::panic(finalizing_text);
    state_ = PyGILState_Ensure();
}

AttachedThread::~AttachedThread() { PyGILState_Release(state_); }

void release_reference(PyObject* object) noexcept {
    if (object == nullptr) return;
    if (PyGILState_Check() != 0) {
        Py_DECREF(object);
        return;
    }
    if (interpreter_finalizing()) return;
    const PyGILState_STATE state = PyGILState_Ensure();
    Py_DECREF(object);
    PyGILState_Release(state);
}

}  // namespace kdpi_sys
