#pragma once
// Operands of instructions and terminators, immediate constants, registers and block labels.
//
//   operand   = register                                  ["register"]
//             | type["type"] "undef"                      ["undef operand"]
//             | constant                                  ["immediate operand"]
//   constant  = IType Number                              ["integer constant"]
//             | FType Decimal                             ["floating-point constant"]
//             | "ptr" "external"? Identifier              ["function pointer"]
//   register  = just_match(Register)                      ["register"]
//   label     = just_match(Identifier)                    ["label"]
//
// Registers and labels are numbered by the State as they are read (uses may come before the
// definition); a function pointer's joined name goes to the State's resolver as soon as it has
// been read. None of that, nor the types the undef attempt interns before a constant is read
// (i32 5 interns i32), is undone when an enclosing alternative is abandoned.
#include <optional>
#include <string>
#include <string_view>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/modules/parser/token_cursor.hpp"

namespace kdinstr::modules::parser {

template <bool Track>
std::optional<Operand> operand_parser(TokenCursor<Track>& c);

template <bool Track>
std::optional<consts::AnyConst> constant_parser(TokenCursor<Track>& c);

template <bool Track>
std::optional<Name> register_parser_a(TokenCursor<Track>& c);

template <bool Track>
std::optional<Label> label_parser(TokenCursor<Track>& c);

struct OperandGrammarMessages {
    // "{}function pointer '{}' not found": "external " or nothing, then the joined name.
    static std::string function_pointer_not_found(bool external, std::string_view name);
};

}  // namespace kdinstr::modules::parser
