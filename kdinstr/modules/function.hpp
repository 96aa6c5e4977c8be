#pragma once
// One IR function: identity, signature, blocks and attributes.
#include <array>
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/modules/basic_block.hpp"
#include "kdinstr/modules/calling_convention.hpp"
#include "kdinstr/modules/instructions/instruction.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/visibility.hpp"
#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/error.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::types {
class TypeRegistry;
}

namespace kdinstr::modules {

// Fields in the encoding's order.
struct Function {
    // The key under which a module holds the function.
    utils::Uuid uuid;
    // None for an anonymous function.
    std::optional<std::string> name;
    std::vector<std::pair<Name, types::Typeref>> parameters;
    // None when the function returns no value.
    std::optional<types::Typeref> return_type;
    // In label order; label 0 is the entry block.
    std::map<Label, BasicBlock> body;
    std::optional<Visibility> visibility;
    std::optional<CallingConvention> calling_convention;
    // Indices of the wildcard types the function uses.
    std::set<std::uint16_t> wildcard_types;
    // Only meta functions may hold meta instructions.
    bool meta = false;
    // Carried and encoded unchanged; nothing sets or reads it.
    std::optional<std::array<std::uint8_t, 16>> reserved_id;

    // A fresh random (version 4) uuid, and one empty block 0 that traps; nothing else.
    static Function make_default();

    // Parameter types, return type, every instruction's types and the type of every undef
    // operand (of instructions and terminators); the wildcard set and constants stay as they
    // are.
    void remap_types(const TypeRemap& map);
    // Calls `f` with each of those types, once for every place that names it (the places that
    // `remap_types` rewrites), and `next_place()` before the types of each parameter, the return
    // type, each instruction and each terminator.
    template <typename F, typename G>
    void for_each_type(F&& f, G&& next_place) const {
        const auto undef = [&](const Operand& operand) {
            if (const types::Typeref* type = operand.as_undef()) f(*type);
        };
        for (const auto& [name, type] : parameters) {
            next_place();
            f(type);
        }
        if (return_type) {
            next_place();
            f(*return_type);
        }
        for (const auto& [label, block] : body) {
            for (const auto& instruction : block.instructions) {
                next_place();
                instruction.for_each_type(f);
                instruction.for_each_operand(undef);
            }
            next_place();
            block.terminator.for_each_operand(undef);
        }
    }

    // The structural checks and the IR's limits; stops at the first violation.
    std::expected<void, utils::Error> verify() const;
    // Renumbers parameters and destinations densely from 0, in definition order.
    std::expected<void, utils::Error> normalize_ssa();
    bool should_be_meta_function() const;
    std::set<std::uint16_t> generate_wildcard_types() const;
    // Against `registry`, which receives the types the checker derives.
    std::expected<void, utils::Error> type_check(types::TypeRegistry& registry) const;

    bool operator==(const Function&) const = default;
};

}  // namespace kdinstr::modules
