#include "kdpi_sys/python_error.hpp"

namespace kdpi_sys {

PyObject* take_pending_error() {
#if PY_VERSION_HEX >= 0x030C0000
    return PyErr_GetRaisedException();
#else
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) return nullptr;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return value;
#endif
}

void restore_pending_error(PyObject* exception) {
    if (exception == nullptr) return;
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception);
#else
    PyObject* type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exception)));
    PyErr_Restore(type, exception, PyException_GetTraceback(exception));
#endif
}

void set_error_text(PyObject* type, std::string_view text) {
    PyObject* message =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (message == nullptr) return;
    PyErr_SetObject(type, message);
    Py_DECREF(message);
}

}  // namespace kdpi_sys
