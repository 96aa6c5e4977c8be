#pragma once
// How engine log lines name a function: by its name, or "@" and its UUID when it has none.
#include <string>

#include "kdinstr/modules/function.hpp"

namespace kdcore::base {

std::string function_label(const kdinstr::modules::Function& function);

}  // namespace kdcore::base
