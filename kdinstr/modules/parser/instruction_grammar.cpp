#include "kdinstr/modules/parser/instruction_grammar.hpp"

#include <fmt/format.h>
#include <gmpxx.h>

#include <utility>
#include <vector>

#include "kdinstr/modules/parser/instruction_build.hpp"
#include "kdinstr/modules/parser/operand_grammar.hpp"
#include "kdinstr/modules/parser/type_grammar.hpp"

namespace kdinstr::modules::parser {

std::string InstructionGrammarMessages::invalid_alignment(std::string_view value) {
    return fmt::format("invalid alignment value: must be between 1 and {}, got {}", max_alignment,
                       value);
}

namespace {

using types::Typeref;

// `check_alignment`: the number of an align clause at `number`; the clause begins at `comma`.
// Outside 1..4294967295 the error is emitted and the line goes on with alignment 1, which
// never reaches a module (the parse fails).
template <bool Track>
std::uint32_t check_alignment(TokenCursor<Track>& c, std::size_t comma, std::size_t number) {
    const TokenList& tokens = c.tokens();
    if (const auto small = tokens.small_number(number)) {
        if (*small >= 1 && *small <= std::int64_t{InstructionGrammarMessages::max_alignment})
            return static_cast<std::uint32_t>(*small);
        c.emit(comma, number + 1,
               InstructionGrammarMessages::invalid_alignment(std::to_string(*small)));
        return 1;
    }
    c.emit(comma, number + 1,
           InstructionGrammarMessages::invalid_alignment(tokens.number(number).get_str(10)));
    return 1;
}

template <bool Track>
bool destination_clause(TokenCursor<Track>& c, ParsedInstruction& p) {
    const auto reg = c.just_match(TokenDiscriminants::Register);
    if (!reg || !c.just(FixedToken::Colon)) return false;
    const auto type = labelled_type_parser(c);
    if (!type || !c.just(FixedToken::Equals)) return false;
    p.destination.emplace(c.tokens().name(*reg), *type);
    return true;
}

template <bool Track>
std::optional<std::pair<Operand, Label>> phi_entry(TokenCursor<Track>& c) {
    if (!c.just(FixedToken::LBracket)) return std::nullopt;
    auto operand = operand_parser(c);
    if (!operand || !c.just(FixedToken::Comma)) return std::nullopt;
    const auto label = label_parser(c);
    if (!label || !c.just(FixedToken::RBracket)) return std::nullopt;
    return std::pair<Operand, Label>(std::move(*operand), *label);
}

// One or more elements read by `element` and separated by ","; a "," that no element follows is
// given back. False when not even the first element is there.
template <bool Track, typename Element, typename Out>
bool separated(TokenCursor<Track>& c, Element&& element, std::vector<Out>& out) {
    auto first = element(c);
    if (!first) return false;
    out.push_back(std::move(*first));
    for (;;) {
        const Mark before = c.mark();
        if (c.just(FixedToken::Comma)) {
            if (auto next = element(c)) {
                out.push_back(std::move(*next));
                continue;
            }
        }
        c.rewind(before);
        return true;
    }
}

// Phi entries, or else an operand list read into `operands` (which the form then holds).
template <bool Track>
OperandForm operand_form(TokenCursor<Track>& c, std::vector<Operand>& operands) {
    const Mark start = c.mark();
    {
        LabelScope<Track> scope(c.diag(), start.pos, Expected::label(RuleLabel::PhiOperandList));
        OperandForm::PhiEntries entries;
        if (separated(
                c, [](TokenCursor<Track>& t) { return phi_entry(t); }, entries.entries))
            return OperandForm{std::move(entries)};
    }
    c.rewind(start);
    LabelScope<Track> scope(c.diag(), start.pos, Expected::label(RuleLabel::OperandList));
    operands.clear();
    if (!separated(
            c, [](TokenCursor<Track>& t) { return operand_parser(t); }, operands)) {
        operands.clear();
        c.rewind(start);
    }
    return OperandForm{OperandForm::Operands{std::move(operands)}};
}

}  // namespace

template <bool Track>
bool parse_instruction(TokenCursor<Track>& c, InstructionScratch& scratch,
                       std::vector<KdInstr>& out) {
    const Mark start = c.mark();
    const std::size_t first = start.pos;
    const TokenList& tokens = c.tokens();
    ParsedInstruction p;

    if (!destination_clause(c, p)) c.rewind(start);

    const auto opcode = c.just_match(TokenDiscriminants::InstrOp);
    if (!opcode) return false;
    p.opcode = tokens.instr_op(*opcode);
    p.variant_parts = std::move(scratch.parts);
    tokens.parts_into(*opcode, p.variant_parts);

    {
        const Mark before = c.mark();
        const auto type = labelled_type_parser(c);
        if (type && c.just(FixedToken::Comma))
            p.extra_type = *type;
        else
            c.rewind(before);
    }

    p.operand_form = operand_form(c, scratch.operands);

    {
        const Mark before = c.mark();
        if (!separated(
                c, [](TokenCursor<Track>& t) { return label_parser(t); }, p.label_list))
            c.rewind(before);
    }

    {
        const Mark before = c.mark();
        std::optional<std::size_t> number;
        if (c.just(FixedToken::Comma) && c.just(FixedToken::Align) &&
            (number = c.just_match(TokenDiscriminants::Number)))
            p.alignment = check_alignment(c, before.pos, *number);
        else
            c.rewind(before);
    }

    {
        const Mark before = c.mark();
        if (c.just(FixedToken::Comma) && c.just(FixedToken::Volatile))
            p.volatile_ = true;
        else
            c.rewind(before);
    }

    const std::size_t last = c.pos();
    std::vector<std::string>& errors = scratch.errors;
    errors.clear();
    out.push_back(build_instruction(std::move(p), c.state(), errors));
    for (std::string& message : errors) c.emit(first, last, std::move(message));

    // The builder moved what it keeps; the buffers go back for the next line.
    scratch.parts = std::move(p.variant_parts);
    if (auto* list = std::get_if<OperandForm::Operands>(&p.operand_form.value)) {
        scratch.operands = std::move(list->operands);
        scratch.operands.clear();
    }
    return true;
}

template bool parse_instruction(TokenCursor<false>&, InstructionScratch&, std::vector<KdInstr>&);
template bool parse_instruction(TokenCursor<true>&, InstructionScratch&, std::vector<KdInstr>&);

}  // namespace kdinstr::modules::parser
