#pragma once
// Semantic versions and version requirements: the subset compiled module storage needs to check
// that the reading engine may load what another engine wrote. Error texts are fixed and are
// quoted in storage messages.
#include <fmt/format.h>

#include <compare>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kdcore::compiler {

struct Version {
    std::uint64_t major = 0;
    std::uint64_t minor = 0;
    std::uint64_t patch = 0;
    // Dot-separated pre-release identifiers; empty when there are none.
    std::string pre;
    // Build metadata; empty when there is none. Never affects matching.
    std::string build;

    // "major.minor.patch", optionally "-pre" and "+build".
    static std::expected<Version, std::string> parse(std::string_view text);
    std::string to_string() const;
    bool operator==(const Version&) const = default;
};

enum class Op { Exact, Greater, GreaterEq, Less, LessEq, Tilde, Caret, Wildcard };

struct Comparator {
    Op op = Op::Caret;
    std::uint64_t major = 0;
    std::optional<std::uint64_t> minor;
    // Only present with a minor.
    std::optional<std::uint64_t> patch;
    // Only non-empty with a patch.
    std::string pre;

    // Includes the pre-release rule for a requirement of this comparator alone.
    bool matches(const Version& version) const;
    std::string to_string() const;
    bool operator==(const Comparator&) const = default;
};

struct VersionReq {
    static constexpr std::size_t kMaxComparators = 32;

    // All must match; none means any version ("*").
    std::vector<Comparator> comparators;

    // Comma-separated comparators; spaces around the parts are ignored, build metadata is
    // accepted and dropped.
    static std::expected<VersionReq, std::string> parse(std::string_view text);
    // "=major.minor.patch[-pre]": build metadata is left out.
    static VersionReq exact(const Version& version);

    // Every comparator matches, and a version with a pre-release matches only if some
    // comparator names the same major.minor.patch with a pre-release of its own.
    bool matches(const Version& version) const;
    // Normalised: comparators joined by ", ", "*" when there are none.
    std::string to_string() const;
    bool operator==(const VersionReq&) const = default;
};

}  // namespace kdcore::compiler

template <>
struct fmt::formatter<kdcore::compiler::Version> : fmt::formatter<std::string_view> {
    auto format(const kdcore::compiler::Version& v, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(v.to_string(), ctx);
    }
};

template <>
struct fmt::formatter<kdcore::compiler::VersionReq> : fmt::formatter<std::string_view> {
    auto format(const kdcore::compiler::VersionReq& r, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(r.to_string(), ctx);
    }
};
