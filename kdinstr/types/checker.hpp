#pragma once
// The type checker: decides whether every instruction and terminator of one function is well
// typed against a registry, and reports the first violation.
//
// Errors: DuplicateDefinition, UndefinedName, TypeMismatch, IndexOutOfBounds. The order of the
// checks is fixed, so which error a function with several faults gets is part of the behaviour.
//
// The registry grows by the types of constants and vector elements that the check interns (also
// when the check fails). The checker never interns while it holds a read view of the registry,
// so any number of functions may be checked against one registry at the same time.
#include <expected>
#include <optional>
#include <span>
#include <utility>

#include "kdinstr/modules/basic_block.hpp"
#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/terminator.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::types::checker {

using CheckResult = std::expected<void, utils::Error>;

// Parameters in declaration order (a repeated name keeps the later type), instructions in block
// order, terminators in block order, and the return type (none for a function without value).
CheckResult type_check(TypeRegistry& registry,
                       std::span<const std::pair<modules::Name, Typeref>> parameters,
                       std::span<const modules::KdInstr* const> instructions,
                       std::span<const modules::KdTerminator* const> terminators,
                       std::optional<Typeref> return_type);

// The whole function: its parameters, the instructions of its blocks by ascending label, the
// terminators in the same block order, its return type. Walks the body in place.
CheckResult type_check(const modules::Function& function, TypeRegistry& registry);

}  // namespace kdinstr::types::checker
