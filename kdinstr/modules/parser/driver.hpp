#pragma once
// The one entry point of the IR assembly parser.
#include <expected>
#include <string_view>

#include "kdinstr/modules/module.hpp"
#include "kdinstr/modules/parser/module_names.hpp"
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

// Reads texts into one module, one after another, as a compilation does: each `extend` has the
// result of `extend_module_from_string` on the module as it then is, and leaves the module as
// that would. What the texts before established is kept instead of found again: the module's
// functions by name, and whether every function of the module passed verification (then only
// a text's own functions need verifying, at a cost in proportion to the text rather than to
// the module). While an extender is in use, the module changes only through it.
class ModuleExtender {
  public:
    ModuleExtender(Module& module, types::TypeRegistry& registry)
        : module_(module), registry_(registry), verified_(module.functions.empty()) {}

    std::expected<void, utils::Error> extend(std::string_view source);

  private:
    Module& module_;
    types::TypeRegistry& registry_;
    ModuleNames names_;
    // Known of an empty module, else only once a text has been verified against the module:
    // nothing is assumed of the functions the module held before.
    bool verified_;
};

}  // namespace kdinstr::modules::parser
