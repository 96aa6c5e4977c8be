#pragma once
// Severity of a log message, ordered by value.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace kdcore::ext::kdlog {

enum class LogLevelEXT : std::uint32_t { Trace = 0, Debug = 1, Info = 2, Warn = 3, Error = 4 };

// "Trace", "Debug", "Info", "Warn", "Error".
std::string_view log_level_name(LogLevelEXT level);

// The level with this value, or the refusal text "Invalid LogLevelEXT value: {}".
std::expected<LogLevelEXT, std::string> log_level_from_value(std::uint32_t value);

constexpr std::uint32_t log_level_value(LogLevelEXT level) {
    return static_cast<std::uint32_t>(level);
}

}  // namespace kdcore::ext::kdlog
