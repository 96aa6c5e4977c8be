#pragma once
// A straight run of instructions ended by one terminator.
#include <vector>

#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/terminator.hpp"

namespace kdinstr::modules {

struct BasicBlock {
    // The block's own number, equal to its key in the function's body.
    Label label;
    // In execution order; may be empty.
    std::vector<KdInstr> instructions;
    KdTerminator terminator;

    bool operator==(const BasicBlock&) const = default;
};

}  // namespace kdinstr::modules
