#pragma once
// The read-only views of a loaded function that the engine keeps beside it.
#include <memory>

#include "kdinstr/analysis/dest_map.hpp"
#include "kdinstr/analysis/flow_graph.hpp"
#include "kdinstr/modules/function.hpp"

namespace kdinstr::analysis {

struct FunctionAnalysis {
    FlowGraph flow_graph;
    DestMap dest_map;
    // Keeps the analysed function alive; shared with its module.
    std::shared_ptr<const modules::Function> function;
};

// Takes over the handle, derives the flow graph, then the destination map. An empty handle is
// a caller's bug (panic).
FunctionAnalysis analyze(std::shared_ptr<const modules::Function> function);

}  // namespace kdinstr::analysis
