#pragma once
// Binary form of register and block numbers and of operands.
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"

namespace kdinstr::encoding {

// Each its u32.
IoResult<void> encode(BorshWriter& w, const modules::Name& value);
IoResult<modules::Name> decode_name(BorshReader& r);
IoResult<void> encode(BorshWriter& w, const modules::Label& value);
IoResult<modules::Label> decode_label(BorshReader& r);

// Tag 0 register + u32; 1 immediate + `AnyConst`; 2 undef + `Typeref`.
IoResult<void> encode(BorshWriter& w, const modules::Operand& value);
IoResult<modules::Operand> decode_operand(BorshReader& r);
// The same into an operand in its place (a record's field): the bytes read and the errors are
// those of `decode_operand`; on failure `out` holds some operand.
IoResult<void> decode_operand_into(BorshReader& r, modules::Operand& out);

}  // namespace kdinstr::encoding
