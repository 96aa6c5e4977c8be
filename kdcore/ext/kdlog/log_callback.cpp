#include "kdcore/ext/kdlog/log_callback.hpp"

#include <fmt/format.h>

#include "kdinstr/utils/debug_text.hpp"

namespace kdcore::ext::kdlog {

std::string LogCallbackEXT::debug() const {
    return kdinstr::utils::debug_record(
        "LogCallbackEXT", {{"0", kdinstr::utils::debug_quote(fmt::format("{}", address()))}});
}

}  // namespace kdcore::ext::kdlog
