#pragma once
// The type rule: an IR type in assembly text, interned at once; its value is the `Typeref`.
//
//   type          = primary-type | array-type | struct-type            (no label of its own)
//   primary-type  = basic-type | vector-type                           ["primary type"]
//   basic-type    = integer token | floating-point token | "ptr"
//   vector-type   = "<" "vscale"? size "x" basic-type ">"
//   array-type    = "[" size "x" type "]"                              ["array type"]
//   struct-type   = "packed"? "{" (type ("," type)*)? "}"               ["struct type"]
//   size          = just_match(Number)                                 ["token Number"]
// Keywords are identifiers without parts. Each primary, array and struct type is interned as
// soon as it has been read, inner types first, through the parse's cache (State::intern);
// abandoned alternatives keep what they interned. Sizes outside 1..65535 emit an error and read
// as 1. Nesting is unbounded: arrays and structs are read with an explicit stack, not recursion.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kdinstr/modules/parser/token_cursor.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::modules::parser {

// An integer token, a floating-point token or the keyword ptr. Other tokens fail with "something
// else", the end of the list with "any"; no label.
template <bool Track>
std::optional<types::primary::PrimaryBasicType> primary_basic_type_parser(TokenCursor<Track>& c);

// A basic type or a vector, labelled "primary type"; not interned.
template <bool Track>
std::optional<types::primary::PrimaryType> primary_type_parser(TokenCursor<Track>& c);

// The type rule; a user that wants a label brackets it with its own LabelScope ("type").
template <bool Track>
std::optional<types::Typeref> type_parser(TokenCursor<Track>& c);

// The messages of the size checks, over the size token (vector) or from "[" to "]" (array).
struct TypeGrammarMessages {
    static constexpr std::uint32_t max_size = 65535;
    // "vector size must be a positive non-zero integer" / "array size must be ..."
    static std::string size_not_positive(bool vector);
    // "vector size too large: maximum allowed is {}, got {}" / "array size too large: ..."
    static std::string size_too_large(bool vector, std::string_view size);
};

// Reads one type from a whole text (lex, the type rule, end of input), for tests and tools.
struct TypeReadResult {
    // The rule's value; present also when a validation emitted an error.
    std::optional<types::Typeref> type;
    // The lexer's errors, or the grammar's emitted errors then its syntax error; empty when the
    // text is one valid type.
    std::vector<utils::ParserError> errors;
};
TypeReadResult read_type(std::string_view text, types::TypeRegistry& registry);

}  // namespace kdinstr::modules::parser

namespace kdinstr::modules::parser {

// The type rule under the label "type", as every user but the type grammar itself reads it.
// Lines try a type where most of them hold none (the extra type after every opcode); a type
// that cannot begin at the first token fails there with no side effect, so the fast run skips
// the rule then.
template <bool Track>
std::optional<types::Typeref> labelled_type_parser(TokenCursor<Track>& c) {
    if constexpr (!Track) {
        if (c.at_end()) return std::nullopt;
        switch (c.kind()) {
            case TokenDiscriminants::IType:
            case TokenDiscriminants::FType:
            case TokenDiscriminants::LAngle:
            case TokenDiscriminants::LBracket:
            case TokenDiscriminants::LBrace:
                break;
            case TokenDiscriminants::Identifier:
                if (c.tokens().is(c.pos(), FixedToken::Ptr) ||
                    c.tokens().is(c.pos(), FixedToken::Packed))
                    break;
                return std::nullopt;
            default:
                return std::nullopt;
        }
    }
    LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::Type));
    return type_parser(c);
}

}  // namespace kdinstr::modules::parser
