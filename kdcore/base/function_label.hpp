#pragma once
// How engine log lines name a function: by its name, or "@" and its UUID when it has none.
#include <string>

#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/module.hpp"

namespace kdcore::base {

std::string function_label(const kdinstr::modules::Function& function);

// The labels of the module's functions in its order, as a debug list of texts: ["f", "@..."].
std::string function_labels_text(const kdinstr::modules::Module& module);

}  // namespace kdcore::base
