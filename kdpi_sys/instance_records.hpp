#pragma once
// The records an instance is created from, read from Python objects by attribute (see
// record_reading.hpp for the rules). Each reader returns the record, or std::nullopt with the
// reading error pending.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>

#include "kdcore/base/api.hpp"

namespace kdpi_sys {

// `major`, `minor`, `patch`: integers in 0..=65535.
std::optional<kdcore::base::api::VersionInfo> read_version_info(PyObject* object);

// `application_version`, `application_name`, `engine_version`, `engine_name`.
std::optional<kdcore::base::api::ApplicationInfo> read_application_info(PyObject* object);

// `application_info`, `enabled_extensions` (sequence of str), `node_id` (0..=4294967295), `ext`
// (sequence of objects, each turned into an opaque object by its registered loader).
std::optional<kdcore::base::api::InstanceCreateInfo> read_instance_create_info(PyObject* object);

// read_instance_create_info for a module function's argument: a reading error becomes TypeError
// "Invalid InstanceCreateInfo: {type}: {text}" (exceptions that are not an `Exception` pass).
std::optional<kdcore::base::api::InstanceCreateInfo> read_instance_create_info_argument(
    PyObject* object);

}  // namespace kdpi_sys
