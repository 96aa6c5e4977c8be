#pragma once
// Debug form of a block number, shared by phis, terminators, blocks and statistics.
#include <fmt/format.h>

#include <string>

#include "kdinstr/modules/name.hpp"

namespace kdinstr::modules {

// "Label(3)": unlike the display text, which reads block_3.
inline std::string debug_label(Label label) { return fmt::format("Label({})", label.value); }

}  // namespace kdinstr::modules
