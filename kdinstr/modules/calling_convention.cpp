#include "kdinstr/modules/calling_convention.hpp"

#include <array>

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules {

namespace {

struct NamedConvention {
    std::string_view text;
    std::string_view debug;
};

// Tags 0 to 13, in tag order.
constexpr std::array<NamedConvention, 14> named_conventions{{
    {"cc", "C"},
    {"fastcc", "FastC"},
    {"coldcc", "ColdC"},
    {"ghccc", "GhcC"},
    {"hipecc", "HipeC"},
    {"anyregcc", "AnyRegC"},
    {"preservemostcc", "PreserveMostC"},
    {"preserveallcc", "PreserveAllC"},
    {"preservenonecc", "PreserveNoneC"},
    {"cxx_fast_tlscc", "CxxFastTlsC"},
    {"tailcc", "TailC"},
    {"swiftcc", "SwiftC"},
    {"swifttailcc", "SwiftTailC"},
    {"cfguard_checkcc", "CfguardCheckC"},
}};

// An optional "+" and one or more decimal digits, nothing else, at most 4294967295.
std::optional<std::uint32_t> parse_u32(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<CallingConvention> CallingConvention::from_tag(std::uint32_t tag,
                                                             std::uint32_t number) {
    if (tag >= tag_count) return std::nullopt;
    if (static_cast<Tag>(tag) == Tag::Numbered) return numbered(number);
    return CallingConvention(static_cast<Tag>(tag));
}

std::string CallingConvention::to_string() const {
    if (tag_ == Tag::Numbered) return fmt::format("cc{}", number_);
    return std::string(named_conventions[static_cast<std::size_t>(tag_)].text);
}

std::string CallingConvention::debug() const {
    if (tag_ == Tag::Numbered) return utils::debug_tuple("Numbered", std::to_string(number_));
    return std::string(named_conventions[static_cast<std::size_t>(tag_)].debug);
}

std::optional<CallingConvention> CallingConvention::from_str(std::string_view text) {
    for (std::size_t i = 0; i < named_conventions.size(); ++i)
        if (named_conventions[i].text == text) return CallingConvention(static_cast<Tag>(i));
    if (!text.starts_with("cc")) return std::nullopt;
    if (auto n = parse_u32(text.substr(2))) return numbered(*n);
    return std::nullopt;
}

}  // namespace kdinstr::modules
