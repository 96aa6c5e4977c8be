#pragma once
// The generational key of a loaded module in its instance's module table.
#include <fmt/format.h>

#include <cstdint>
#include <string>

namespace kdcore::base {

struct ModuleKey {
    std::uint32_t index = 0xFFFFFFFFu;
    std::uint32_t version = 1;

    constexpr ModuleKey() = default;
    constexpr ModuleKey(std::uint32_t index, std::uint32_t version)
        : index(index), version(version) {}

    static constexpr ModuleKey null() { return ModuleKey(); }
    constexpr bool is_null() const { return index == 0xFFFFFFFFu; }

    bool operator==(const ModuleKey&) const = default;

    // "ModuleKey(1v1)", or "ModuleKey(null)" for the null key.
    std::string to_string() const;
};

}  // namespace kdcore::base

template <>
struct fmt::formatter<kdcore::base::ModuleKey> : fmt::formatter<std::string_view> {
    auto format(const kdcore::base::ModuleKey& k, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(k.to_string(), ctx);
    }
};
