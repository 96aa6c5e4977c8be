#include "kdinstr/modules/verify.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <memory>
#include <optional>
#include <unordered_set>
#include <variant>
#include <vector>

#include "kdinstr/modules/limits.hpp"
#include "kdinstr/modules/name_table.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/seeded_hash.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules {

namespace {

using utils::Error;
using Result = std::expected<void, Error>;

// The wildcard indices a function names. Most functions name none, so the set of all 65 536
// possible indices is only made (and cleared) for one that does; filling it never allocates
// again, whatever the function holds.
class WildcardSet {
  public:
    void add(std::uint16_t index) {
        if (!words_) words_ = std::make_unique<Words>();
        std::uint64_t& word = (*words_)[index / 64];
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        if ((word & bit) == 0) {
            word |= bit;
            ++size_;
        }
    }
    void add(const types::Typeref& type) {
        // The first byte of a wildcard is 0xFF; checking it first keeps ordinary types cheap.
        if (type.uuid.bytes[0] != 0xFF) return;
        if (const auto index = type.wildcard_index()) add(*index);
    }
    bool contains(std::uint16_t index) const {
        return words_ && (((*words_)[index / 64] >> (index % 64)) & 1) != 0;
    }
    std::size_t size() const { return size_; }
    std::set<std::uint16_t> to_set() const {
        std::set<std::uint16_t> indices;
        if (!words_) return indices;
        for (std::size_t w = 0; w < words_->size(); ++w)
            for (std::uint64_t word = (*words_)[w]; word != 0; word &= word - 1)
                indices.insert(indices.end(),
                               static_cast<std::uint16_t>(w * 64 + std::countr_zero(word)));
        return indices;
    }

  private:
    using Words = std::array<std::uint64_t, 65536 / 64>;
    std::unique_ptr<Words> words_;
    std::size_t size_ = 0;
};

std::vector<std::string> wildcard_texts(const std::set<std::uint16_t>& indices) {
    std::vector<std::string> texts;
    texts.reserve(indices.size());
    for (const std::uint16_t index : indices)
        texts.push_back(types::primary::Wildcard{index}.to_string());
    return texts;
}

void add_parameter_wildcards(const Function& function, WildcardSet& found) {
    for (const auto& [name, type] : function.parameters) found.add(type);
}

// What the first walk over the instructions finds for the rules that look at each instruction
// on its own: wildcards, meta instructions, phi placement and definitions. The rules are still
// judged in their own order afterwards.
struct InstructionFacts {
    WildcardSet wildcards;
    const KdInstr* first_meta = nullptr;
    std::optional<Label> first_misplaced_phi;
    std::optional<Name> first_duplicate;
};

// One visit per instruction. `defined` receives the parameters and then every destination, in
// block order, until the first name seen twice.
InstructionFacts walk_instructions(const Function& function, NameTable& defined) {
    InstructionFacts facts;
    add_parameter_wildcards(function, facts.wildcards);
    for (const auto& [name, type] : function.parameters)
        if (!facts.first_duplicate && !defined.insert(name.value)) facts.first_duplicate = name;
    for (const auto& [label, block] : function.body) {
        bool after_other = false;
        for (const KdInstr& instruction : block.instructions) {
            if (!std::holds_alternative<instructions::Phi>(instruction)) {
                after_other = true;
            } else if (after_other && !facts.first_misplaced_phi) {
                facts.first_misplaced_phi = block.label;
            }
            if (!facts.first_meta && instruction.is_meta()) facts.first_meta = &instruction;
            std::visit(
                [&](const auto& record) {
                    for (const types::Typeref& type : instructions::referenced_types(record))
                        facts.wildcards.add(type);
                    if (const auto dest = instructions::destination(record);
                        dest && !facts.first_duplicate && !defined.insert(dest->value))
                        facts.first_duplicate = *dest;
                },
                instruction.as_variant());
        }
    }
    return facts;
}

Result check_wildcards(const Function& function, const WildcardSet& found) {
    bool same = found.size() == function.wildcard_types.size();
    for (auto it = function.wildcard_types.begin(); same && it != function.wildcard_types.end();
         ++it)
        same = found.contains(*it);
    if (same) return {};
    return std::unexpected(Error::UnsoundWildcardTypes{display_name(function),
                                                       wildcard_texts(function.wildcard_types),
                                                       wildcard_texts(found.to_set())});
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

// The functions of a module by uuid, for one function's lookups: the module's own maps.
struct ModuleFunctions {
    const Module& module;
    bool has_internal(const utils::Uuid& u) const { return module.functions.contains(u); }
    bool has_external(const utils::Uuid& u) const { return module.external_functions.contains(u); }
};

// The same through hashed sets, made once for a whole module's verification: the tree lookups
// of every function pointer of every function would grow with the module. The identifiers come
// from outside, so the hash is seeded: crafted ones must not share a bucket.
struct FunctionIndex {
    explicit FunctionIndex(const Module& module) {
        internal.reserve(module.functions.size());
        for (const auto& [uuid, function] : module.functions) internal.insert(uuid);
        external.reserve(module.external_functions.size());
        for (const auto& [uuid, declaration] : module.external_functions) external.insert(uuid);
    }
    bool has_internal(const utils::Uuid& u) const { return internal.contains(u); }
    bool has_external(const utils::Uuid& u) const { return external.contains(u); }

    std::unordered_set<utils::Uuid, types::SeededUuidHash> internal;
    std::unordered_set<utils::Uuid, types::SeededUuidHash> external;
};

// The error for an operand that is a function pointer naming no function of the module; a
// pointer to the function itself always passes.
template <typename Functions>
std::optional<Error> unresolved_pointer(const Functions& functions, const Function& function,
                                        const Operand& operand) {
    const consts::AnyConst* imm = operand.as_imm();
    const FunctionPointer* pointer = imm ? imm->as_func_ptr() : nullptr;
    if (!pointer) return std::nullopt;
    const utils::Uuid& target = pointer->uuid();
    if (pointer->is_external()) {
        if (!functions.has_external(target))
            return Error::UndefinedExternalFunction{display_name(function), target};
    } else if (target != function.uuid && !functions.has_internal(target)) {
        return Error::UndefinedInternalFunction{display_name(function), target};
    }
    return std::nullopt;
}

// Presence only: a use before its definition, even in an earlier block, passes. With a module,
// the same walk also finds the first unresolved function pointer, which `verify_func` would
// report, into `unresolved`.
Result check_defined_uses(const Function& function, const NameTable& defined,
                          const FunctionIndex* module, std::optional<Error>& unresolved) {
    const auto undefined = [&](const Operand& operand) {
        const Name* reg = operand.as_reg();
        return reg && !defined.contains(reg->value) ? reg : nullptr;
    };
    for (const auto& [label, block] : function.body) {
        for (const KdInstr& instruction : block.instructions) {
            for (const Operand& operand : instruction.operands()) {
                if (const Name* reg = undefined(operand))
                    return std::unexpected(Error::UndefinedName{*reg});
                if (module && !unresolved && operand.is_imm())
                    unresolved = unresolved_pointer(*module, function, operand);
            }
        }
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

// `verify`, and with a module `verify_func` after it, in two walks over the instructions
// instead of one per rule. Errors and their order are those of the rules taken one by one.
Result verify_in(const Function& function, const FunctionIndex* module) {
    NameTable defined = name_table_for(function);
    const InstructionFacts facts = walk_instructions(function, defined);
    if (auto r = check_wildcards(function, facts.wildcards); !r) return r;
    if (!function.meta && facts.first_meta)
        return std::unexpected(
            Error::MetaInstruction{display_name(function), facts.first_meta->debug()});
    if (facts.first_misplaced_phi)
        return std::unexpected(Error::PhiNotFirst{*facts.first_misplaced_phi});
    if (auto r = check_branch_targets(function); !r) return r;
    if (facts.first_duplicate)
        return std::unexpected(Error::DuplicateDefinition{*facts.first_duplicate});
    std::optional<Error> unresolved;
    if (auto r = check_defined_uses(function, defined, module, unresolved); !r) return r;
    if (auto r = check_limits(function); !r) return r;
    if (!function.body.contains(Label{0})) return std::unexpected(Error::MissingEntryBlock{});
    if (unresolved) return std::unexpected(std::move(*unresolved));
    return {};
}

}  // namespace

std::string display_name(const Function& function) {
    return function.name ? *function.name : function.uuid.to_string();
}

std::set<std::uint16_t> generate_wildcard_types(const Function& function) {
    WildcardSet found;
    add_parameter_wildcards(function, found);
    for (const auto& [label, block] : function.body)
        for (const KdInstr& instruction : block.instructions)
            for (const types::Typeref& type : instruction.referenced_types()) found.add(type);
    return found.to_set();
}

bool should_be_meta_function(const Function& function) {
    for (const auto& [label, block] : function.body)
        for (const KdInstr& instruction : block.instructions)
            if (instruction.is_meta()) return true;
    return false;
}

std::expected<void, Error> verify(const Function& function) { return verify_in(function, nullptr); }

std::expected<void, Error> verify_func(const Module& module, const Function& function) {
    for (const auto& [label, block] : function.body)
        for (const KdInstr& instruction : block.instructions)
            for (const Operand& operand : instruction.operands())
                if (auto error = unresolved_pointer(ModuleFunctions{module}, function, operand))
                    return std::unexpected(std::move(*error));
    return {};
}

std::expected<void, Error> verify_module(const Module& module) {
    const FunctionIndex index(module);
    for (const auto& [uuid, function] : module.functions) {
        if (!function) utils::panic("module holds an empty function handle under {}", uuid);
        if (auto r = verify_in(*function, &index); !r) return r;
    }
    return {};
}

}  // namespace kdinstr::modules
