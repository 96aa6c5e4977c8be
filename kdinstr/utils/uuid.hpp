#pragma once
// A 16-byte identifier; text form lower-case 8-4-4-4-12. Never parsed from text.
#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <string>

#include <fmt/format.h>

namespace kdinstr::utils {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    constexpr auto operator<=>(const Uuid&) const = default;
    constexpr bool operator==(const Uuid&) const = default;

    bool is_nil() const;
    // Lower case with dashes, grouped 8-4-4-4-12.
    std::string to_string() const;
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
