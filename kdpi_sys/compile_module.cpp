// _kd_compile_module: IR assembly sources to compiled module storage bytes.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "kdcore/base/api.hpp"
#include "kdcore/compiler/compiler.hpp"
#include "kdpi_sys/args.hpp"
#include "kdpi_sys/compile_records.hpp"
#include "kdpi_sys/instance_handle.hpp"
#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"
#include "kdpi_sys/python_error.hpp"

namespace kdpi_sys {

namespace {

// Engine failures: the prefix, then the error's message.
constexpr std::string_view compile_failed_prefix = "Failed to compile module: ";

constexpr Signature<2> compile_module_signature{"_kd_compile_module", {"instance", "compile_info"}};

PyObject* compile_module(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_guarded([&]() -> PyObject* {
        const auto arguments = parse_arguments(compile_module_signature, args, nargs, kwnames);
        if (!arguments) return nullptr;
        const auto [handle, compile_info] = *arguments;
        if (!check_argument_type("instance", handle, instance_type())) return nullptr;
        // Declared first, released last: the records view these str objects' text, and the
        // logger's callable may drop the caller's references meanwhile.
        TextOwners owners;
        auto info = read_module_compile_info_argument<kdcore::base::api::ModuleCompileInfo>(
            compile_info, owners);
        if (!info) return nullptr;
        // A strong reference of our own: the logger's callable runs Python code meanwhile.
        const std::shared_ptr<kdcore::base::InstanceContext> instance = instance_context(handle);
        if (!instance) return raise_instance_gone(compile_failed_prefix);
        auto storage = kdcore::compiler::compile_sources(*instance, std::move(*info));
        if (!storage) {
            set_error_text(PyExc_RuntimeError,
                           std::string(compile_failed_prefix) + storage.error().message());
            return nullptr;
        }
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(storage->data()),
                                         static_cast<Py_ssize_t>(storage->size()));
    });
}

PyMethodDef compile_module_def = {
    "_kd_compile_module",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compile_module)),
    METH_FASTCALL | METH_KEYWORDS,
    "_kd_compile_module(instance, compile_info)\n--\n\n"
    "Compiles a list of source modules into a compiled module."};

int add_compile_module(PyObject* module) { return add_function(module, &compile_module_def); }

const ModuleMember compile_module_member{MemberSlot::CompileModule, add_compile_module};

}  // namespace

}  // namespace kdpi_sys
