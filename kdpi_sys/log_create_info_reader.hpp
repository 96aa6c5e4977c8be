#pragma once
// Reading the logger's configuration from the package's LogCreateInfoEXT objects (or any object
// with the attributes `level` and `callback`). Readers return std::nullopt / null with the
// Python error pending, following the record rules of record_reading.hpp.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <optional>
#include <string_view>

#include "kdcore/ext/kdlog/log_callback.hpp"
#include "kdcore/ext/kdlog/log_create_info.hpp"
#include "kdcore/ext/kdlog/log_level.hpp"
#include "kdcore/utils/opaque.hpp"

namespace kdpi_sys {

// The fully qualified name of the Python class whose objects load_log_create_info reads.
inline constexpr std::string_view log_create_info_type_name = "kdpi.api.ext.kdlog.LogCreateInfoEXT";

// An integer read as unsigned 32 bits; 0..4 are Trace..Error, anything else is ValueError
// "Invalid LogLevelEXT value: {}".
std::optional<kdcore::ext::kdlog::LogLevelEXT> read_log_level(PyObject* value);

// A callable object, wrapped; anything else is TypeError
// "Expected a callable object for LogCallbackEXT".
std::optional<kdcore::ext::kdlog::LogCallbackEXT> read_log_callback(PyObject* value);

// Attributes `level`, then `callback`.
std::unique_ptr<kdcore::ext::kdlog::LogCreateInfoEXT> read_log_create_info(PyObject* object);

// The opaque-object loader for log_create_info_type_name: read_log_create_info, owned.
kdcore::utils::opaque::OwnedOpaqueObject load_log_create_info(PyObject* object);

}  // namespace kdpi_sys
