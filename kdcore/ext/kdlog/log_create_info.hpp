#pragma once
// The logger's configuration object, handed in among the instance's opaque objects.
#include <string>
#include <utility>

#include "kdcore/ext/kdlog/log_callback.hpp"
#include "kdcore/ext/kdlog/log_level.hpp"
#include "kdcore/utils/opaque.hpp"

namespace kdcore::ext::kdlog {

class LogCreateInfoEXT final : public kdcore::utils::opaque::OpaqueObject {
  public:
    LogCreateInfoEXT(LogLevelEXT level, LogCallbackEXT callback)
        : level(level), callback(std::move(callback)) {}

    LogLevelEXT level;  // the lowest level passed on
    LogCallbackEXT callback;

    // LogCreateInfoEXT { level: Info, callback: LogCallbackEXT { 0: "0x.." } }
    std::string debug() const override;
};

}  // namespace kdcore::ext::kdlog
