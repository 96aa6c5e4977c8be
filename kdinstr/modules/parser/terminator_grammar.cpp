#include "kdinstr/modules/parser/terminator_grammar.hpp"

#include <utility>

#include "kdinstr/modules/parser/operand_grammar.hpp"

namespace kdinstr::modules::parser {

namespace {

template <bool Track>
std::optional<KdTerminator> branch(TokenCursor<Track>& c) {
    if (!c.just(FixedToken::Branch)) return std::nullopt;
    auto condition = operand_parser(c);
    if (!condition || !c.just(FixedToken::Comma)) return std::nullopt;
    const auto if_true = label_parser(c);
    if (!if_true || !c.just(FixedToken::Comma)) return std::nullopt;
    const auto if_false = label_parser(c);
    if (!if_false) return std::nullopt;
    return KdTerminator(TerminatorBranch{std::move(*condition), *if_true, *if_false});
}

template <bool Track>
std::optional<KdTerminator> jump(TokenCursor<Track>& c) {
    if (!c.just(FixedToken::Jump)) return std::nullopt;
    const auto target = label_parser(c);
    if (!target) return std::nullopt;
    return KdTerminator(TerminatorJump{*target});
}

template <bool Track>
std::optional<KdTerminator> ret(TokenCursor<Track>& c) {
    if (!c.just(FixedToken::Ret)) return std::nullopt;
    const Mark value = c.mark();
    if (auto operand = operand_parser(c)) return KdTerminator(TerminatorRet{std::move(*operand)});
    c.rewind(value);
    if (!c.just(FixedToken::Void)) return std::nullopt;
    return KdTerminator(TerminatorRet{std::nullopt});
}

}  // namespace

template <bool Track>
std::optional<KdTerminator> parse_terminator(TokenCursor<Track>& c) {
    const Mark start = c.mark();
    if (auto t = branch(c)) return t;
    c.rewind(start);
    if (c.just(FixedToken::Trap)) return KdTerminator(TerminatorTrap{});
    if (auto t = jump(c)) return t;
    c.rewind(start);
    if (auto t = ret(c)) return t;
    c.rewind(start);
    return std::nullopt;
}

template std::optional<KdTerminator> parse_terminator(TokenCursor<false>&);
template std::optional<KdTerminator> parse_terminator(TokenCursor<true>&);

}  // namespace kdinstr::modules::parser
