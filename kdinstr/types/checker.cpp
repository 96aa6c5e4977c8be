#include "kdinstr/types/checker.hpp"

#include "kdinstr/types/checker_context.hpp"
#include "kdinstr/types/checker_rules.hpp"

namespace kdinstr::types::checker {

namespace {

// The passes over parameters, destinations, instructions and terminators; `for_each_instruction`
// and `for_each_terminator` walk them in block order and stop when the visitor fails.
template <typename Instructions, typename Terminators>
CheckResult run(TypeRegistry& registry,
                std::span<const std::pair<modules::Name, Typeref>> parameters,
                std::size_t instruction_count, Instructions for_each_instruction,
                Terminators for_each_terminator, std::optional<Typeref> return_type) {
    Checker checker(registry, parameters.size() + instruction_count);
    for (const auto& [name, type] : parameters) checker.record_parameter(name, type);
    if (auto ok = for_each_instruction([&](const modules::KdInstr& instruction) {
            return checker.record_destination(instruction);
        });
        !ok)
        return ok;
    if (auto ok = for_each_instruction([&](const modules::KdInstr& instruction) {
            return check_instruction(checker, instruction);
        });
        !ok)
        return ok;
    return for_each_terminator([&](const modules::KdTerminator& terminator) {
        return check_terminator(checker, terminator, return_type);
    });
}

}  // namespace

CheckResult type_check(TypeRegistry& registry,
                       std::span<const std::pair<modules::Name, Typeref>> parameters,
                       std::span<const modules::KdInstr* const> instructions,
                       std::span<const modules::KdTerminator* const> terminators,
                       std::optional<Typeref> return_type) {
    const auto each_instruction = [&](auto&& visit) -> CheckResult {
        for (const modules::KdInstr* instruction : instructions)
            if (auto ok = visit(*instruction); !ok) return ok;
        return {};
    };
    const auto each_terminator = [&](auto&& visit) -> CheckResult {
        for (const modules::KdTerminator* terminator : terminators)
            if (auto ok = visit(*terminator); !ok) return ok;
        return {};
    };
    return run(registry, parameters, instructions.size(), each_instruction, each_terminator,
               return_type);
}

CheckResult type_check(const modules::Function& function, TypeRegistry& registry) {
    std::size_t count = 0;
    for (const auto& [label, block] : function.body) count += block.instructions.size();
    const auto each_instruction = [&](auto&& visit) -> CheckResult {
        for (const auto& [label, block] : function.body)
            for (const modules::KdInstr& instruction : block.instructions)
                if (auto ok = visit(instruction); !ok) return ok;
        return {};
    };
    const auto each_terminator = [&](auto&& visit) -> CheckResult {
        for (const auto& [label, block] : function.body)
            if (auto ok = visit(block.terminator); !ok) return ok;
        return {};
    };
    return run(registry, function.parameters, count, each_instruction, each_terminator,
               function.return_type);
}

}  // namespace kdinstr::types::checker
