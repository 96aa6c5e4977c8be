#include "kdinstr/encoding/borsh_writer.hpp"

#include <array>
#include <vector>

#include "kdinstr/encoding/bigint_bytes.hpp"

namespace kdinstr::encoding {

namespace {

template <typename U>
IoResult<void> write_le(ByteSink& sink, U value) {
    std::array<std::uint8_t, sizeof(U)> bytes;
    for (std::size_t i = 0; i < sizeof(U); ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return sink.write(bytes);
}

}  // namespace

IoResult<void> BorshWriter::write_u8(std::uint8_t value) { return write_le(sink_, value); }
IoResult<void> BorshWriter::write_u16(std::uint16_t value) { return write_le(sink_, value); }
IoResult<void> BorshWriter::write_u32(std::uint32_t value) { return write_le(sink_, value); }
IoResult<void> BorshWriter::write_u64(std::uint64_t value) { return write_le(sink_, value); }
IoResult<void> BorshWriter::write_u128(unsigned __int128 value) { return write_le(sink_, value); }
IoResult<void> BorshWriter::write_i64(std::int64_t value) {
    return write_le(sink_, static_cast<std::uint64_t>(value));
}
IoResult<void> BorshWriter::write_bool(bool value) { return write_u8(value ? 1 : 0); }

IoResult<void> BorshWriter::write_len(std::size_t count) {
    if (count > std::numeric_limits<std::uint32_t>::max()) {
        return std::unexpected(IoError::invalid_data());
    }
    return write_u32(static_cast<std::uint32_t>(count));
}

IoResult<void> BorshWriter::write_bytes(std::span<const std::uint8_t> bytes) {
    if (auto r = write_len(bytes.size()); !r) return r;
    if (bytes.empty()) return {};
    return sink_.write(bytes);
}

IoResult<void> BorshWriter::write_string(std::string_view text) {
    return write_bytes(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

IoResult<void> BorshWriter::write_bigint(const mpz_class& value) {
    return write_bytes(bigint_to_signed_bytes_le(value));
}

}  // namespace kdinstr::encoding
