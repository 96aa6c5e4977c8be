#pragma once
// How a function is called: fourteen named conventions and one numbered escape.
#include <fmt/format.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kdinstr::modules {

class CallingConvention {
  public:
    // The 32-bit tag of the encoding, in this order.
    enum class Tag : std::uint32_t {
        C = 0,
        FastC,
        ColdC,
        GhcC,
        HipeC,
        AnyRegC,
        PreserveMostC,
        PreserveAllC,
        PreserveNoneC,
        CxxFastTlsC,
        TailC,
        SwiftC,
        SwiftTailC,
        CfguardCheckC,
        Numbered,
    };
    static constexpr std::uint32_t tag_count = 15;

    // A named convention; `Tag::Numbered` gives number 0.
    constexpr CallingConvention(Tag tag = Tag::C) : tag_(tag) {}
    static constexpr CallingConvention numbered(std::uint32_t n) {
        CallingConvention c(Tag::Numbered);
        c.number_ = n;
        return c;
    }
    // The convention for an encoded tag and number; none for a tag above 14. The number is
    // kept only for `Numbered`.
    static std::optional<CallingConvention> from_tag(std::uint32_t tag, std::uint32_t number = 0);

    constexpr Tag tag() const { return tag_; }
    // The number of `Numbered`; 0 for every other convention.
    constexpr std::uint32_t number() const { return number_; }

    constexpr auto operator<=>(const CallingConvention&) const = default;
    constexpr bool operator==(const CallingConvention&) const = default;

    // "cc", "fastcc", ... or "cc{}" with the number of `Numbered`.
    std::string to_string() const;
    // The variant name; `Numbered(n)` for the numbered one.
    std::string debug() const;
    // A whole text, case-sensitive: the fourteen named texts first, then "cc" followed by an
    // optional "+" and decimal digits that fit 32 bits. Anything else is none.
    static std::optional<CallingConvention> from_str(std::string_view text);

  private:
    Tag tag_;
    std::uint32_t number_ = 0;
};

}  // namespace kdinstr::modules

template <>
struct fmt::formatter<kdinstr::modules::CallingConvention> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::modules::CallingConvention& c, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(c.to_string(), ctx);
    }
};
