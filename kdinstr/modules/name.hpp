#pragma once
// Register and block numbers.
#include <fmt/format.h>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>

#include "kdinstr/types/seeded_hash.hpp"

namespace kdinstr::modules {

// A register number; text and debug form "%{}".
struct Name {
    std::uint32_t value = 0;
    constexpr auto operator<=>(const Name&) const = default;
    constexpr bool operator==(const Name&) const = default;
    std::string to_string() const { return fmt::format("%{}", value); }
};

// A basic-block number; text "block_{}", "label block_{}" in the alternate form.
struct Label {
    std::uint32_t value = 0;
    constexpr auto operator<=>(const Label&) const = default;
    constexpr bool operator==(const Label&) const = default;
    std::string to_string() const { return fmt::format("block_{}", value); }
    std::string to_alternate_string() const { return fmt::format("label block_{}", value); }
};

}  // namespace kdinstr::modules

// Register and block numbers come from outside (a storage numbers them as it likes).
template <>
struct kdinstr::types::SeededHash<kdinstr::modules::Name> {
    std::size_t operator()(const kdinstr::modules::Name& n) const noexcept {
        return SeededU64Hash{}(n.value);
    }
};

template <>
struct kdinstr::types::SeededHash<kdinstr::modules::Label> {
    std::size_t operator()(const kdinstr::modules::Label& l) const noexcept {
        return SeededU64Hash{}(l.value);
    }
};

template <>
struct fmt::formatter<kdinstr::modules::Name> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::modules::Name& n, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(n.to_string(), ctx);
    }
};

// "{}" gives block_N, "{:#}" (the alternate flag) label block_N.
template <>
struct fmt::formatter<kdinstr::modules::Label> {
    bool alternate = false;

    constexpr auto parse(fmt::format_parse_context& ctx) {
        auto it = ctx.begin();
        if (it != ctx.end() && *it == '#') {
            alternate = true;
            ++it;
        }
        if (it != ctx.end() && *it != '}') throw fmt::format_error("invalid format for Label");
        return it;
    }

    auto format(const kdinstr::modules::Label& l, fmt::format_context& ctx) const {
        return fmt::format_to(ctx.out(), "{}", alternate ? l.to_alternate_string() : l.to_string());
    }
};
