#pragma once
// Binary form of the IR's small enums: one byte per value (visibility, qualifiers, memory
// ordering, opcodes, ...), and the calling convention, whose numbered variant carries a u32.
#include <cstdint>
#include <utility>

#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/modules/calling_convention.hpp"
#include "kdinstr/modules/enum_words.hpp"

namespace kdinstr::encoding {

// The value as one byte.
template <modules::WordEnum E>
IoResult<void> encode(BorshWriter& w, E value) {
    return w.write_u8(static_cast<std::uint8_t>(value));
}

// One byte naming a value of E; a byte past the last value fails with the variant-tag message.
template <modules::WordEnum E>
IoResult<E> decode_enum(BorshReader& r) {
    auto tag = r.read_tag(static_cast<std::uint8_t>(modules::value_count<E>() - 1));
    if (!tag) return std::unexpected(std::move(tag.error()));
    return static_cast<E>(*tag);
}

// Tag byte 0..14; `Numbered` (14) is followed by its u32.
IoResult<void> encode(BorshWriter& w, const modules::CallingConvention& value);
IoResult<modules::CallingConvention> decode_calling_convention(BorshReader& r);

}  // namespace kdinstr::encoding
