#include "kdcore/ext/kdlog/log_create_info.hpp"

#include "kdinstr/utils/debug_text.hpp"

namespace kdcore::ext::kdlog {

std::string LogCreateInfoEXT::debug() const {
    return kdinstr::utils::debug_record(
        "LogCreateInfoEXT",
        {{"level", std::string(log_level_name(level))}, {"callback", callback.debug()}});
}

}  // namespace kdcore::ext::kdlog
