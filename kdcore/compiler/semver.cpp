#include "kdcore/compiler/semver.hpp"

#include <algorithm>

#include "kdinstr/utils/escape.hpp"

namespace kdcore::compiler {

namespace {

using kdinstr::utils::quote_char;

enum class Position { Major, Minor, Patch, Pre, Build };

const char* position_text(Position pos) {
    switch (pos) {
        case Position::Major:
            return "major version number";
        case Position::Minor:
            return "minor version number";
        case Position::Patch:
            return "patch version number";
        case Position::Pre:
            return "pre-release identifier";
        case Position::Build:
            return "build metadata";
    }
    return "";
}

// The first character of non-empty `text`; a malformed byte counts as U+FFFD.
char32_t first_char(std::string_view text) {
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 < 0x80) return b0;
    int len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (len == 0 || text.size() < static_cast<std::size_t>(len)) return 0xFFFD;
    char32_t c = b0 & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (b & 0x3F);
    }
    return c;
}

// The error texts, one place.
struct Errors {
    static std::string empty() { return "empty string, expected a semver version"; }
    static std::string unexpected_end(Position p) {
        return fmt::format("unexpected end of input while parsing {}", position_text(p));
    }
    static std::string leading_zero(Position p) {
        return fmt::format("invalid leading zero in {}", position_text(p));
    }
    static std::string overflow(Position p) {
        return fmt::format("value of {} exceeds u64::MAX", position_text(p));
    }
    static std::string empty_segment(Position p) {
        return fmt::format("empty identifier segment in {}", position_text(p));
    }
    static std::string unexpected_char(Position p, std::string_view rest) {
        return fmt::format("unexpected character {} while parsing {}", quote_char(first_char(rest)),
                           position_text(p));
    }
    static std::string unexpected_char_after(Position p, std::string_view rest) {
        return fmt::format("unexpected character {} after {}", quote_char(first_char(rest)),
                           position_text(p));
    }
    static std::string expected_comma(Position p, std::string_view rest) {
        return fmt::format("expected comma after {}, found {}", position_text(p),
                           quote_char(first_char(rest)));
    }
    static std::string wildcard_not_only(char w) {
        return fmt::format("wildcard req ({}) must be the only comparator in the version req", w);
    }
    static std::string unexpected_after_wildcard() {
        return "unexpected character after wildcard in version req";
    }
    static std::string excessive_comparators() { return "excessive number of version comparators"; }
};

template <typename T>
using Parsed = std::expected<T, std::string>;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

void skip_spaces(std::string_view& text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
}

bool eat(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

std::optional<char> eat_wildcard(std::string_view& text) {
    if (text.empty()) return std::nullopt;
    const char c = text.front();
    if (c != '*' && c != 'x' && c != 'X') return std::nullopt;
    text.remove_prefix(1);
    return c;
}

Parsed<std::uint64_t> numeric_identifier(std::string_view& text, Position pos) {
    std::uint64_t value = 0;
    std::size_t len = 0;
    while (len < text.size() && is_digit(text[len])) {
        if (len > 0 && value == 0) return std::unexpected(Errors::leading_zero(pos));
        const std::uint64_t digit = static_cast<std::uint64_t>(text[len] - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::unexpected(Errors::overflow(pos));
        value = value * 10 + digit;
        ++len;
    }
    if (len == 0) {
        if (text.empty()) return std::unexpected(Errors::unexpected_end(pos));
        return std::unexpected(Errors::unexpected_char(pos, text));
    }
    text.remove_prefix(len);
    return value;
}

// Dot-separated runs of [0-9A-Za-z-]; stops at the first other character. Numeric pre-release
// identifiers may not have leading zeros.
Parsed<std::string> identifier(std::string_view& text, Position pos) {
    std::size_t accumulated = 0;
    std::size_t segment = 0;
    bool segment_has_nondigit = false;
    for (;;) {
        const std::size_t at = accumulated + segment;
        const char c = at < text.size() ? text[at] : '\0';
        const bool in_text = at < text.size();
        if (in_text && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-')) {
            ++segment;
            segment_has_nondigit = true;
            continue;
        }
        if (in_text && is_digit(c)) {
            ++segment;
            continue;
        }
        const bool dot = in_text && c == '.';
        if (segment == 0) {
            if (accumulated == 0 && !dot) return std::string();
            return std::unexpected(Errors::empty_segment(pos));
        }
        if (pos == Position::Pre && segment > 1 && !segment_has_nondigit &&
            text[accumulated] == '0') {
            return std::unexpected(Errors::leading_zero(pos));
        }
        accumulated += segment;
        if (!dot) {
            std::string out(text.substr(0, accumulated));
            text.remove_prefix(accumulated);
            return out;
        }
        accumulated += 1;
        segment = 0;
        segment_has_nondigit = false;
    }
}

// After '-' or '+': a non-empty identifier.
Parsed<std::string> required_identifier(std::string_view& text, Position pos) {
    auto id = identifier(text, pos);
    if (id && id->empty()) return std::unexpected(Errors::empty_segment(pos));
    return id;
}

Parsed<void> dot(std::string_view& text, Position pos) {
    if (eat(text, '.')) return {};
    if (text.empty()) return std::unexpected(Errors::unexpected_end(pos));
    return std::unexpected(Errors::unexpected_char_after(pos, text));
}

struct ParsedComparator {
    Comparator comparator;
    // The last part read, named by "expected comma" errors.
    Position pos;
};

Op read_op(std::string_view& text) {
    if (eat(text, '=')) return Op::Exact;
    if (eat(text, '>')) return eat(text, '=') ? Op::GreaterEq : Op::Greater;
    if (eat(text, '<')) return eat(text, '=') ? Op::LessEq : Op::Less;
    if (eat(text, '~')) return Op::Tilde;
    if (eat(text, '^')) return Op::Caret;
    return Op::Caret;
}

Parsed<ParsedComparator> comparator(std::string_view& text) {
    const std::size_t before_op = text.size();
    Comparator cmp;
    cmp.op = read_op(text);
    // A bare partial version with a wildcard ("1.*") is a wildcard comparator; with an explicit
    // operator the wildcard only leaves the part out.
    const bool default_op = text.size() == before_op;
    skip_spaces(text);

    Position pos = Position::Major;
    auto major = numeric_identifier(text, pos);
    if (!major) return std::unexpected(major.error());
    cmp.major = *major;

    bool has_wildcard = false;
    if (eat(text, '.')) {
        pos = Position::Minor;
        if (eat_wildcard(text)) {
            has_wildcard = true;
            if (default_op) cmp.op = Op::Wildcard;
        } else {
            auto minor = numeric_identifier(text, pos);
            if (!minor) return std::unexpected(minor.error());
            cmp.minor = *minor;
        }
    }
    if (eat(text, '.')) {
        pos = Position::Patch;
        if (eat_wildcard(text)) {
            if (default_op) cmp.op = Op::Wildcard;
            has_wildcard = true;
        } else if (has_wildcard) {
            return std::unexpected(Errors::unexpected_after_wildcard());
        } else {
            auto patch = numeric_identifier(text, pos);
            if (!patch) return std::unexpected(patch.error());
            cmp.patch = *patch;
        }
    }
    if (cmp.patch && eat(text, '-')) {
        pos = Position::Pre;
        auto pre = required_identifier(text, pos);
        if (!pre) return std::unexpected(pre.error());
        cmp.pre = std::move(*pre);
    }
    if (cmp.patch && eat(text, '+')) {
        pos = Position::Build;
        auto build = required_identifier(text, pos);
        if (!build) return std::unexpected(build.error());
    }
    skip_spaces(text);
    return ParsedComparator{std::move(cmp), pos};
}

bool is_numeric(std::string_view id) {
    return !id.empty() && std::all_of(id.begin(), id.end(), is_digit);
}

// Pre-release precedence; no pre-release ranks above any pre-release.
std::strong_ordering compare_pre(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty()) {
        if (a.empty() && b.empty()) return std::strong_ordering::equal;
        return a.empty() ? std::strong_ordering::greater : std::strong_ordering::less;
    }
    for (;;) {
        const std::size_t ea = a.find('.');
        const std::size_t eb = b.find('.');
        const std::string_view ia = a.substr(0, ea);
        const std::string_view ib = b.substr(0, eb);
        const bool na = is_numeric(ia);
        const bool nb = is_numeric(ib);
        std::strong_ordering order = std::strong_ordering::equal;
        if (na && nb) {
            // No leading zeros, so the longer number is the larger.
            order = ia.size() <=> ib.size();
            if (order == 0) order = ia.compare(ib) <=> 0;
        } else if (na != nb) {
            order = na ? std::strong_ordering::less : std::strong_ordering::greater;
        } else {
            order = ia.compare(ib) <=> 0;
        }
        if (order != 0) return order;
        const bool more_a = ea != std::string_view::npos;
        const bool more_b = eb != std::string_view::npos;
        if (!more_a || !more_b) {
            if (more_a == more_b) return std::strong_ordering::equal;
            return more_a ? std::strong_ordering::greater : std::strong_ordering::less;
        }
        a.remove_prefix(ea + 1);
        b.remove_prefix(eb + 1);
    }
}

bool matches_exact(const Comparator& c, const Version& v) {
    if (v.major != c.major) return false;
    if (c.minor && v.minor != *c.minor) return false;
    if (c.patch && v.patch != *c.patch) return false;
    return v.pre == c.pre;
}

bool matches_greater(const Comparator& c, const Version& v) {
    if (v.major != c.major) return v.major > c.major;
    if (!c.minor) return false;
    if (v.minor != *c.minor) return v.minor > *c.minor;
    if (!c.patch) return false;
    if (v.patch != *c.patch) return v.patch > *c.patch;
    return compare_pre(v.pre, c.pre) > 0;
}

bool matches_less(const Comparator& c, const Version& v) {
    if (v.major != c.major) return v.major < c.major;
    if (!c.minor) return false;
    if (v.minor != *c.minor) return v.minor < *c.minor;
    if (!c.patch) return false;
    if (v.patch != *c.patch) return v.patch < *c.patch;
    return compare_pre(v.pre, c.pre) < 0;
}

bool matches_tilde(const Comparator& c, const Version& v) {
    if (v.major != c.major) return false;
    if (c.minor && v.minor != *c.minor) return false;
    if (c.patch && v.patch != *c.patch) return v.patch > *c.patch;
    return compare_pre(v.pre, c.pre) >= 0;
}

bool matches_caret(const Comparator& c, const Version& v) {
    if (v.major != c.major) return false;
    if (!c.minor) return true;
    const std::uint64_t minor = *c.minor;
    if (!c.patch) return c.major > 0 ? v.minor >= minor : v.minor == minor;
    const std::uint64_t patch = *c.patch;
    if (c.major > 0) {
        if (v.minor != minor) return v.minor > minor;
        if (v.patch != patch) return v.patch > patch;
    } else if (minor > 0) {
        if (v.minor != minor) return false;
        if (v.patch != patch) return v.patch > patch;
    } else if (v.minor != minor || v.patch != patch) {
        return false;
    }
    return compare_pre(v.pre, c.pre) >= 0;
}

bool matches_op(const Comparator& c, const Version& v) {
    switch (c.op) {
        case Op::Exact:
        case Op::Wildcard:
            return matches_exact(c, v);
        case Op::Greater:
            return matches_greater(c, v);
        case Op::GreaterEq:
            return matches_exact(c, v) || matches_greater(c, v);
        case Op::Less:
            return matches_less(c, v);
        case Op::LessEq:
            return matches_exact(c, v) || matches_less(c, v);
        case Op::Tilde:
            return matches_tilde(c, v);
        case Op::Caret:
            return matches_caret(c, v);
    }
    return false;
}

bool pre_is_compatible(const Comparator& c, const Version& v) {
    return c.major == v.major && c.minor == v.minor && c.patch == v.patch && !c.pre.empty();
}

}  // namespace

std::expected<Version, std::string> Version::parse(std::string_view text) {
    if (text.empty()) return std::unexpected(Errors::empty());
    Version v;
    Position pos = Position::Major;
    auto major = numeric_identifier(text, pos);
    if (!major) return std::unexpected(major.error());
    if (auto d = dot(text, pos); !d) return std::unexpected(d.error());
    pos = Position::Minor;
    auto minor = numeric_identifier(text, pos);
    if (!minor) return std::unexpected(minor.error());
    if (auto d = dot(text, pos); !d) return std::unexpected(d.error());
    pos = Position::Patch;
    auto patch = numeric_identifier(text, pos);
    if (!patch) return std::unexpected(patch.error());
    v.major = *major;
    v.minor = *minor;
    v.patch = *patch;
    if (eat(text, '-')) {
        pos = Position::Pre;
        auto pre = required_identifier(text, pos);
        if (!pre) return std::unexpected(pre.error());
        v.pre = std::move(*pre);
    }
    if (eat(text, '+')) {
        pos = Position::Build;
        auto build = required_identifier(text, pos);
        if (!build) return std::unexpected(build.error());
        v.build = std::move(*build);
    }
    if (!text.empty()) return std::unexpected(Errors::unexpected_char_after(pos, text));
    return v;
}

std::string Version::to_string() const {
    std::string out = fmt::format("{}.{}.{}", major, minor, patch);
    if (!pre.empty()) out += "-" + pre;
    if (!build.empty()) out += "+" + build;
    return out;
}

bool Comparator::matches(const Version& version) const {
    return matches_op(*this, version) && (version.pre.empty() || pre_is_compatible(*this, version));
}

namespace {

std::string_view op_text(Op op) {
    switch (op) {
        case Op::Exact:
            return "=";
        case Op::Greater:
            return ">";
        case Op::GreaterEq:
            return ">=";
        case Op::Less:
            return "<";
        case Op::LessEq:
            return "<=";
        case Op::Tilde:
            return "~";
        case Op::Caret:
            return "^";
        case Op::Wildcard:
            break;
    }
    return "";
}

}  // namespace

std::string Comparator::to_string() const {
    // Built from a view, not assigned literals: GCC 12 at -O3 reports a false -Wrestrict there.
    std::string out(op_text(op));
    out += fmt::format("{}", major);
    if (minor) {
        out += fmt::format(".{}", *minor);
        if (patch) {
            out += fmt::format(".{}", *patch);
            if (!pre.empty()) {
                out += '-';
                out += pre;
            }
        } else if (op == Op::Wildcard) {
            out += ".*";
        }
    } else if (op == Op::Wildcard) {
        out += ".*";
    }
    return out;
}

std::expected<VersionReq, std::string> VersionReq::parse(std::string_view text) {
    skip_spaces(text);
    {
        std::string_view rest = text;
        if (auto w = eat_wildcard(rest)) {
            skip_spaces(rest);
            if (rest.empty()) return VersionReq{};
            if (rest.front() == ',') return std::unexpected(Errors::wildcard_not_only(*w));
            return std::unexpected(Errors::unexpected_after_wildcard());
        }
    }
    VersionReq req;
    for (;;) {
        const std::string_view at = text;
        auto parsed = comparator(text);
        if (!parsed) {
            // A lone wildcard after other comparators gets the clearer message.
            std::string_view rest = at;
            if (auto w = eat_wildcard(rest)) {
                skip_spaces(rest);
                if (rest.empty() || rest.front() == ',') {
                    return std::unexpected(Errors::wildcard_not_only(*w));
                }
            }
            return std::unexpected(parsed.error());
        }
        req.comparators.push_back(std::move(parsed->comparator));
        if (text.empty()) return req;
        if (!eat(text, ',')) return std::unexpected(Errors::expected_comma(parsed->pos, text));
        skip_spaces(text);
        if (req.comparators.size() == kMaxComparators) {
            return std::unexpected(Errors::excessive_comparators());
        }
    }
}

VersionReq VersionReq::exact(const Version& version) {
    return VersionReq{
        {Comparator{Op::Exact, version.major, version.minor, version.patch, version.pre}}};
}

bool VersionReq::matches(const Version& version) const {
    for (const auto& c : comparators) {
        if (!matches_op(c, version)) return false;
    }
    if (version.pre.empty()) return true;
    return std::any_of(comparators.begin(), comparators.end(),
                       [&](const Comparator& c) { return pre_is_compatible(c, version); });
}

std::string VersionReq::to_string() const {
    if (comparators.empty()) return "*";
    std::string out;
    for (std::size_t i = 0; i < comparators.size(); ++i) {
        if (i > 0) out += ", ";
        out += comparators[i].to_string();
    }
    return out;
}

}  // namespace kdcore::compiler
