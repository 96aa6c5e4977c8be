#pragma once
// UTF-8 validation with the standard error texts, which decoding messages quote verbatim.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kdinstr::encoding {

struct Utf8Error {
    // Bytes before the offending sequence, all valid.
    std::size_t valid_up_to = 0;
    // Length of the invalid sequence (1 to 3); none when the input ends inside a sequence.
    std::optional<std::size_t> error_len;

    // "invalid utf-8 sequence of {} bytes from index {}" or
    // "incomplete utf-8 byte sequence from index {}".
    std::string to_string() const;
    bool operator==(const Utf8Error&) const = default;
};

// The first fault of `bytes` as UTF-8, or none when they are valid.
std::optional<Utf8Error> check_utf8(std::span<const std::uint8_t> bytes);
std::optional<Utf8Error> check_utf8(std::string_view text);

}  // namespace kdinstr::encoding
