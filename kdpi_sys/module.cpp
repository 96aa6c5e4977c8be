#define PY_SSIZE_T_CLEAN
#include <Python.h>

static PyModuleDef kd_module_def = {PyModuleDef_HEAD_INIT, "_sys", nullptr, 0, nullptr,
                                    nullptr,               nullptr, nullptr, nullptr};

PyMODINIT_FUNC PyInit__sys(void) { return PyModule_Create2(&kd_module_def, 1013); }
