#pragma once
// Binary form of a type registry: u64 count, then (`Typeref`, `AnyType`) per stored type in
// ascending `Typeref` order. The hash index is left out and rebuilt on decoding.
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdinstr::encoding {

// Holds the registry's types map read-locked for the whole write.
IoResult<void> encode(BorshWriter& w, const types::TypeRegistry& registry);

// A registry holding the decoded entries as they come (a repeated `Typeref` keeps the later
// type; nothing checks inner `Typeref`s, wildcards or ranges). It mints with a random clock
// sequence start and the zero node id.
IoResult<types::TypeRegistry> decode_type_registry(BorshReader& r);

}  // namespace kdinstr::encoding
