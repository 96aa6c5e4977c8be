#include "kdinstr/analysis/flow_graph.hpp"

#include <variant>

namespace kdinstr::analysis {

FlowGraph derive_function_flow(const modules::Function& function) {
    // A terminator adds at most two edges, so the edge table is never reallocated.
    FlowGraph graph(function.body.size(), 3 * function.body.size());
    for (const auto& [label, block] : function.body) graph.add_node(label);
    for (const auto& [label, block] : function.body) {
        const modules::KdTerminator& terminator = block.terminator;
        if (const auto* jump = std::get_if<modules::KdTerminator::Jump>(&terminator)) {
            graph.add_edge(label, jump->target, std::nullopt);
        } else if (const auto* branch = std::get_if<modules::KdTerminator::Branch>(&terminator)) {
            graph.add_edge(label, branch->true_target, branch->condition);
            graph.add_edge(label, branch->false_target, std::nullopt);
        }
    }
    return graph;
}

}  // namespace kdinstr::analysis
