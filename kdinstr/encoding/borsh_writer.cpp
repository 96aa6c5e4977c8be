#include "kdinstr/encoding/borsh_writer.hpp"

#include "kdinstr/encoding/bigint_bytes.hpp"

namespace kdinstr::encoding {

IoResult<void> BorshWriter::write_unbuffered(std::span<const std::uint8_t> bytes) {
    return sink_.write(bytes);
}

IoResult<void> BorshWriter::write_bigint(const mpz_class& value) {
    return write_bytes(bigint_to_signed_bytes_le(value));
}

}  // namespace kdinstr::encoding
