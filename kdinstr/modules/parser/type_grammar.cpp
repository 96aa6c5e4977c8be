#include "kdinstr/modules/parser/type_grammar.hpp"

#include <fmt/format.h>

#include <memory>
#include <utility>

#include "kdinstr/modules/parser/lexer.hpp"

namespace kdinstr::modules::parser {

using types::AnyType;
using types::Typeref;
using types::primary::PrimaryBasicType;
using types::primary::PrimaryType;
using types::primary::VcSize;

std::string TypeGrammarMessages::size_not_positive(bool vector) {
    return fmt::format("{} size must be a positive non-zero integer", vector ? "vector" : "array");
}

std::string TypeGrammarMessages::size_too_large(bool vector, std::string_view size) {
    return fmt::format("{} size too large: maximum allowed is {}, got {}",
                       vector ? "vector" : "array", max_size, size);
}

namespace {

// The size in the Number token at `size_token`, or 1 after emitting the error over
// [first, last).
template <bool Track>
std::uint16_t checked_size(TokenCursor<Track>& c, std::size_t size_token, std::size_t first,
                           std::size_t last, bool vector) {
    const TokenList& tokens = c.tokens();
    if (const auto small = tokens.small_number(size_token)) {
        if (*small <= 0) {
            c.emit(first, last, TypeGrammarMessages::size_not_positive(vector));
            return 1;
        }
        if (*small > TypeGrammarMessages::max_size) {
            c.emit(first, last, TypeGrammarMessages::size_too_large(vector, std::to_string(*small)));
            return 1;
        }
        return static_cast<std::uint16_t>(*small);
    }
    const mpz_class n = tokens.number(size_token);
    if (sgn(n) <= 0) {
        c.emit(first, last, TypeGrammarMessages::size_not_positive(vector));
    } else {
        c.emit(first, last, TypeGrammarMessages::size_too_large(vector, n.get_str(10)));
    }
    return 1;
}

}  // namespace

template <bool Track>
std::optional<PrimaryBasicType> primary_basic_type_parser(TokenCursor<Track>& c) {
    const TokenList& tokens = c.tokens();
    const auto i = c.filter([&](std::size_t at) {
        const TokenDiscriminants k = tokens.kind(at);
        return k == TokenDiscriminants::IType || k == TokenDiscriminants::FType ||
               tokens.is(at, FixedToken::Ptr);
    });
    if (!i) return std::nullopt;
    switch (tokens.kind(*i)) {
        case TokenDiscriminants::IType:
            return PrimaryBasicType(tokens.itype(*i));
        case TokenDiscriminants::FType:
            return PrimaryBasicType(tokens.ftype(*i));
        default:
            return PrimaryBasicType(types::primary::Ptr{});
    }
}

template <bool Track>
std::optional<PrimaryType> primary_type_parser(TokenCursor<Track>& c) {
    LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::PrimaryType));
    const Mark start = c.mark();
    if (auto basic = primary_basic_type_parser(c)) return PrimaryType(*basic);
    c.rewind(start);
    // vector-type = "<" "vscale"? size "x" basic-type ">"
    if (!c.just(FixedToken::LAngle)) return std::nullopt;
    const bool scalable = c.just(FixedToken::Vscale);
    std::optional<std::size_t> size;
    std::optional<PrimaryBasicType> element;
    if ((size = c.just_match(TokenDiscriminants::Number)) && c.just(FixedToken::X) &&
        (element = primary_basic_type_parser(c)) && c.just(FixedToken::RAngle)) {
        const std::uint16_t count = checked_size(c, *size, *size, *size + 1, true);
        return PrimaryType::vector(std::move(*element),
                                   scalable ? VcSize::scalable(count) : VcSize::fixed(count));
    }
    c.rewind(start);
    return std::nullopt;
}

template <bool Track>
std::optional<Typeref> type_parser(TokenCursor<Track>& c) {
    // An array or struct whose inner types are being read. The labels of the open aggregates stay
    // open in the diagnostics (their frames live there, not on the call stack).
    struct Open {
        bool is_array;
        Mark type_start;          // where this type began: its alternatives rewind here
        std::size_t size_token;   // array: the size
        bool packed;              // struct
        Mark member_start;        // struct: before the member being read (or its comma)
        std::vector<Typeref> members;
    };
    std::vector<Open> open;

    enum class Step { Enter, TryStruct, Succeeded, Failed, CloseStruct };
    Step step = Step::Enter;
    Mark type_start;  // for TryStruct
    Typeref value;

    for (;;) {
        switch (step) {
            case Step::Enter: {
                type_start = c.mark();
                if (auto p = primary_type_parser(c)) {
                    value = c.state().intern(AnyType(std::move(*p)));
                    step = Step::Succeeded;
                    break;
                }
                c.rewind(type_start);
                c.diag().begin_label();
                std::optional<std::size_t> size;
                if (c.just(FixedToken::LBracket) &&
                    (size = c.just_match(TokenDiscriminants::Number)) && c.just(FixedToken::X)) {
                    open.push_back(Open{true, type_start, *size, false, {}, {}});
                    step = Step::Enter;  // the element
                    break;
                }
                c.diag().end_label(type_start.pos, Expected::label(RuleLabel::ArrayType));
                c.rewind(type_start);
                step = Step::TryStruct;
                break;
            }
            case Step::TryStruct: {
                c.diag().begin_label();
                const bool packed = c.just(FixedToken::Packed);
                if (c.just(FixedToken::LBrace)) {
                    open.push_back(Open{false, type_start, 0, packed, c.mark(), {}});
                    step = Step::Enter;  // the first member, if any
                    break;
                }
                c.diag().end_label(type_start.pos, Expected::label(RuleLabel::StructType));
                c.rewind(type_start);
                step = Step::Failed;
                break;
            }
            case Step::Succeeded: {
                if (open.empty()) return value;
                Open& top = open.back();
                if (top.is_array) {
                    if (c.just(FixedToken::RBracket)) {
                        const std::uint16_t count = checked_size(
                            c, top.size_token, top.type_start.pos, c.pos(), false);
                        value = c.state().intern(AnyType(AnyType::Array{value, count}));
                        c.diag().end_label(top.type_start.pos,
                                           Expected::label(RuleLabel::ArrayType));
                        open.pop_back();
                        break;  // Succeeded again, one level up
                    }
                    c.diag().end_label(top.type_start.pos, Expected::label(RuleLabel::ArrayType));
                    type_start = top.type_start;
                    c.rewind(type_start);
                    open.pop_back();
                    step = Step::TryStruct;
                    break;
                }
                top.members.push_back(value);
                top.member_start = c.mark();
                step = c.just(FixedToken::Comma) ? Step::Enter : Step::CloseStruct;
                break;
            }
            case Step::Failed: {
                if (open.empty()) return std::nullopt;
                Open& top = open.back();
                if (top.is_array) {
                    c.diag().end_label(top.type_start.pos, Expected::label(RuleLabel::ArrayType));
                    type_start = top.type_start;
                    c.rewind(type_start);
                    open.pop_back();
                    step = Step::TryStruct;
                    break;
                }
                // The member (or the comma before it) is given back; the list ends there.
                c.rewind(top.member_start);
                step = Step::CloseStruct;
                break;
            }
            case Step::CloseStruct: {
                Open& top = open.back();
                const bool closed = c.just(FixedToken::RBrace);
                if (closed) {
                    value = c.state().intern(
                        AnyType(AnyType::Struct{std::move(top.members), top.packed}));
                }
                c.diag().end_label(top.type_start.pos, Expected::label(RuleLabel::StructType));
                if (!closed) c.rewind(top.type_start);
                open.pop_back();
                step = closed ? Step::Succeeded : Step::Failed;
                break;
            }
        }
    }
}

template std::optional<PrimaryBasicType> primary_basic_type_parser(TokenCursor<false>&);
template std::optional<PrimaryBasicType> primary_basic_type_parser(TokenCursor<true>&);
template std::optional<PrimaryType> primary_type_parser(TokenCursor<false>&);
template std::optional<PrimaryType> primary_type_parser(TokenCursor<true>&);
template std::optional<Typeref> type_parser(TokenCursor<false>&);
template std::optional<Typeref> type_parser(TokenCursor<true>&);

namespace {

template <bool Track>
std::optional<Typeref> whole_type(TokenCursor<Track>& c) {
    auto t = type_parser(c);
    if (!t || !c.end()) return std::nullopt;
    return t;
}

State standalone_state(types::TypeRegistry& registry) {
    return State(registry,
                 std::make_shared<Resolver>([](std::string_view, bool) { return std::nullopt; }),
                 std::make_shared<IdGenerator>([] { return utils::Uuid{}; }));
}

}  // namespace

TypeReadResult read_type(std::string_view text, types::TypeRegistry& registry) {
    TypeReadResult result;
    LexResult lexed = lexer(text);
    if (!lexed.errors.empty()) {
        result.errors = std::move(lexed.errors);
        return result;
    }
    const TokenList& tokens = *lexed.tokens;
    State state = standalone_state(registry);
    Diagnostics<false> fast;
    TokenCursor<false> c(tokens, state, fast);
    result.type = whole_type(c);
    std::optional<SyntaxError> failure;
    if (!result.type) {
        Diagnostics<true> full;
        State again = standalone_state(registry);
        TokenCursor<true> tc(tokens, again, full);
        if (whole_type(tc)) utils::panic("type grammar: the tracked run accepted what the fast run refused");
        failure = full.final_error(tokens.size(), tc.pos());
    }
    result.errors = to_parser_errors(TokenInput(tokens), fast.emitted(), failure);
    return result;
}

}  // namespace kdinstr::modules::parser
