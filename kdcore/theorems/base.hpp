#pragma once
// Theorem records. Nothing in this system makes or reads one; they keep their shape for the
// libraries that modules carry.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "kdinstr/modules/basic_block.hpp"
#include "kdinstr/modules/name.hpp"

namespace kdcore::theorems::base {

struct TheoremAccelerationStructures {
    std::string name;
    std::string description;
    std::map<std::uint32_t, std::uint64_t> values;
};

struct Theorem {
    std::string name;
    std::optional<std::string> description;
    std::map<kdinstr::modules::Label, kdinstr::modules::BasicBlock> body;
    std::map<std::uint32_t, std::uint64_t> values;
    bool proven = false;
    std::optional<TheoremAccelerationStructures> acceleration;
};

}  // namespace kdcore::theorems::base
