// A throw-away extension module that drives the panic boundary and the type helper of kdpi._sys
// directly: the module itself offers no way to provoke a panic on purpose.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <stdexcept>
#include <string>

#include "kdinstr/utils/panic.hpp"
#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"

namespace {

std::string text_of(PyObject* arg) {
    const char* utf8 = PyUnicode_AsUTF8(arg);
    return utf8 == nullptr ? std::string() : std::string(utf8);
}

PyObject* panic_type(PyObject*, PyObject*) { return Py_NewRef(kdpi_sys::panic_exception_type()); }

PyObject* panic(PyObject*, PyObject* arg) {
    const std::string message = text_of(arg);
    return kdpi_sys::call_guarded([&]() -> PyObject* { kdinstr::utils::panic(message); });
}

PyObject* throw_runtime_error(PyObject*, PyObject* arg) {
    const std::string message = text_of(arg);
    return kdpi_sys::call_guarded([&]() -> PyObject* { throw std::runtime_error(message); });
}

PyObject* throw_int(PyObject*, PyObject*) {
    return kdpi_sys::call_guarded([]() -> PyObject* { throw 42; });
}

// A Python error is pending when the panic happens.
PyObject* panic_over_pending(PyObject*, PyObject* arg) {
    const std::string message = text_of(arg);
    return kdpi_sys::call_guarded([&]() -> PyObject* {
        PyErr_SetString(PyExc_ValueError, "pending");
        kdinstr::utils::panic(message);
    });
}

// As in tp_dealloc reached while the caller's KeyError is pending: the panic goes to the
// unraisable hook and the KeyError reaches the caller.
PyObject* panic_unraisable(PyObject*, PyObject* args) {
    PyObject* context = nullptr;
    const char* message = nullptr;
    if (!PyArg_ParseTuple(args, "Os", &context, &message)) return nullptr;
    PyErr_SetString(PyExc_KeyError, "kept");
    kdpi_sys::call_guarded_unraisable(context, [&] { kdinstr::utils::panic(message); });
    return nullptr;
}

// The body leaves a Python error behind without throwing.
PyObject* error_unraisable(PyObject*, PyObject* context) {
    kdpi_sys::call_guarded_unraisable(context,
                                      [] { PyErr_SetString(PyExc_RuntimeError, "left behind"); });
    if (PyErr_Occurred() != nullptr) return nullptr;
    Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    {"panic_type", panic_type, METH_NOARGS, nullptr},
    {"panic", panic, METH_O, nullptr},
    {"throw_runtime_error", throw_runtime_error, METH_O, nullptr},
    {"throw_int", throw_int, METH_NOARGS, nullptr},
    {"panic_over_pending", panic_over_pending, METH_O, nullptr},
    {"panic_unraisable", panic_unraisable, METH_VARARGS, nullptr},
    {"error_unraisable", error_unraisable, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot handle_slots[] = {
    {Py_tp_doc, const_cast<char*>("An opaque handle.")},
    {0, nullptr},
};

// Shaped like the module's handle classes.
PyType_Spec handle_spec = {
    "builtins.Handle", sizeof(PyObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    handle_slots,
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_panic_probe", nullptr, 0, methods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__panic_probe(void) {
    PyObject* module = PyModule_Create(&module_def);
    if (module == nullptr) return nullptr;
    PyTypeObject* handle = kdpi_sys::add_type(module, &handle_spec);
    if (handle == nullptr) {
        Py_DECREF(module);
        return nullptr;
    }
    Py_DECREF(handle);
    return module;
}
