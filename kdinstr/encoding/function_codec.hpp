#pragma once
// Binary form of functions and external function declarations.
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/modules/external_function.hpp"
#include "kdinstr/modules/function.hpp"

namespace kdinstr::encoding {

// uuid, optional name, parameters (u32 + `Typeref` each), optional return type, block map,
// optional visibility, optional calling convention, set of u16 wildcard indices, meta bool,
// optional 16-byte reserved id.
IoResult<void> encode(BorshWriter& w, const modules::Function& value);
IoResult<modules::Function> decode_function(BorshReader& r);

// uuid, name, calling convention, list of parameter `Typeref`s, optional return type.
IoResult<void> encode(BorshWriter& w, const modules::ExternalFunction& value);
IoResult<modules::ExternalFunction> decode_external_function(BorshReader& r);

}  // namespace kdinstr::encoding
