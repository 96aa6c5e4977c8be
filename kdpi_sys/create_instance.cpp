// _kd_create_instance: an engine instance from an InstanceCreateInfo-shaped Python object.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <fmt/format.h>

#include "kdcore/base/api.hpp"
#include "kdpi_sys/args.hpp"
#include "kdpi_sys/instance_handle.hpp"
#include "kdpi_sys/instance_records.hpp"
#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"
#include "kdpi_sys/python_error.hpp"

namespace kdpi_sys {

namespace {

constexpr const char* create_failed_text = "Failed to create instance: {}";

constexpr Signature<1> create_instance_signature{"_kd_create_instance", {"instance_create_info"}};

PyObject* create_instance(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_guarded([&]() -> PyObject* {
        const auto arguments = parse_arguments(create_instance_signature, args, nargs, kwnames);
        if (!arguments) return nullptr;
        auto info = read_instance_create_info_argument((*arguments)[0]);
        if (!info) return nullptr;
        auto instance = kdcore::base::api::create_instance(std::move(*info));
        if (!instance) {
            const std::string message =
                fmt::format(fmt::runtime(create_failed_text), instance.error().message());
            set_error_text(PyExc_RuntimeError, message);
            return nullptr;
        }
        return wrap_instance(std::move(*instance));
    });
}

PyMethodDef create_instance_def = {
    "_kd_create_instance",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(create_instance)),
    METH_FASTCALL | METH_KEYWORDS,
    "_kd_create_instance(instance_create_info)\n--\n\n"
    "Creates a new Keldrane instance from the validated Python dataclasses."};

int add_create_instance(PyObject* module) { return add_function(module, &create_instance_def); }

const ModuleMember create_instance_member{MemberSlot::CreateInstance, add_create_instance};

}  // namespace

}  // namespace kdpi_sys
