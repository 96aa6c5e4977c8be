#pragma once
// One log message; whoever holds it owns it (sinks and callbacks receive it by value).
#include <cstdint>
#include <optional>
#include <string>

#include "kdcore/ext/kdlog/log_level.hpp"
#include "kdcore/utils/local_time.hpp"

namespace kdcore::ext::kdlog {

struct LogMessageEXT {
    std::string message;
    std::string module;                      // module path of the writing code, "kdcore::base"
    std::optional<std::string> file;         // source of the writing code; set for engine messages
    std::optional<std::string> thread_name;  // the system names no threads: absent
    std::optional<std::uint32_t> line;       // line of the writing site; set for engine messages
    LogLevelEXT level = LogLevelEXT::Trace;
    kdcore::utils::LocalDateTime timepoint;  // local time when the message was made

    bool operator==(const LogMessageEXT&) const = default;
};

}  // namespace kdcore::ext::kdlog
