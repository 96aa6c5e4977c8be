#pragma once
// The second half of reading an instruction line. The grammar reads the parts that any line may
// have without looking at the opcode; `build_instruction` checks the combination against the
// opcode's rules and builds the `KdInstr`.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/modules/parser/state.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::modules::parser {

// What follows the opcode (and the extra type): bracketed [operand, label] entries, which only
// phi takes, or a plain operand list, possibly empty.
struct OperandForm {
    struct PhiEntries {
        std::vector<std::pair<Operand, Label>> entries;
    };
    struct Operands {
        std::vector<Operand> operands;
    };
    std::variant<PhiEntries, Operands> value = Operands{};
};

// One instruction line as the grammar read it, clause by clause.
struct ParsedInstruction {
    // The register name without "%" (a view into the source text) and the destination's type.
    std::optional<std::pair<std::string_view, types::Typeref>> destination;
    KdInstrOp opcode = KdInstrOp::IAdd;
    // The words after the mnemonic, split at "." as written (empty words included).
    std::vector<std::string_view> variant_parts;
    // A type followed by a comma right after the opcode.
    std::optional<types::Typeref> extra_type;
    OperandForm operand_form;
    // Absent and empty mean the same.
    std::vector<Label> label_list;
    std::optional<std::uint32_t> alignment;
    bool volatile_ = false;
};

// Checks `parsed` against its opcode's rules in a fixed order, appends the text of each violation
// to `errors` and always returns an instruction, so that the rest of the text is still read: a
// check that ends the line returns `placeholder_instruction()` at once, the others go on with a
// substitute. The destination is numbered in `state` before any check (so after the line's
// operands, which the grammar has numbered already). The caller reports every appended message
// over the line's span. Lists are moved out of `parsed` into the instruction.
KdInstr build_instruction(ParsedInstruction&& parsed, State& state,
                          std::vector<std::string>& errors);

// `!assert i64 1`: what a line becomes when a check ends it.
KdInstr placeholder_instruction();

}  // namespace kdinstr::modules::parser
