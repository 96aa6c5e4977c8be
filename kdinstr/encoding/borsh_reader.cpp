#include "kdinstr/encoding/borsh_reader.hpp"

#include <fmt/format.h>

#include <cstring>

#include "kdinstr/encoding/bigint_bytes.hpp"
#include "kdinstr/encoding/utf8_check.hpp"

namespace kdinstr::encoding {

IoResult<void> BorshReader::read_exact(std::span<std::uint8_t> out) {
    if (span_ && span_->remaining() >= out.size()) {
        if (!out.empty()) std::memcpy(out.data(), span_->take(out.size()), out.size());
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

IoResult<bool> BorshReader::read_option_tag() {
    auto b = read_u8();
    if (!b) return std::unexpected(std::move(b.error()));
    if (*b > 1) {
        return std::unexpected(
            IoError::invalid_data(fmt::format(fmt::runtime(DecodeMessages::kInvalidOption), *b)));
    }
    return *b == 1;
}

IoResult<std::uint8_t> BorshReader::read_tag(std::uint8_t max_tag) {
    auto b = read_u8();
    if (!b) return b;
    if (*b > max_tag) {
        return std::unexpected(IoError::invalid_data(
            fmt::format(fmt::runtime(DecodeMessages::kUnexpectedVariantTag), *b)));
    }
    return b;
}

IoResult<std::vector<std::uint8_t>> BorshReader::read_bytes() {
    auto len = read_u32();
    if (!len) return std::unexpected(std::move(len.error()));
    const std::size_t total = *len;
    // A false length must not allocate what the input cannot back: grow as the bytes arrive.
    std::vector<std::uint8_t> out(std::min(total, kMaxBytesReserve));
    std::size_t filled = 0;
    while (filled < total) {
        if (filled == out.size()) out.resize(std::min(out.size() * 2, total));
        auto n = source_.read(std::span(out).subspan(filled));
        if (!n) return std::unexpected(std::move(n.error()));
        if (*n == 0)
            return std::unexpected(IoError::invalid_data(DecodeMessages::kUnexpectedLength));
        filled += *n;
    }
    return out;
}

IoResult<std::string> BorshReader::read_string() {
    auto bytes = read_bytes();
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    if (auto err = check_utf8(*bytes))
        return std::unexpected(IoError::invalid_data(err->to_string()));
    return std::string(bytes->begin(), bytes->end());
}

IoResult<mpz_class> BorshReader::read_bigint() {
    if (span_) {
        // In memory: convert the bytes in place instead of copying them out first.
        auto len = read_u32();
        if (!len) return std::unexpected(std::move(len.error()));
        if (span_->remaining() >= *len) return bigint_from_signed_bytes_le({span_->take(*len), *len});
        // Consumes what is left, as the copying read does before it fails.
        span_->take(span_->remaining());
        return std::unexpected(IoError::invalid_data(DecodeMessages::kUnexpectedLength));
    }
    auto bytes = read_bytes();
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    return bigint_from_signed_bytes_le(*bytes);
}

}  // namespace kdinstr::encoding
