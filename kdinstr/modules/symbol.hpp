#pragma once
// A constant naming a function of a module by UUID, internal or external.
#include <fmt/format.h>

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::modules {

// The variant index is the encoding's tag.
enum class FunctionPointerKind : std::uint8_t { Internal = 0, External = 1 };

// "internal" or "external".
std::string_view to_string(FunctionPointerKind kind);

class FunctionPointer {
  public:
    constexpr FunctionPointer(FunctionPointerKind kind, const utils::Uuid& uuid)
        : kind_(kind), uuid_(uuid) {}
    static constexpr FunctionPointer internal(const utils::Uuid& uuid) {
        return {FunctionPointerKind::Internal, uuid};
    }
    static constexpr FunctionPointer external(const utils::Uuid& uuid) {
        return {FunctionPointerKind::External, uuid};
    }

    constexpr FunctionPointerKind kind() const { return kind_; }
    constexpr bool is_internal() const { return kind_ == FunctionPointerKind::Internal; }
    constexpr bool is_external() const { return kind_ == FunctionPointerKind::External; }
    // Key of the module's function map (internal) or external-function map (external).
    constexpr const utils::Uuid& uuid() const { return uuid_; }

    constexpr auto operator<=>(const FunctionPointer&) const = default;
    constexpr bool operator==(const FunctionPointer&) const = default;

    // Internal(<uuid text>) or External(<uuid text>).
    std::string debug() const;

  private:
    FunctionPointerKind kind_;
    utils::Uuid uuid_;
};

}  // namespace kdinstr::modules

template <>
struct fmt::formatter<kdinstr::modules::FunctionPointerKind> : fmt::formatter<std::string_view> {
    auto format(kdinstr::modules::FunctionPointerKind k, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(kdinstr::modules::to_string(k), ctx);
    }
};
