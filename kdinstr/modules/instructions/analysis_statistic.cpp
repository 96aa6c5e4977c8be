#include "kdinstr/modules/instructions/analysis_statistic.hpp"

#include <fmt/format.h>

#include "kdinstr/modules/label_debug.hpp"
#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::analysis {

namespace {

struct NamedFlag {
    std::string_view name;
    std::uint32_t bits;
};

// Table order; composites are listed beside their parts.
constexpr NamedFlag named_flags[] = {
    {"META", InstructionFlags::META},
    {"SIMPLE", InstructionFlags::SIMPLE},
    {"ARITHMETIC", InstructionFlags::ARITHMETIC},
    {"ARITHMETIC_INT", InstructionFlags::ARITHMETIC_INT},
    {"ARITHMETIC_FP", InstructionFlags::ARITHMETIC_FP},
    {"INVOKE", InstructionFlags::INVOKE},
    {"MEMORY", InstructionFlags::MEMORY},
    {"CONTROL_FLOW", InstructionFlags::CONTROL_FLOW},
    {"TERMINATOR", InstructionFlags::TERMINATOR},
};

}  // namespace

std::string InstructionFlags::to_string() const {
    if (bits_ == 0) return "0x0";
    std::string out;
    // A flag is named when the set holds all its bits and some of them are not yet named.
    std::uint32_t rest = bits_;
    for (const auto& flag : named_flags) {
        if (!contains(flag.bits) || (rest & flag.bits) == 0) continue;
        if (!out.empty()) out += " | ";
        out += flag.name;
        rest &= ~flag.bits;
    }
    if (rest != 0) {
        if (!out.empty()) out += " | ";
        out += fmt::format("0x{:x}", rest);
    }
    return out;
}

std::string InstructionFlags::debug() const {
    return utils::debug_tuple("InstructionFlags", to_string());
}

std::string debug(const TerminationScope& scope) {
    if (std::holds_alternative<BlockExit>(scope)) return "BlockExit";
    if (std::holds_alternative<FunctionExit>(scope)) return "FunctionExit";
    const auto& reach = std::get<ReachAny>(scope);
    return utils::debug_tuple("ReachAny", utils::debug_list(reach.labels, modules::debug_label));
}

std::string debug(const AnalysisStatistic& statistic) {
    if (const auto* count = std::get_if<InstructionCount>(&statistic))
        return utils::debug_tuple("InstructionCount", count->flags.debug());
    if (std::holds_alternative<ExecutionCount>(statistic)) return "ExecutionCount";
    return utils::debug_tuple("TerminationBehavior",
                              debug(std::get<TerminationBehavior>(statistic).scope));
}

}  // namespace kdinstr::analysis
