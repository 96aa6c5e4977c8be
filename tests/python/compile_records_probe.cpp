// A throw-away extension module that runs the compile-record readers of kdpi_sys on records of
// the engine's shape, until a module function of kdpi._sys reads them.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kdpi_sys/compile_records.hpp"

namespace {

enum class ModuleSourceType : std::uint32_t { Assembly = 0 };

struct ModuleSourceInfo {
    ModuleSourceType source_type = ModuleSourceType::Assembly;
    std::optional<std::string> filename;
    std::string data;
    std::optional<std::string_view> borrowed_data;
};

struct ModuleCompileInfo {
    std::vector<ModuleSourceInfo> sources;
};

// The record as a list of (source_type, filename, data) tuples.
PyObject* read_compile_info(PyObject*, PyObject* object) {
    kdpi_sys::TextOwners owners;
    auto info = kdpi_sys::read_module_compile_info_argument<ModuleCompileInfo>(object, owners);
    if (!info) return nullptr;
    PyObject* list = PyList_New(0);
    if (list == nullptr) return nullptr;
    for (const auto& source : info->sources) {
        // The text is viewed, never copied into `data`.
        if (!source.borrowed_data || !source.data.empty()) {
            PyErr_SetString(PyExc_AssertionError, "the source text was copied");
            Py_DECREF(list);
            return nullptr;
        }
        const std::string_view data = *source.borrowed_data;
        PyObject* item =
            Py_BuildValue("(Izs#)", static_cast<unsigned>(source.source_type),
                          source.filename ? source.filename->c_str() : nullptr, data.data(),
                          static_cast<Py_ssize_t>(data.size()));
        if (item == nullptr || PyList_Append(list, item) < 0) {
            Py_XDECREF(item);
            Py_DECREF(list);
            return nullptr;
        }
        Py_DECREF(item);
    }
    return list;
}

PyMethodDef methods[] = {
    {"read_compile_info", read_compile_info, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_compile_records_probe",
    nullptr,
    0,
    methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__compile_records_probe(void) { return PyModule_Create(&module_def); }
