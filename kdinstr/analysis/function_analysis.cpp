#include "kdinstr/analysis/function_analysis.hpp"

#include <utility>

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::analysis {

FunctionAnalysis analyze(std::shared_ptr<const modules::Function> function) {
    if (!function) utils::panic("cannot analyse an empty function handle");
    FlowGraph flow_graph = derive_function_flow(*function);
    DestMap dest_map = derive_dest_map(*function);
    return FunctionAnalysis{std::move(flow_graph), std::move(dest_map), std::move(function)};
}

}  // namespace kdinstr::analysis
