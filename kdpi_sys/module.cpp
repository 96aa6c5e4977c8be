// Initialisation of kdpi._sys. The module object is made once per process: the engine's state
// behind it is process-wide, so a second interpreter must not get a module of its own.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"

namespace {

constexpr const char* module_doc =
    "Wires the native functions of the Keldrane engine into kdpi._sys.";
constexpr const char* second_interpreter_text =
    "kdpi._sys can be imported in only one interpreter per process; "
    "it was already initialised in another one";

// m_size 0 rather than -1: with -1 the interpreter re-creates the module from a copy of its
// dictionary and lets sub-interpreters import it without calling the init function again.
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_sys", module_doc, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// Written only during initialisation, which the import lock for this module serialises.
PyObject* module_object = nullptr;
std::int64_t module_interpreter = -1;

PyObject* create_module() {
    PyObject* module = PyModule_Create2(&module_def, 1013);
    if (module == nullptr) return nullptr;
#ifdef Py_GIL_DISABLED
    if (PyUnstable_Module_SetGIL(module, Py_MOD_GIL_USED) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
#endif
    if (kdpi_sys::panic_exception_type() == nullptr || kdpi_sys::add_members(module) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

PyObject* initialise() {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter < 0) return nullptr;
    if (module_object != nullptr) {
        if (interpreter != module_interpreter) {
            PyErr_SetString(PyExc_ImportError, second_interpreter_text);
            return nullptr;
        }
        return Py_NewRef(module_object);
    }
    PyObject* module = create_module();
    if (module == nullptr) return nullptr;
    module_object = Py_NewRef(module);  // kept for the life of the process
    module_interpreter = interpreter;
    return module;
}

}  // namespace

PyMODINIT_FUNC PyInit__sys(void) { return kdpi_sys::call_guarded(initialise); }
