#pragma once
// One instruction line. The rule reads the parts any line may have, in a fixed order and without
// looking at the opcode, into a `ParsedInstruction`; `build_instruction` then checks them against
// the opcode and builds the instruction.
//
//   line         = destination? opcode extra-type? operand-form label-list align? volatile?
//   destination  = Register ":" type["type"] "="          (all four, or the line has none)
//   opcode       = just_match(InstrOp)
//   extra-type   = type["type"] ","
//   operand-form = phi-entry ("," phi-entry)*             ["phi operand list"]
//                | (operand ("," operand)*)?              ["operand list"]
//   phi-entry    = "[" operand "," label "]"
//   label-list   = (label ("," label)*)?
//   align        = "," "align" just_match(Number)
//   volatile     = "," "volatile"
// A list never takes a separator it cannot follow with an element: the comma is left for the
// clauses after it. So the line can fail only at its opcode.
//
// Custom errors of the line (the alignment check, then the builder's messages) span the tokens
// the line read, from its register or opcode to the last token of its last clause.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/modules/parser/token_cursor.hpp"

namespace kdinstr::modules::parser {

// Buffers that one parse hands from line to line, so that reading a common line allocates
// nothing but what the instruction itself keeps.
struct InstructionScratch {
    std::vector<Operand> operands;
    std::vector<std::string_view> parts;
    std::vector<std::string> errors;
};

// Reads one line at the cursor and appends its instruction to `out`; false (nothing appended)
// when the line does not start with a destination or an opcode.
template <bool Track>
bool parse_instruction(TokenCursor<Track>& c, InstructionScratch& scratch,
                       std::vector<KdInstr>& out);

struct InstructionGrammarMessages {
    static constexpr std::uint32_t max_alignment = 4294967295u;
    // "invalid alignment value: must be between 1 and {}, got {}"
    static std::string invalid_alignment(std::string_view value);
};

}  // namespace kdinstr::modules::parser
