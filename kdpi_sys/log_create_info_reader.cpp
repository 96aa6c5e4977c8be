#include "kdpi_sys/log_create_info_reader.hpp"

#include "kdpi_sys/log_callback.hpp"
#include "kdpi_sys/record_reading.hpp"

namespace kdpi_sys {

namespace {

using kdcore::ext::kdlog::LogCallbackEXT;
using kdcore::ext::kdlog::LogCreateInfoEXT;
using kdcore::ext::kdlog::LogLevelEXT;

constexpr std::string_view record_name = "LogCreateInfoEXT";
constexpr const char* not_callable_text = "Expected a callable object for LogCallbackEXT";

}  // namespace

std::optional<LogLevelEXT> read_log_level(PyObject* value) {
    const auto number = read_integer<std::uint32_t>(value);
    if (!number) return std::nullopt;
    auto level = kdcore::ext::kdlog::log_level_from_value(*number);
    if (!level) {
        PyErr_SetString(PyExc_ValueError, level.error().c_str());
        return std::nullopt;
    }
    return *level;
}

std::optional<LogCallbackEXT> read_log_callback(PyObject* value) {
    if (PyCallable_Check(value) == 0) {
        PyErr_SetString(PyExc_TypeError, not_callable_text);
        return std::nullopt;
    }
    return make_log_callback(value);
}

std::unique_ptr<LogCreateInfoEXT> read_log_create_info(PyObject* object) {
    auto level = read_field(object, record_name, "level", read_log_level);
    if (!level) return nullptr;
    auto callback = read_field(object, record_name, "callback", read_log_callback);
    if (!callback) return nullptr;
    return std::make_unique<LogCreateInfoEXT>(*level, std::move(*callback));
}

kdcore::utils::opaque::OwnedOpaqueObject load_log_create_info(PyObject* object) {
    return read_log_create_info(object);
}

}  // namespace kdpi_sys
