#pragma once
// The primitive layer of the IR's binary form: little-endian integers, one-byte bools and
// option flags, u32 counts, length-prefixed texts and the minimal two's-complement big integer.
// Codecs of the IR types build on these.
#include <gmpxx.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

#include "kdinstr/encoding/byte_io.hpp"

namespace kdinstr::encoding {

class BorshWriter {
  public:
    explicit BorshWriter(ByteSink& sink) : sink_(sink) {}

    ByteSink& sink() { return sink_; }

    // Bytes as they are, without a length.
    IoResult<void> write_raw(std::span<const std::uint8_t> bytes) { return sink_.write(bytes); }

    IoResult<void> write_u8(std::uint8_t value);
    IoResult<void> write_u16(std::uint16_t value);
    IoResult<void> write_u32(std::uint32_t value);
    IoResult<void> write_u64(std::uint64_t value);
    IoResult<void> write_u128(unsigned __int128 value);
    IoResult<void> write_i64(std::int64_t value);
    IoResult<void> write_bool(bool value);
    // The 0/1 byte in front of an optional value.
    IoResult<void> write_option_tag(bool present) { return write_bool(present); }

    // A u32 count; a count that does not fit fails with "invalid data".
    IoResult<void> write_len(std::size_t count);
    // u32 byte count, then the bytes.
    IoResult<void> write_bytes(std::span<const std::uint8_t> bytes);
    IoResult<void> write_string(std::string_view text);
    // u32 byte count, then the value in two's complement, little-endian, minimal.
    IoResult<void> write_bigint(const mpz_class& value);

    // u32 count, then each element through `write_one(writer, element)`.
    template <typename Range, typename WriteOne>
    IoResult<void> write_seq(const Range& elements, WriteOne&& write_one) {
        if (auto r = write_len(std::size(elements)); !r) return r;
        for (const auto& element : elements) {
            if (auto r = write_one(*this, element); !r) return r;
        }
        return {};
    }

    // Option flag, then the value through `write_one(writer, value)` when present.
    template <typename T, typename WriteOne>
    IoResult<void> write_option(const std::optional<T>& value, WriteOne&& write_one) {
        if (auto r = write_option_tag(value.has_value()); !r) return r;
        if (value) return write_one(*this, *value);
        return {};
    }

  private:
    ByteSink& sink_;
};

}  // namespace kdinstr::encoding
