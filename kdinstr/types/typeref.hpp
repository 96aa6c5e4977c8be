#pragma once
// A type's identity: a UUID minted by a registry, or a reserved wildcard value.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>

#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::types {

struct Typeref {
    utils::Uuid uuid;

    constexpr auto operator<=>(const Typeref&) const = default;
    constexpr bool operator==(const Typeref&) const = default;

    // The reserved value for wildcard type n: never stored in a registry.
    static Typeref wildcard(std::uint16_t index);
    // Looser than what `wildcard` writes: bytes 8, 13 and the low nibble of byte 6 are ignored.
    bool is_wildcard() const;
    // The index in bytes 14-15 (little-endian) when this is a wildcard.
    std::optional<std::uint16_t> wildcard_index() const;

    std::string to_string() const { return uuid.to_string(); }
    // "Typeref(" + text + ")".
    std::string debug() const;
};

}  // namespace kdinstr::types

template <>
struct fmt::formatter<kdinstr::types::Typeref> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::types::Typeref& t, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(t.to_string(), ctx);
    }
};

template <>
struct std::hash<kdinstr::types::Typeref> {
    std::size_t operator()(const kdinstr::types::Typeref& t) const noexcept {
        return std::hash<kdinstr::utils::Uuid>{}(t.uuid);
    }
};
