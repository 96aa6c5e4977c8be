#include "kdcore/ext/kdlog/log_level.hpp"

#include <fmt/format.h>

namespace kdcore::ext::kdlog {

std::string_view log_level_name(LogLevelEXT level) {
    switch (level) {
        case LogLevelEXT::Trace:
            return "Trace";
        case LogLevelEXT::Debug:
            return "Debug";
        case LogLevelEXT::Info:
            return "Info";
        case LogLevelEXT::Warn:
            return "Warn";
        case LogLevelEXT::Error:
            return "Error";
    }
    return "Unknown";
}

std::expected<LogLevelEXT, std::string> log_level_from_value(std::uint32_t value) {
    if (value > log_level_value(LogLevelEXT::Error))
        return std::unexpected(fmt::format("Invalid LogLevelEXT value: {}", value));
    return static_cast<LogLevelEXT>(value);
}

}  // namespace kdcore::ext::kdlog
