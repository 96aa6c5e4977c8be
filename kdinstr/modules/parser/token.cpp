#include "kdinstr/modules/parser/token.hpp"

#include "kdinstr/utils/debug_text.hpp"
#include "kdinstr/utils/escape.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules::parser {

namespace {

constexpr std::array<std::string_view, token_kind_count> kind_names{
    "IType",   "FType",       "Ordering",      "Visibility", "CallingConvention", "TerminatorOp",
    "InstrOp", "Void",        "Import",        "Identifier", "MetaIdentifier",    "Uuid",
    "Register", "Number",     "Decimal",       "StringLiteral", "LParen",         "RParen",
    "LBrace",  "RBrace",      "LBracket",      "RBracket",   "LAngle",            "RAngle",
    "Comma",   "Colon",       "Equals",        "Newline"};

// Display texts of the payload-free kinds, by kind index (empty for kinds with a payload).
constexpr std::array<std::string_view, token_kind_count> plain_display{
    "", "", "", "", "", "", "", "void", "import", "", "", "", "", "", "", "",
    "(", ")", "{", "}", "[", "]", "<", ">", ",", ":", "=", "\\n"};

std::string parts_debug(const std::vector<std::string_view>& parts) {
    return utils::debug_text_list(parts);
}

// `prefix`, the name, then "." and each part.
std::string joined(std::string_view prefix, std::string_view name,
                   const std::vector<std::string_view>& parts) {
    std::string out(prefix);
    out += name;
    for (const auto part : parts) {
        out += '.';
        out += part;
    }
    return out;
}

struct DisplayOf {
    std::string operator()(const types::primary::IType& t) const { return t.to_string(); }
    std::string operator()(types::primary::FType t) const {
        return std::string(types::primary::ftype_text(t));
    }
    std::string operator()(instructions::MemoryOrdering o) const {
        return std::string(debug_name(o));
    }
    std::string operator()(Visibility v) const { return std::string(debug_name(v)); }
    std::string operator()(const CallingConvention& c) const { return c.debug(); }
    std::string operator()(KdTerminatorOp op) const { return std::string(debug_name(op)); }
    std::string operator()(const Token::InstrOp& t) const {
        std::string out(debug_name(t.op));
        if (!t.parts.empty()) {
            out += '<';
            out += parts_debug(t.parts);
            out += '>';
        }
        return out;
    }
    std::string operator()(const Token::Identifier& t) const {
        return joined("", t.name, t.parts);
    }
    std::string operator()(const Token::MetaIdentifier& t) const {
        return joined("!", t.name, t.parts);
    }
    std::string operator()(const utils::Uuid& u) const { return u.to_string(); }
    std::string operator()(const Token::Register& t) const { return joined("%", t.name, {}); }
    std::string operator()(const Token::Number& t) const { return t.value.get_str(10); }
    std::string operator()(const Token::Decimal& t) const { return t.value.to_string(); }
    std::string operator()(const Token::StringLiteral& t) const {
        return utils::quote_text(t.text);
    }
    template <TokenDiscriminants K>
    std::string operator()(const Token::Plain<K>&) const {
        return std::string(plain_display[static_cast<std::size_t>(K)]);
    }
};

struct DebugPayloadOf {
    // The payload items in debug form, joined by ", "; empty for payload-free kinds.
    std::string operator()(const types::primary::IType& t) const { return t.debug(); }
    std::string operator()(types::primary::FType t) const {
        return std::string(types::primary::ftype_debug(t));
    }
    std::string operator()(instructions::MemoryOrdering o) const {
        return std::string(debug_name(o));
    }
    std::string operator()(Visibility v) const { return std::string(debug_name(v)); }
    std::string operator()(const CallingConvention& c) const { return c.debug(); }
    std::string operator()(KdTerminatorOp op) const { return std::string(debug_name(op)); }
    std::string operator()(const Token::InstrOp& t) const {
        return std::string(debug_name(t.op)) + ", " + parts_debug(t.parts);
    }
    std::string operator()(const Token::Identifier& t) const {
        return utils::quote_text(t.name) + ", " + parts_debug(t.parts);
    }
    std::string operator()(const Token::MetaIdentifier& t) const {
        return utils::quote_text(t.name) + ", " + parts_debug(t.parts);
    }
    std::string operator()(const utils::Uuid& u) const { return u.to_string(); }
    std::string operator()(const Token::Register& t) const { return utils::quote_text(t.name); }
    std::string operator()(const Token::Number& t) const { return t.value.get_str(10); }
    std::string operator()(const Token::Decimal& t) const { return t.value.debug(); }
    std::string operator()(const Token::StringLiteral& t) const {
        return utils::quote_text(t.text);
    }
    template <TokenDiscriminants K>
    std::string operator()(const Token::Plain<K>&) const {
        return {};
    }
};

// Display texts by fixed token; a keyword's is its keyword text.
constexpr std::array<std::string_view, fixed_token_count> fixed_displays{
    "(",      ")",   "{",      "}",    "[",      "]",      "<",        ">",     ",",
    ":",      "=",   "\\n",    "void", "import", "Branch", "Jump",     "Ret",   "Trap",
    "define", "ptr", "vscale", "x",    "packed", "undef",  "external", "align", "volatile",
};

}  // namespace

std::string_view kind_name(TokenDiscriminants kind) {
    const auto i = static_cast<std::size_t>(kind);
    if (i >= token_kind_count) utils::panic("token kind {} out of range", i);
    return kind_names[i];
}

std::string Token::display() const { return std::visit(DisplayOf{}, value); }

std::string Token::debug() const {
    const std::string_view name = kind_name(kind());
    const bool payload_free = kind() == TokenDiscriminants::Void ||
                              kind() == TokenDiscriminants::Import ||
                              kind() >= TokenDiscriminants::LParen;
    if (payload_free) return std::string(name);
    return utils::debug_tuple(name, std::visit(DebugPayloadOf{}, value));
}

Token fixed_token(FixedToken t) {
    switch (t) {
        case FixedToken::LParen:
            return Token::LParen{};
        case FixedToken::RParen:
            return Token::RParen{};
        case FixedToken::LBrace:
            return Token::LBrace{};
        case FixedToken::RBrace:
            return Token::RBrace{};
        case FixedToken::LBracket:
            return Token::LBracket{};
        case FixedToken::RBracket:
            return Token::RBracket{};
        case FixedToken::LAngle:
            return Token::LAngle{};
        case FixedToken::RAngle:
            return Token::RAngle{};
        case FixedToken::Comma:
            return Token::Comma{};
        case FixedToken::Colon:
            return Token::Colon{};
        case FixedToken::Equals:
            return Token::Equals{};
        case FixedToken::Newline:
            return Token::Newline{};
        case FixedToken::Void:
            return Token::Void{};
        case FixedToken::Import:
            return Token::Import{};
        case FixedToken::Branch:
            return KdTerminatorOp::Branch;
        case FixedToken::Jump:
            return KdTerminatorOp::Jump;
        case FixedToken::Ret:
            return KdTerminatorOp::Ret;
        case FixedToken::Trap:
            return KdTerminatorOp::Trap;
        default:
            break;
    }
    const auto i = static_cast<std::size_t>(t);
    if (i >= fixed_token_count) utils::panic("fixed token {} out of range", i);
    return Token::Identifier{fixed_token_keywords[i], {}};
}

std::string_view fixed_token_display(FixedToken t) {
    const auto i = static_cast<std::size_t>(t);
    if (i >= fixed_token_count) utils::panic("fixed token {} out of range", i);
    return fixed_displays[i];
}

}  // namespace kdinstr::modules::parser
