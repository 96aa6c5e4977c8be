// _kd_load_module: compiled module storage into an instance, as a Module handle.
#define PY_SSIZE_T_CLEAN
#include "kdcore/compiler/load_module.hpp"

#include <Python.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "kdpi_sys/args.hpp"
#include "kdpi_sys/instance_handle.hpp"
#include "kdpi_sys/module_handle.hpp"
#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"
#include "kdpi_sys/python_error.hpp"

namespace kdpi_sys {

namespace {

// Engine failures: the prefix, then the error's message.
constexpr std::string_view load_failed_prefix = "Failed to load compiled module: ";

constexpr Signature<2> load_module_signature{"_kd_load_module", {"instance", "module_data"}};

PyObject* load_module(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_guarded([&]() -> PyObject* {
        const auto arguments = parse_arguments(load_module_signature, args, nargs, kwnames);
        if (!arguments) return nullptr;
        const auto [handle, module_data] = *arguments;
        if (!check_argument_type("instance", handle, instance_type())) return nullptr;
        if (!check_argument_type("module_data", module_data, &PyBytes_Type)) return nullptr;
        // A strong reference of our own: the logger's callable runs Python code meanwhile.
        const std::shared_ptr<kdcore::base::InstanceContext> instance = instance_context(handle);
        if (!instance) return raise_instance_gone(load_failed_prefix);
        // The caller keeps `module_data`, an immutable bytes object, alive for the whole call.
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(module_data)),
            static_cast<std::size_t>(PyBytes_GET_SIZE(module_data)));
        auto key = kdcore::compiler::load_module(instance, bytes);
        if (!key) {
            set_error_text(PyExc_RuntimeError,
                           std::string(load_failed_prefix) + key.error().message());
            return nullptr;
        }
        return wrap_module(*key, instance);
    });
}

PyMethodDef load_module_def = {
    "_kd_load_module", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(load_module)),
    METH_FASTCALL | METH_KEYWORDS,
    "_kd_load_module(instance, module_data)\n--\n\n"
    "Loads a compiled module into the given instance."};

int add_load_module(PyObject* module) { return add_function(module, &load_module_def); }

const ModuleMember load_module_member{MemberSlot::LoadModule, add_load_module};

}  // namespace

}  // namespace kdpi_sys
