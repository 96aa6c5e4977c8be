#include "kdinstr/modules/verify.hpp"

#include <bitset>
#include <cstddef>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "kdinstr/modules/limits.hpp"
#include "kdinstr/modules/name_table.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules {

namespace {

using utils::Error;
using Result = std::expected<void, Error>;

// One bit per possible wildcard index: filling it never allocates, whatever the function holds.
using WildcardBits = std::bitset<65536>;

void collect_wildcards(const Function& function, WildcardBits& bits) {
    for (const auto& [name, type] : function.parameters)
        if (const auto index = type.wildcard_index()) bits.set(*index);
    for (const auto& [label, block] : function.body)
        for (const KdInstr& instruction : block.instructions)
            for (const types::Typeref& type : instruction.referenced_types())
                if (const auto index = type.wildcard_index()) bits.set(*index);
}

std::vector<std::string> wildcard_texts(const std::set<std::uint16_t>& indices) {
    std::vector<std::string> texts;
    texts.reserve(indices.size());
    for (const std::uint16_t index : indices)
        texts.push_back(types::primary::Wildcard{index}.to_string());
    return texts;
}

std::set<std::uint16_t> to_set(const WildcardBits& bits) {
    std::set<std::uint16_t> indices;
    if (bits.none()) return indices;
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits.test(i)) indices.insert(indices.end(), static_cast<std::uint16_t>(i));
    return indices;
}

Result check_wildcards(const Function& function) {
    // Large enough that it does not belong on the stack of a deeply nested caller.
    auto found = std::make_unique<WildcardBits>();
    collect_wildcards(function, *found);
    bool same = found->count() == function.wildcard_types.size();
    for (auto it = function.wildcard_types.begin(); same && it != function.wildcard_types.end();
         ++it)
        same = found->test(*it);
    if (same) return {};
    return std::unexpected(Error::UnsoundWildcardTypes{display_name(function),
                                                       wildcard_texts(function.wildcard_types),
                                                       wildcard_texts(to_set(*found))});
}

Result check_meta_instructions(const Function& function) {
    if (function.meta) return {};
    for (const auto& [label, block] : function.body)
        for (const KdInstr& instruction : block.instructions)
            if (instruction.is_meta())
                return std::unexpected(
                    Error::MetaInstruction{display_name(function), instruction.debug()});
    return {};
}

Result check_phi_placement(const Function& function) {
    for (const auto& [label, block] : function.body) {
        bool after_other = false;
        for (const KdInstr& instruction : block.instructions) {
            if (!std::holds_alternative<instructions::Phi>(instruction))
                after_other = true;
            else if (after_other)
                return std::unexpected(Error::PhiNotFirst{block.label});
        }
    }
    return {};
}

Result check_branch_targets(const Function& function) {
    for (const auto& [label, block] : function.body) {
        std::optional<Label> missing;
        block.terminator.for_each_target([&](Label target) {
            if (!missing && !function.body.contains(target)) missing = target;
        });
        if (missing)
            return std::unexpected(Error::UndefinedBlock{*missing, display_name(function)});
    }
    return {};
}

// Fills `defined` with every parameter and destination; the first name seen twice fails.
Result check_single_definition(const Function& function, NameTable& defined) {
    for (const auto& [name, type] : function.parameters)
        if (!defined.insert(name.value)) return std::unexpected(Error::DuplicateDefinition{name});
    for (const auto& [label, block] : function.body)
        for (const KdInstr& instruction : block.instructions)
            if (const auto dest = instruction.destination(); dest && !defined.insert(dest->value))
                return std::unexpected(Error::DuplicateDefinition{*dest});
    return {};
}

// Presence only: a use before its definition, even in an earlier block, passes.
Result check_defined_uses(const Function& function, const NameTable& defined) {
    const auto undefined = [&](const Operand& operand) {
        const Name* reg = operand.as_reg();
        return reg && !defined.contains(reg->value) ? reg : nullptr;
    };
    for (const auto& [label, block] : function.body) {
        for (const KdInstr& instruction : block.instructions)
            for (const Operand& operand : instruction.operands())
                if (const Name* reg = undefined(operand))
                    return std::unexpected(Error::UndefinedName{*reg});
        const Name* missing = nullptr;
        block.terminator.for_each_operand([&](const Operand& operand) {
            if (!missing) missing = undefined(operand);
        });
        if (missing) return std::unexpected(Error::UndefinedName{*missing});
    }
    return {};
}

Result check_limits(const Function& function) {
    if (function.body.size() > limits::max_blocks)
        return std::unexpected(
            Error::TooManyBlocks{display_name(function), function.body.size(), limits::max_blocks});
    std::size_t total = 0;
    for (const auto& [label, block] : function.body) {
        const std::size_t count = block.instructions.size();
        if (count > limits::max_block_instructions)
            return std::unexpected(Error::TooManyBlockInstructions{
                label, display_name(function), count, limits::max_block_instructions});
        total += count;
    }
    if (total > limits::max_instructions)
        return std::unexpected(
            Error::TooManyInstructions{display_name(function), total, limits::max_instructions});
    if (function.parameters.size() > limits::max_parameters)
        return std::unexpected(Error::TooManyParameters{
            display_name(function), function.parameters.size(), limits::max_parameters});
    if (function.wildcard_types.size() > limits::max_wildcard_types)
        return std::unexpected(Error::TooManyWildcardTypes{
            display_name(function), function.wildcard_types.size(), limits::max_wildcard_types});
    return {};
}

}  // namespace

std::string display_name(const Function& function) {
    return function.name ? *function.name : function.uuid.to_string();
}

std::set<std::uint16_t> generate_wildcard_types(const Function& function) {
    auto found = std::make_unique<WildcardBits>();
    collect_wildcards(function, *found);
    return to_set(*found);
}

bool should_be_meta_function(const Function& function) {
    for (const auto& [label, block] : function.body)
        for (const KdInstr& instruction : block.instructions)
            if (instruction.is_meta()) return true;
    return false;
}

std::expected<void, Error> verify(const Function& function) {
    if (auto r = check_wildcards(function); !r) return r;
    if (auto r = check_meta_instructions(function); !r) return r;
    if (auto r = check_phi_placement(function); !r) return r;
    if (auto r = check_branch_targets(function); !r) return r;
    NameTable defined = name_table_for(function);
    if (auto r = check_single_definition(function, defined); !r) return r;
    if (auto r = check_defined_uses(function, defined); !r) return r;
    if (auto r = check_limits(function); !r) return r;
    if (!function.body.contains(Label{0})) return std::unexpected(Error::MissingEntryBlock{});
    return {};
}

std::expected<void, Error> verify_func(const Module& module, const Function& function) {
    for (const auto& [label, block] : function.body) {
        for (const KdInstr& instruction : block.instructions) {
            for (const Operand& operand : instruction.operands()) {
                const consts::AnyConst* imm = operand.as_imm();
                const FunctionPointer* pointer = imm ? imm->as_func_ptr() : nullptr;
                if (!pointer) continue;
                const utils::Uuid& target = pointer->uuid();
                if (pointer->is_external()) {
                    if (!module.external_functions.contains(target))
                        return std::unexpected(
                            Error::UndefinedExternalFunction{display_name(function), target});
                } else if (target != function.uuid && !module.functions.contains(target)) {
                    return std::unexpected(
                        Error::UndefinedInternalFunction{display_name(function), target});
                }
            }
        }
    }
    return {};
}

std::expected<void, Error> verify_module(const Module& module) {
    for (const auto& [uuid, function] : module.functions) {
        if (!function) utils::panic("module holds an empty function handle under {}", uuid);
        if (auto r = verify(*function); !r) return r;
        if (auto r = verify_func(module, *function); !r) return r;
    }
    return {};
}

}  // namespace kdinstr::modules
