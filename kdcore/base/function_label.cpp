#include "kdcore/base/function_label.hpp"

#include <fmt/format.h>

#include "kdinstr/utils/debug_text.hpp"

namespace kdcore::base {

std::string function_label(const kdinstr::modules::Function& function) {
    if (function.name) return *function.name;
    return fmt::format("@{}", function.uuid.to_string());
}

std::string function_labels_text(const kdinstr::modules::Module& module) {
    return kdinstr::utils::debug_list(module.functions, [](const auto& entry) {
        return kdinstr::utils::debug_quote(function_label(*entry.second));
    });
}

}  // namespace kdcore::base
