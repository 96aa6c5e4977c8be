#pragma once
// The vocabulary between the lexer and the token grammar: one token as a value, its kind, its
// display text (what parser messages quote) and its debug text (what a failed source keeps).
//
// This is the token as a self-standing value, for messages, tests and single matches. The lexer's
// output is the compact `TokenList` (token_list.hpp), which hands out these values on request.
#include <gmpxx.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kdinstr/consts/big_decimal.hpp"
#include "kdinstr/modules/calling_convention.hpp"
#include "kdinstr/modules/instructions/qualifiers.hpp"
#include "kdinstr/modules/terminator.hpp"
#include "kdinstr/modules/visibility.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/utils/panic.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::modules::parser {

// The 28 token kinds; the value is the variant index of `Token`.
enum class TokenDiscriminants : std::uint8_t {
    IType,
    FType,
    Ordering,
    Visibility,
    CallingConvention,
    TerminatorOp,
    InstrOp,
    Void,
    Import,
    Identifier,
    MetaIdentifier,
    Uuid,
    Register,
    Number,
    Decimal,
    StringLiteral,
    LParen,
    RParen,
    LBrace,
    RBrace,
    LBracket,
    RBracket,
    LAngle,
    RAngle,
    Comma,
    Colon,
    Equals,
    Newline,
};
inline constexpr std::size_t token_kind_count = 28;

// "IType" .. "Newline": the kind's name, as the label "token {}" shows it.
std::string_view kind_name(TokenDiscriminants kind);

class Token {
  public:
    // An opcode with the variant parts written after it ("iadd.wrap": IAdd, ["wrap"]).
    struct InstrOp {
        instructions::KdInstrOp op;
        std::vector<std::string_view> parts;
        bool operator==(const InstrOp&) const = default;
    };
    // A word: its head and the parts after each "." ("a.b.c": "a", ["b", "c"]). The texts are
    // views into the source text.
    struct Identifier {
        std::string_view name;
        std::vector<std::string_view> parts;
        bool operator==(const Identifier&) const = default;
    };
    // A "!" word that is no meta mnemonic; the name is without its "!".
    struct MetaIdentifier {
        std::string_view name;
        std::vector<std::string_view> parts;
        bool operator==(const MetaIdentifier&) const = default;
    };
    // The name after "%" (may be empty).
    struct Register {
        std::string_view name;
        bool operator==(const Register&) const = default;
    };
    struct Number {
        mpz_class value;
        friend bool operator==(const Number& a, const Number& b) { return a.value == b.value; }
    };
    // Equal when numerically equal, whatever the scales (1.5 == 1.50).
    struct Decimal {
        consts::BigDecimal value;
        friend bool operator==(const Decimal& a, const Decimal& b) { return a.value == b.value; }
    };
    // The text with its escapes resolved; owned.
    struct StringLiteral {
        std::string text;
        bool operator==(const StringLiteral&) const = default;
    };
    template <TokenDiscriminants K>
    struct Plain {
        bool operator==(const Plain&) const = default;
    };
    using Void = Plain<TokenDiscriminants::Void>;
    using Import = Plain<TokenDiscriminants::Import>;
    using LParen = Plain<TokenDiscriminants::LParen>;
    using RParen = Plain<TokenDiscriminants::RParen>;
    using LBrace = Plain<TokenDiscriminants::LBrace>;
    using RBrace = Plain<TokenDiscriminants::RBrace>;
    using LBracket = Plain<TokenDiscriminants::LBracket>;
    using RBracket = Plain<TokenDiscriminants::RBracket>;
    using LAngle = Plain<TokenDiscriminants::LAngle>;
    using RAngle = Plain<TokenDiscriminants::RAngle>;
    using Comma = Plain<TokenDiscriminants::Comma>;
    using Colon = Plain<TokenDiscriminants::Colon>;
    using Equals = Plain<TokenDiscriminants::Equals>;
    using Newline = Plain<TokenDiscriminants::Newline>;

    // In `TokenDiscriminants` order.
    using Variant = std::variant<types::primary::IType, types::primary::FType,
                                 instructions::MemoryOrdering, Visibility, CallingConvention,
                                 KdTerminatorOp, InstrOp, Void, Import, Identifier, MetaIdentifier,
                                 utils::Uuid, Register, Number, Decimal, StringLiteral, LParen,
                                 RParen, LBrace, RBrace, LBracket, RBracket, LAngle, RAngle, Comma,
                                 Colon, Equals, Newline>;

    Variant value;

    template <typename V>
    requires std::is_constructible_v<Variant, V&&> &&
        (!std::is_same_v<std::remove_cvref_t<V>, Token>)Token(V&& v)
        : value(std::forward<V>(v)) {}

    TokenDiscriminants kind() const { return static_cast<TokenDiscriminants>(value.index()); }

    // What parser messages quote: "i32", "fp32", "Acq", "FastC", "IAdd<[\"wrap\"]>", "a.b",
    // "!f", "%x", "-31", "1.5", "\"a\\\"b\"", "(", "\\n" (a backslash and n).
    std::string display() const;
    // IType(IType { num_bits: 32 }), Identifier("a", ["b"]), Number(-31), Comma, ...
    std::string debug() const;

    friend bool operator==(const Token& a, const Token& b) { return a.value == b.value; }
};

static_assert(std::variant_size_v<Token::Variant> == token_kind_count);

// The tokens the token grammar expects by value (punctuation, the newline, the word tokens
// "void"/"import", the terminator words, and the grammar's keywords, which are identifiers
// without parts). An expectation names one by this id.
enum class FixedToken : std::uint8_t {
    LParen,
    RParen,
    LBrace,
    RBrace,
    LBracket,
    RBracket,
    LAngle,
    RAngle,
    Comma,
    Colon,
    Equals,
    Newline,
    Void,
    Import,
    Branch,
    Jump,
    Ret,
    Trap,
    Define,
    Ptr,
    Vscale,
    X,
    Packed,
    Undef,
    External,
    Align,
    Volatile,
};
inline constexpr std::size_t fixed_token_count = 27;

// The token a fixed token stands for.
Token fixed_token(FixedToken t);
// Its display text ("(", "\\n", "Ret", "define", ...).
std::string_view fixed_token_display(FixedToken t);

// The keyword texts by fixed token: the identifier keywords ("define" .. "volatile"), empty for
// the others. In the header so that a keyword named where it is used is a constant, and the
// grammar's keyword tests, made token by token, need no call.
inline constexpr std::array<std::string_view, fixed_token_count> fixed_token_keywords{
    "",       "",    "",       "",  "",       "",      "",         "",      "",
    "",       "",    "",       "",  "",       "",      "",         "",      "",
    "define", "ptr", "vscale", "x", "packed", "undef", "external", "align", "volatile",
};

// The keyword text of an identifier keyword; empty for the others.
constexpr std::string_view fixed_token_keyword(FixedToken t) {
    const auto i = static_cast<std::size_t>(t);
    if (i >= fixed_token_count) utils::panic("fixed token {} out of range", i);
    return fixed_token_keywords[i];
}

}  // namespace kdinstr::modules::parser
