#include "kdinstr/modules/parser/operand_grammar.hpp"

#include <fmt/format.h>

#include <utility>

#include "kdinstr/consts/big_int.hpp"
#include "kdinstr/consts/fp_const.hpp"
#include "kdinstr/consts/int_const.hpp"
#include "kdinstr/modules/parser/type_grammar.hpp"

namespace kdinstr::modules::parser {

std::string OperandGrammarMessages::function_pointer_not_found(bool external,
                                                               std::string_view name) {
    return fmt::format("{}function pointer '{}' not found", external ? "external " : "", name);
}

namespace {

// Most constants fit 64 bits and then take no number of their own.
consts::BigInt number_value(const TokenList& tokens, std::size_t i) {
    if (const auto small = tokens.small_number(i)) return consts::BigInt(*small);
    return consts::BigInt(tokens.number(i));
}

template <bool Track>
std::optional<consts::AnyConst> integer_constant(TokenCursor<Track>& c) {
    LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::IntegerConstant));
    const auto width = c.just_match(TokenDiscriminants::IType);
    if (!width) return std::nullopt;
    const auto number = c.just_match(TokenDiscriminants::Number);
    if (!number) return std::nullopt;
    const TokenList& tokens = c.tokens();
    return consts::AnyConst(consts::IConst(tokens.itype(*width), number_value(tokens, *number)));
}

template <bool Track>
std::optional<consts::AnyConst> float_constant(TokenCursor<Track>& c) {
    LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::FloatConstant));
    const auto kind = c.just_match(TokenDiscriminants::FType);
    if (!kind) return std::nullopt;
    const auto decimal = c.just_match(TokenDiscriminants::Decimal);
    if (!decimal) return std::nullopt;
    const TokenList& tokens = c.tokens();
    return consts::AnyConst(consts::FConst(tokens.ftype(*kind), tokens.decimal(*decimal)));
}

template <bool Track>
std::optional<consts::AnyConst> function_pointer(TokenCursor<Track>& c) {
    const std::size_t start = c.pos();
    LabelScope<Track> scope(c.diag(), start, Expected::label(RuleLabel::FunctionPointer));
    if (!c.just(FixedToken::Ptr)) return std::nullopt;
    const bool external = c.just(FixedToken::External);
    const auto name_token = c.just_match(TokenDiscriminants::Identifier);
    if (!name_token) return std::nullopt;
    const std::string_view name = c.tokens().joined_name(*name_token);
    if (const auto uuid = c.state().resolve(name, external)) {
        return consts::AnyConst(external ? FunctionPointer::external(*uuid)
                                         : FunctionPointer::internal(*uuid));
    }
    c.emit(start, c.pos(), OperandGrammarMessages::function_pointer_not_found(external, name));
    return consts::AnyConst(FunctionPointer::internal(utils::Uuid{}));
}

}  // namespace

template <bool Track>
std::optional<consts::AnyConst> constant_parser(TokenCursor<Track>& c) {
    const Mark start = c.mark();
    if (auto v = integer_constant(c)) return v;
    c.rewind(start);
    if (auto v = float_constant(c)) return v;
    c.rewind(start);
    if (auto v = function_pointer(c)) return v;
    c.rewind(start);
    return std::nullopt;
}

template <bool Track>
std::optional<Name> register_parser_a(TokenCursor<Track>& c) {
    LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::Register));
    const auto token = c.just_match(TokenDiscriminants::Register);
    if (!token) return std::nullopt;
    return c.state().get_register(c.tokens().name(*token));
}

template <bool Track>
std::optional<Label> label_parser(TokenCursor<Track>& c) {
    LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::Label));
    const auto token = c.just_match(TokenDiscriminants::Identifier);
    if (!token) return std::nullopt;
    return c.state().get_label(c.tokens().joined_name(*token));
}

template <bool Track>
std::optional<Operand> operand_parser(TokenCursor<Track>& c) {
    const Mark start = c.mark();
    if (auto reg = register_parser_a(c)) return Operand(*reg);
    c.rewind(start);
    {
        LabelScope<Track> scope(c.diag(), start.pos, Expected::label(RuleLabel::UndefOperand));
        const auto type = labelled_type_parser(c);
        if (type && c.just(FixedToken::Undef)) return Operand(*type);
    }
    c.rewind(start);
    {
        LabelScope<Track> scope(c.diag(), start.pos, Expected::label(RuleLabel::ImmediateOperand));
        if (auto constant = constant_parser(c)) return Operand(std::move(*constant));
    }
    c.rewind(start);
    return std::nullopt;
}

template std::optional<Operand> operand_parser(TokenCursor<false>&);
template std::optional<Operand> operand_parser(TokenCursor<true>&);
template std::optional<consts::AnyConst> constant_parser(TokenCursor<false>&);
template std::optional<consts::AnyConst> constant_parser(TokenCursor<true>&);
template std::optional<Name> register_parser_a(TokenCursor<false>&);
template std::optional<Name> register_parser_a(TokenCursor<true>&);
template std::optional<Label> label_parser(TokenCursor<false>&);
template std::optional<Label> label_parser(TokenCursor<true>&);

}  // namespace kdinstr::modules::parser
