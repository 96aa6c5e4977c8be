#pragma once
// A 16-byte identifier; text form lower-case 8-4-4-4-12. Never parsed from text.
#include <array>
#include <bit>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include <fmt/format.h>

namespace kdinstr::utils {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // Byte order (byte 0 first), compared as two 64-bit words: type and function identifiers
    // are compared and ordered in every check and map, and a byte-wise compare is a call.
    constexpr std::strong_ordering operator<=>(const Uuid& other) const {
        if consteval {
            return bytes <=> other.bytes;
        } else {
            const std::uint64_t a = word(0), b = other.word(0);
            if (a != b) return a <=> b;
            return word(8) <=> other.word(8);
        }
    }
    constexpr bool operator==(const Uuid& other) const {
        if consteval {
            return bytes == other.bytes;
        } else {
            std::uint64_t a[2], b[2];
            std::memcpy(a, bytes.data(), sizeof a);
            std::memcpy(b, other.bytes.data(), sizeof b);
            return ((a[0] ^ b[0]) | (a[1] ^ b[1])) == 0;
        }
    }

    bool is_nil() const;
    // Lower case with dashes, grouped 8-4-4-4-12.
    std::string to_string() const;

  private:
    // Bytes [at, at + 8) as a number whose order is theirs.
    std::uint64_t word(std::size_t at) const {
        std::uint64_t w;
        std::memcpy(&w, bytes.data() + at, sizeof w);
        if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
        return w;
    }
};

}  // namespace kdinstr::utils

template <>
struct fmt::formatter<kdinstr::utils::Uuid> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::utils::Uuid& u, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(u.to_string(), ctx);
    }
};

template <>
struct std::hash<kdinstr::utils::Uuid> {
    std::size_t operator()(const kdinstr::utils::Uuid& u) const noexcept {
        std::uint64_t a = 0, b = 0;
        for (int i = 0; i < 8; ++i) a = (a << 8) | u.bytes[i];
        for (int i = 8; i < 16; ++i) b = (b << 8) | u.bytes[i];
        return static_cast<std::size_t>(a ^ (b * 0x9E3779B97F4A7C15ull));
    }
};
