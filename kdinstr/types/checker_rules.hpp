#pragma once
// The rules of arithmetic, comparison, selection, phi, call, memory-access and meta instructions
// and of the terminators; casts and aggregate access have rules of their own.
#include <optional>

#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/terminator.hpp"
#include "kdinstr/types/checker_context.hpp"

namespace kdinstr::types::checker {

// The rule of the instruction's kind; the instruction becomes the checker's subject.
Step check_instruction(Checker& checker, const modules::KdInstr& instruction);

// The rule of the terminator's kind against the function's return type.
Step check_terminator(Checker& checker, const modules::KdTerminator& terminator,
                      std::optional<Typeref> return_type);

}  // namespace kdinstr::types::checker
