#pragma once
// Structural checks of functions and modules: the declared wildcard set, meta instructions,
// phi placement, branch targets, single definition and defined uses of registers, the IR's
// limits, the entry block, and function pointers resolvable in the module. Types are the type
// checker's business.
//
// Each check stops at the first rule broken; the order of the rules is part of the behaviour.
#include <cstdint>
#include <expected>
#include <set>
#include <string>

#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::modules {

// How errors name a function: its name, or the text of its uuid when it has none.
std::string display_name(const Function& function);

// Indices of the wildcard types among the parameter types and the instructions' referenced
// types. The return type and the terminators are not looked at.
std::set<std::uint16_t> generate_wildcard_types(const Function& function);

// True when some instruction of the body is a meta instruction.
bool should_be_meta_function(const Function& function);

// The structural rules of one function, then its size limits, then the entry block.
std::expected<void, utils::Error> verify(const Function& function);

// Every function pointer among the function's instruction operands names a function (or an
// external function) of the module; a pointer to the function itself always passes.
std::expected<void, utils::Error> verify_func(const Module& module, const Function& function);

// `verify` then `verify_func` for every function in ascending uuid order; external functions
// are not examined.
std::expected<void, utils::Error> verify_module(const Module& module);

}  // namespace kdinstr::modules
