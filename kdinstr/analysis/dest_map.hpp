#pragma once
// Where each register defined by an instruction is defined.
#include <cstdint>
#include <map>

#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/name.hpp"

namespace kdinstr::analysis {

// The block (its key in the body) and the instruction's position in it, counted from 0 over
// all instructions of the block, those without a destination included.
struct InstructionPlace {
    modules::Label block;
    std::uint32_t index = 0;
    bool operator==(const InstructionPlace&) const = default;
};

// Parameters and instructions without a destination have no entry.
using DestMap = std::map<modules::Name, InstructionPlace>;

// Blocks in ascending label order; a name defined twice keeps its later place.
DestMap derive_dest_map(const modules::Function& function);

}  // namespace kdinstr::analysis
