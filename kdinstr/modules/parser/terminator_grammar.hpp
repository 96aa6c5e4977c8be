#pragma once
// The last line of a basic block. Alternatives, in this order (no label of its own, so a line
// that starts none of them expects the four terminator words):
//
//   "branch" operand "," label "," label
//   "trap"
//   "jump" label
//   "ret" (operand | "void")
#include <optional>

#include "kdinstr/modules/parser/token_cursor.hpp"
#include "kdinstr/modules/terminator.hpp"

namespace kdinstr::modules::parser {

template <bool Track>
std::optional<KdTerminator> parse_terminator(TokenCursor<Track>& c);

}  // namespace kdinstr::modules::parser
