#pragma once
// The control flow between a function's blocks.
#include <optional>

#include "kdinstr/analysis/graph_map.hpp"
#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"

namespace kdinstr::analysis {

// One node per block; one edge per control transfer. The edge to a branch's target when true
// carries the branch condition; every other edge has no weight.
using FlowGraph = DiGraphMap<modules::Label, std::optional<modules::Operand>>;

// Nodes in ascending label order, then the edges of each block's terminator in that order. A
// branch whose two targets are the same block gives one edge without weight.
FlowGraph derive_function_flow(const modules::Function& function);

}  // namespace kdinstr::analysis
