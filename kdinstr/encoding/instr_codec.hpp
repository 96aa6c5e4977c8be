#pragma once
// Binary form of instructions: one tag byte (the opcode, 0..36), then the record's fields in
// declared order. Qualifier and ordering bytes outside their enum fail with the variant-tag
// message; optional fields and bools use the reader's option and bool rules.
#include <vector>

#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/modules/instructions/analysis_statistic.hpp"
#include "kdinstr/modules/instructions/instruction.hpp"
#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/instructions/meta.hpp"

namespace kdinstr::encoding {

// The set's 32 bits as held; decoding keeps only the defined bits and drops the others.
IoResult<void> encode(BorshWriter& w, const analysis::InstructionFlags& value);
IoResult<analysis::InstructionFlags> decode_instruction_flags(BorshReader& r);
// Scope byte 0 block exit / 1 function exit / 2 reach-any + a list of u32 labels.
IoResult<void> encode(BorshWriter& w, const analysis::TerminationScope& value);
IoResult<analysis::TerminationScope> decode_termination_scope(BorshReader& r);
// Tag 0 instruction count + flags / 1 execution count / 2 termination behavior + scope.
IoResult<void> encode(BorshWriter& w, const analysis::AnalysisStatistic& value);
IoResult<analysis::AnalysisStatistic> decode_analysis_statistic(BorshReader& r);
// The statistic's kind byte (0..2), then its operand.
IoResult<void> encode(BorshWriter& w, const modules::instructions::MetaProbOperand& value);
IoResult<modules::instructions::MetaProbOperand> decode_meta_prob_operand(BorshReader& r);

// One record's fields without the tag byte (defined for each of the 37 records).
template <modules::instructions::InstructionRecord R>
IoResult<void> encode_record(BorshWriter& w, const R& record);
template <modules::instructions::InstructionRecord R>
IoResult<R> decode_record(BorshReader& r);

// The tag byte, then the record.
IoResult<void> encode(BorshWriter& w, const modules::KdInstr& value);
IoResult<modules::KdInstr> decode_instruction(BorshReader& r);
// The same, built in place at the end of `out` (a block's instructions): nothing is appended
// on failure.
IoResult<void> decode_instruction_into(BorshReader& r, std::vector<modules::KdInstr>& out);

}  // namespace kdinstr::encoding
