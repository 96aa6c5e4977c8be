#pragma once
// Binary form of terminators, basic blocks and a function's block map.
#include <map>

#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/modules/basic_block.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/terminator.hpp"

namespace kdinstr::encoding {

// Tag 0 branch + condition + true label + false label; 1 jump + label; 2 ret + optional
// operand; 3 trap.
IoResult<void> encode(BorshWriter& w, const modules::KdTerminator& value);
IoResult<modules::KdTerminator> decode_terminator(BorshReader& r);

// Its own label, the list of instructions, the terminator.
IoResult<void> encode(BorshWriter& w, const modules::BasicBlock& value);
IoResult<modules::BasicBlock> decode_basic_block(BorshReader& r);

// u32 count, then key label + block in ascending label order. Decoding keeps the entry read
// last for a repeated key and does not compare a key with its block's own label.
IoResult<void> encode(BorshWriter& w, const std::map<modules::Label, modules::BasicBlock>& body);
IoResult<std::map<modules::Label, modules::BasicBlock>> decode_block_map(BorshReader& r);

}  // namespace kdinstr::encoding
