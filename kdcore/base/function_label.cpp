#include "kdcore/base/function_label.hpp"

#include <fmt/format.h>

namespace kdcore::base {

std::string function_label(const kdinstr::modules::Function& function) {
    if (function.name) return *function.name;
    return fmt::format("@{}", function.uuid.to_string());
}

}  // namespace kdcore::base
