#pragma once
// Binary form of a module: its functions, then its external functions, each as a u32 count and
// (uuid key, value) entries in ascending key order.
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/modules/module.hpp"

namespace kdinstr::encoding {

// Writes each function from its shared value.
IoResult<void> encode(BorshWriter& w, const modules::Module& value);
// Each decoded function becomes a shared value that nothing else holds yet, so the module can
// still rewrite its types. A repeated key keeps the entry read last; keys are not compared with
// the uuids inside the values.
IoResult<modules::Module> decode_module(BorshReader& r);

}  // namespace kdinstr::encoding
