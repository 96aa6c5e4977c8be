#pragma once
// The words the lexer turns into tokens of their own kind: "import", "void", and the words of
// the IR's enums (visibilities, named calling conventions, instruction and terminator mnemonics,
// floating-point formats, memory orderings). Numbered conventions ("cc" and digits) and integer
// widths ("i" and digits) are read by the lexer itself.
#include <cstdint>
#include <string_view>

#include "kdinstr/modules/parser/token.hpp"

namespace kdinstr::modules::parser {

struct Keyword {
    std::string_view text;
    TokenDiscriminants kind;
    // The enum's value (for CallingConvention: its tag).
    std::uint8_t value;
};

// The keyword spelled exactly `word` (case included), or null.
const Keyword* find_keyword(std::string_view word);

}  // namespace kdinstr::modules::parser
