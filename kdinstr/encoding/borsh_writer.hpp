#pragma once
// The primitive layer of the IR's binary form: little-endian integers, one-byte bools and
// option flags, u32 counts, length-prefixed texts and the minimal two's-complement big integer.
// Codecs of the IR types build on these.
#include <gmpxx.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

#include "kdinstr/encoding/byte_io.hpp"

namespace kdinstr::encoding {

class BorshWriter {
  public:
    explicit BorshWriter(ByteSink& sink)
        : sink_(sink), buffered_(dynamic_cast<BufferedSink*>(&sink)) {}

    ByteSink& sink() { return sink_; }

    // Bytes as they are, without a length.
    IoResult<void> write_raw(std::span<const std::uint8_t> bytes) {
        // BufferedSink::write is final and inline: a direct call, a copy into the window.
        if (buffered_) [[likely]]
            return buffered_->write(bytes);
        return write_unbuffered(bytes);
    }

    IoResult<void> write_u8(std::uint8_t value) { return write_le(value); }
    IoResult<void> write_u16(std::uint16_t value) { return write_le(value); }
    IoResult<void> write_u32(std::uint32_t value) { return write_le(value); }
    IoResult<void> write_u64(std::uint64_t value) { return write_le(value); }
    IoResult<void> write_u128(unsigned __int128 value) { return write_le(value); }
    IoResult<void> write_i64(std::int64_t value) {
        return write_le(static_cast<std::uint64_t>(value));
    }
    IoResult<void> write_bool(bool value) { return write_u8(value ? 1 : 0); }
    // The 0/1 byte in front of an optional value.
    IoResult<void> write_option_tag(bool present) { return write_bool(present); }

    // A u32 count; a count that does not fit fails with "invalid data".
    IoResult<void> write_len(std::size_t count) {
        if (count > std::numeric_limits<std::uint32_t>::max()) [[unlikely]]
            return std::unexpected(IoError::invalid_data());
        return write_u32(static_cast<std::uint32_t>(count));
    }
    // u32 byte count, then the bytes.
    IoResult<void> write_bytes(std::span<const std::uint8_t> bytes) {
        if (auto r = write_len(bytes.size()); !r) return r;
        if (bytes.empty()) return {};
        return write_raw(bytes);
    }
    IoResult<void> write_string(std::string_view text) {
        return write_bytes(std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
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
    // Through the sink's own write. Out of line: inlined at every write, the call would have the
    // compiler guess the sink's type and copy BufferedSink::write in beside it, and the writes
    // would grow too big to be inlined themselves.
    IoResult<void> write_unbuffered(std::span<const std::uint8_t> bytes);

    // Little-endian value of sizeof(U) bytes: straight into the window when the sink has one.
    template <typename U>
    IoResult<void> write_le(U value) {
        std::array<std::uint8_t, sizeof(U)> bytes;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(bytes.data(), &value, sizeof(U));
        } else {
            for (std::size_t i = 0; i < sizeof(U); ++i)
                bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
        return write_raw(bytes);
    }

    ByteSink& sink_;
    // The same sink when it gathers bytes in a window: values are then written in place, with a
    // virtual call only when the window is full. Which bytes are written does not change.
    BufferedSink* buffered_;
};

}  // namespace kdinstr::encoding
