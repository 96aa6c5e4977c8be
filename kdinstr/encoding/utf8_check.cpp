#include "kdinstr/encoding/utf8_check.hpp"

#include <fmt/format.h>

namespace kdinstr::encoding {

std::string Utf8Error::to_string() const {
    if (error_len) {
        return fmt::format("invalid utf-8 sequence of {} bytes from index {}", *error_len,
                           valid_up_to);
    }
    return fmt::format("incomplete utf-8 byte sequence from index {}", valid_up_to);
}

namespace {

bool is_continuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::optional<Utf8Error> check_utf8(std::span<const std::uint8_t> bytes) {
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t first = bytes[i];
        if (first < 0x80) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        // The reported length is the maximal prefix of a well-formed sequence, so a stray byte
        // is always reported alone.
        auto invalid = [&](std::size_t len) { return Utf8Error{start, len}; };
        auto incomplete = [&] { return Utf8Error{start, std::nullopt}; };
        if (first >= 0xC2 && first <= 0xDF) {
            if (i + 1 >= n) return incomplete();
            if (!is_continuation(bytes[i + 1])) return invalid(1);
            i += 2;
        } else if (first >= 0xE0 && first <= 0xEF) {
            if (i + 1 >= n) return incomplete();
            const std::uint8_t second = bytes[i + 1];
            const bool ok = (first == 0xE0)   ? (second >= 0xA0 && second <= 0xBF)
                            : (first == 0xED) ? (second >= 0x80 && second <= 0x9F)
                                              : is_continuation(second);
            if (!ok) return invalid(1);
            if (i + 2 >= n) return incomplete();
            if (!is_continuation(bytes[i + 2])) return invalid(2);
            i += 3;
        } else if (first >= 0xF0 && first <= 0xF4) {
            if (i + 1 >= n) return incomplete();
            const std::uint8_t second = bytes[i + 1];
            const bool ok = (first == 0xF0)   ? (second >= 0x90 && second <= 0xBF)
                            : (first == 0xF4) ? (second >= 0x80 && second <= 0x8F)
                                              : is_continuation(second);
            if (!ok) return invalid(1);
            if (i + 2 >= n) return incomplete();
            if (!is_continuation(bytes[i + 2])) return invalid(2);
            if (i + 3 >= n) return incomplete();
            if (!is_continuation(bytes[i + 3])) return invalid(3);
            i += 4;
        } else {
            return invalid(1);
        }
    }
    return std::nullopt;
}

std::optional<Utf8Error> check_utf8(std::string_view text) {
    return check_utf8(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace kdinstr::encoding
