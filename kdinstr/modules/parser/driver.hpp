#pragma once
// The one entry point of the IR assembly parser.
#include <expected>
#include <string_view>

#include "kdinstr/modules/module.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::modules::parser {

// Lexes and parses `source`, renumbers every parsed function into SSA form, resolves function
// names (against `module` first, then against this text's own functions) and adds the functions
// to `module`, which is then verified. Every failure before the insertion leaves `module` as it
// was; a failed verification leaves this text's functions in it. Types are interned into
// `registry`.
std::expected<void, utils::Error> extend_module_from_string(Module& module,
                                                            types::TypeRegistry& registry,
                                                            std::string_view source);

}  // namespace kdinstr::modules::parser
