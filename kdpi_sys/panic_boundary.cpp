#include "kdpi_sys/panic_boundary.hpp"

#include <cstdio>
#include <exception>

#include "kdinstr/utils/panic.hpp"
#include "kdpi_sys/python_error.hpp"
#include "kdpi_sys/python_panic.hpp"

namespace kdpi_sys {

namespace {

constexpr const char* panic_exception_name = "pyo3_runtime.PanicException";
constexpr const char* panic_exception_doc =
    "Raised when the native core of kdpi finds one of its own invariants broken.\n"
    "\n"
    "It derives from BaseException, like SystemExit, so that handlers for Exception let it\n"
    "through: the operation that raised it cannot be trusted to have left a usable result.";

// Interpreter-lifetime object: never released, as is usual for exception types of extensions.
PyObject* panic_type = nullptr;

void print_panic(const char* message) {
    std::fprintf(stderr, "%s\n", message);
    std::fflush(stderr);
}

}  // namespace

PyObject* panic_exception_type() {
    if (panic_type == nullptr) {
        panic_type = PyErr_NewExceptionWithDoc(panic_exception_name, panic_exception_doc,
                                               PyExc_BaseException, nullptr);
    }
    return panic_type;
}

void raise_panic(std::string_view message, PyObject* cause) noexcept {
    PyObject* pending = take_pending_error();
    PyObject* type = panic_exception_type();
    if (type == nullptr) {
        // The type could not be made (out of memory): that error stands in for the panic.
        Py_XDECREF(pending);
        return;
    }
    PyObject* text =
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    PyObject* panic = text == nullptr ? nullptr : PyObject_CallOneArg(type, text);
    Py_XDECREF(text);
    if (panic == nullptr) {
        Py_XDECREF(pending);
        return;
    }
    if (pending == nullptr && cause != nullptr) pending = Py_NewRef(cause);
    if (cause != nullptr) PyException_SetCause(panic, Py_NewRef(cause));
    if (pending == nullptr) {
        PyErr_SetObject(type, panic);  // chains an exception being handled, as `raise` would
        Py_DECREF(panic);
        return;
    }
    PyException_SetContext(panic, pending);  // steals `pending`
    // Not PyErr_SetObject: it would replace that context by an exception being handled.
    restore_pending_error(panic);
}

void raise_active_cpp_exception() noexcept {
    try {
        throw;
    } catch (const PythonPanic& panic) {
        raise_panic(panic.what(), panic.exception());
    } catch (const kdinstr::utils::Panic& panic) {
        raise_panic(panic.what());
    } catch (const std::exception& error) {
        print_panic(error.what());
        raise_panic(error.what());
    } catch (...) {
        constexpr const char* unknown = "unknown C++ exception";
        print_panic(unknown);
        raise_panic(unknown);
    }
}

void report_unraisable(PyObject* context) noexcept {
    if (PyErr_Occurred() != nullptr) PyErr_WriteUnraisable(context);
}

}  // namespace kdpi_sys
