#include "kdinstr/encoding/borsh_reader.hpp"

#include <fmt/format.h>

#include <cstring>

#include "kdinstr/encoding/bigint_bytes.hpp"
#include "kdinstr/encoding/try.hpp"
#include "kdinstr/encoding/utf8_check.hpp"

namespace kdinstr::encoding {

IoResult<void> BorshReader::read_exact(std::span<std::uint8_t> out) {
    if (buffered_ && buffered_->available() >= out.size()) {
        if (!out.empty()) std::memcpy(out.data(), buffered_->take(out.size()), out.size());
        return {};
    }
    std::size_t filled = 0;
    while (filled < out.size()) {
        auto n = source_.read(out.subspan(filled));
        if (!n) return std::unexpected(std::move(n.error()));
        if (*n == 0)
            return std::unexpected(IoError::invalid_data(DecodeMessages::kUnexpectedLength));
        filled += *n;
    }
    return {};
}

IoResult<std::int64_t> BorshReader::read_i64() {
    auto v = read_le<std::uint64_t>();
    if (!v) return std::unexpected(std::move(v.error()));
    return static_cast<std::int64_t>(*v);
}

IoResult<bool> BorshReader::read_bool() {
    auto b = read_u8();
    if (!b) return std::unexpected(std::move(b.error()));
    if (*b > 1) {
        return std::unexpected(
            IoError::invalid_data(fmt::format(fmt::runtime(DecodeMessages::kInvalidBool), *b)));
    }
    return *b == 1;
}

IoResult<bool> BorshReader::read_option_tag_slow() {
    auto b = read_u8();
    if (!b) return std::unexpected(std::move(b.error()));
    if (*b > 1) {
        return std::unexpected(
            IoError::invalid_data(fmt::format(fmt::runtime(DecodeMessages::kInvalidOption), *b)));
    }
    return *b == 1;
}

IoResult<std::uint8_t> BorshReader::read_tag_slow(std::uint8_t max_tag) {
    auto b = read_u8();
    if (!b) return b;
    if (*b > max_tag) {
        return std::unexpected(IoError::invalid_data(
            fmt::format(fmt::runtime(DecodeMessages::kUnexpectedVariantTag), *b)));
    }
    return b;
}

template <typename Bytes>
IoResult<void> BorshReader::read_counted(std::size_t count, Bytes& out) {
    // Every block is charged before it is allocated: a false count costs what arrives, and the
    // first block at most.
    std::size_t size = std::min(count, kMaxBytesReserve);
    KD_TRY(charge(size + kAllocationOverhead));
    out.resize(size);
    std::size_t filled = 0;
    while (filled < count) {
        if (filled == out.size()) {
            size = std::min(out.size() * 2, count);
            KD_TRY(charge(size + kAllocationOverhead));
            out.resize(size);
        }
        auto n = source_.read(
            std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size()).subspan(filled));
        if (!n) return std::unexpected(std::move(n.error()));
        if (*n == 0)
            return std::unexpected(IoError::invalid_data(DecodeMessages::kUnexpectedLength));
        filled += *n;
    }
    return {};
}

IoResult<std::vector<std::uint8_t>> BorshReader::read_bytes() {
    auto len = read_u32();
    if (!len) return std::unexpected(std::move(len.error()));
    std::vector<std::uint8_t> out;
    if (auto r = read_counted(*len, out); !r) return std::unexpected(std::move(r.error()));
    return out;
}

IoResult<std::string> BorshReader::read_string() {
    auto len = read_u32();
    if (!len) return std::unexpected(std::move(len.error()));
    std::string out;
    if (buffered_ && buffered_->available() >= *len) {
        KD_TRY(charge(*len + kAllocationOverhead));
        const auto* at = buffered_->take(*len);
        out.assign(reinterpret_cast<const char*>(at), *len);
    } else if (auto r = read_counted(*len, out); !r) {
        return std::unexpected(std::move(r.error()));
    }
    if (auto err = check_utf8(std::string_view(out)))
        return std::unexpected(IoError::invalid_data(err->to_string()));
    return out;
}

IoResult<mpz_class> BorshReader::read_bigint() {
    auto len = read_u32();
    if (!len) return std::unexpected(std::move(len.error()));
    return read_bigint_bytes(*len);
}

IoResult<mpz_class> BorshReader::read_bigint_bytes(std::uint32_t length) {
    // The number's limbs and the block of the value that holds them, charged once the bytes are
    // at hand.
    const std::size_t number = std::size_t{length} + sizeof(mpz_class) + 2 * kAllocationOverhead;
    // In the window: convert the bytes in place instead of copying them out first.
    if (buffered_ && buffered_->available() >= length) {
        KD_TRY(charge(number));
        return bigint_from_signed_bytes_le({buffered_->take(length), length});
    }
    std::vector<std::uint8_t> bytes;
    if (auto r = read_counted(length, bytes); !r) return std::unexpected(std::move(r.error()));
    KD_TRY(charge(number));
    return bigint_from_signed_bytes_le(bytes);
}

}  // namespace kdinstr::encoding
