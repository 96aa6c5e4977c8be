#include "kdpi_sys/python_panic.hpp"

#include <fmt/format.h>

#include <cstdio>

#include "kdpi_sys/attached_thread.hpp"
#include "kdpi_sys/python_error.hpp"

namespace kdpi_sys {

namespace {

std::string text_or(PyObject* text, const char* fallback) {
    const char* utf8 = text == nullptr ? nullptr : PyUnicode_AsUTF8(text);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return fallback;
    }
    return utf8;
}

// "{qualified type name}: {text}" of an exception.
std::string describe(PyObject* exception) {
    if (exception == nullptr) return "no exception set";
    PyObject* qualname = PyType_GetQualName(Py_TYPE(exception));
    std::string text = text_or(qualname, Py_TYPE(exception)->tp_name);
    Py_XDECREF(qualname);
    PyObject* shown = PyObject_Str(exception);
    text += ": " + text_or(shown, "<exception str() failed>");
    Py_XDECREF(shown);
    return text;
}

}  // namespace

PythonPanic::PythonPanic(const std::string& message, PyObject* exception)
    : kdinstr::utils::Panic(message), exception_(exception, &release_reference) {}

PythonPanic python_panic_from_pending_error(const std::string& context) {
    PyObject* exception = take_pending_error();
    const std::string message = fmt::format("{}: {}", context, describe(exception));
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    return PythonPanic(message, exception);
}

void panic_with_pending_error(const std::string& context) {
    throw python_panic_from_pending_error(context);
}

}  // namespace kdpi_sys
