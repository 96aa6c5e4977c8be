#include "kdinstr/modules/parser/instruction_build.hpp"

#include <fmt/format.h>
#include <gmpxx.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/consts/int_const.hpp"
#include "kdinstr/modules/enum_words.hpp"
#include "kdinstr/modules/instructions/analysis_statistic.hpp"

namespace kdinstr::modules::parser {

namespace {

using namespace instructions;
using Op = KdInstrOp;
using types::Typeref;

// The builder's messages; the mnemonic fills each "{} instruction".
namespace text {
using Mnemonic = fmt::format_string<std::string_view>;
using MnemonicCount = fmt::format_string<std::string_view, std::size_t>;

constexpr Mnemonic missing_extra_type{"syntax error for {} instruction: missing additional type"};
constexpr Mnemonic unexpected_extra_type{
    "syntax error for {} instruction: unexpected additional type"};
constexpr Mnemonic phi_entries_elsewhere{
    "syntax error for {} instruction: only 'phi' instructions can use the [operand, label] "
    "syntax, use operands separated by commas instead"};
constexpr Mnemonic destination_refused{
    "syntax error for {} instruction: destination register specified where none expected"};
constexpr std::string_view phi_with_operands{
    "syntax error for phi instruction: expected [operand, label] pairs, got operands separated "
    "by commas instead"};
constexpr Mnemonic missing_destination{
    "syntax error for {} instruction: missing destination register"};
constexpr Mnemonic unexpected_labels{"syntax error for {} instruction: unexpected label list"};
constexpr MnemonicCount too_many_orderings{
    "arity mismatch for {} instruction variant: expected at most 1 variant operand, got {}"};
// The mnemonic, then what was expected and what was written: "variant" or "no variant".
constexpr fmt::format_string<std::string_view, std::string_view, std::string_view> variant_presence{
    "syntax error for {} instruction: expected {}, got {}"};
constexpr std::string_view variant{"variant"};
constexpr std::string_view no_variant{"no variant"};
constexpr fmt::format_string<std::string_view, std::size_t, std::size_t> variant_count{
    "arity mismatch for {} instruction variant: expected {} variant operands, got {}"};
constexpr fmt::format_string<std::string_view, std::size_t, std::size_t> operand_count{
    "arity mismatch for {} instruction: expected {} operands, got {}"};
constexpr Mnemonic misplaced_alignment{
    "alignment specifier is only valid for load, store and alloca instructions, got {} "
    "instruction"};
constexpr Mnemonic misplaced_volatile{
    "volatile specifier is only valid for load and store instructions, got {} instruction"};
constexpr Mnemonic gep_without_operands{
    "arity mismatch for {} instruction: expected at least 1 operand for indices, got 0"};
constexpr MnemonicCount invoke_without_operands{
    "arity mismatch for {} instruction: expected at least 1 operand (function pointer), got {}"};
constexpr MnemonicCount insertvalue_operands{
    "arity mismatch for {} instruction: expected aggregate, value, and at least one index, got "
    "{}"};
constexpr MnemonicCount extractvalue_operands{
    "arity mismatch for {} instruction: expected aggregate and at least one index, got {}"};
// The index's position among the indices.
constexpr fmt::format_string<std::size_t> index_not_integer{
    "index {} must be an integer immediate"};
constexpr fmt::format_string<std::size_t> index_negative{"index {} must be non-negative"};
constexpr fmt::format_string<std::size_t> index_too_large{"index {} is too large to fit in u32"};
// The statistic's word, the required count and the operand count.
constexpr fmt::format_string<std::string_view, std::size_t, std::size_t> prob_operands{
    "arity mismatch for meta-probability variant {}: expected {} operands, got {}"};
constexpr fmt::format_string<std::size_t> icnt_operands{
    "arity mismatch for !analysis.icnt: expected 1 operand, got {}"};
constexpr std::string_view icnt_not_integer{
    "type error for !analysis.icnt: expected integer immediate operand"};
constexpr fmt::format_string<std::size_t> excnt_operands{
    "arity mismatch for !analysis.excnt: expected 0 operands, got {}"};
constexpr fmt::format_string<std::size_t> term_operands{
    "arity mismatch for !analysis.term: expected 0 operands, got {}"};
constexpr std::string_view reach_without_labels{
    "syntax error for !analysis.term.reach: expected at least 1 label"};
}  // namespace text

enum class DestinationRule : std::uint8_t { Required, Refused, Optional, Phi };
enum class VariantRule : std::uint8_t { None, Required, Ordering };
// Opcodes whose operands are checked by their own rules during construction.
constexpr std::int8_t own_operand_rule = -1;

struct OpcodeRule {
    DestinationRule destination;
    VariantRule variant;
    std::int8_t operands;
};

constexpr OpcodeRule rule(DestinationRule d, VariantRule v, std::int8_t operands) {
    return {d, v, operands};
}

constexpr auto Req = DestinationRule::Required;
constexpr auto VarReq = VariantRule::Required;
constexpr auto VarNone = VariantRule::None;

// Indexed by opcode.
constexpr std::array<OpcodeRule, kd_instr_op_count> opcode_rules{
    rule(Req, VarReq, 2),                                        // iadd
    rule(Req, VarReq, 2),                                        // isub
    rule(Req, VarReq, 2),                                        // imul
    rule(Req, VarReq, 2),                                        // idiv
    rule(Req, VarReq, 2),                                        // irem
    rule(Req, VarReq, 2),                                        // icmp
    rule(Req, VarReq, 2),                                        // isht
    rule(Req, VarNone, 1),                                       // ineg
    rule(Req, VarNone, 2),                                       // and
    rule(Req, VarNone, 2),                                       // or
    rule(Req, VarNone, 2),                                       // xor
    rule(Req, VarNone, 1),                                       // not
    rule(Req, VarNone, 2),                                       // implies
    rule(Req, VarNone, 2),                                       // equiv
    rule(Req, VarNone, 2),                                       // fadd
    rule(Req, VarNone, 2),                                       // fsub
    rule(Req, VarNone, 2),                                       // fmul
    rule(Req, VarNone, 2),                                       // fdiv
    rule(Req, VarNone, 2),                                       // frem
    rule(Req, VarReq, 2),                                        // fcmp
    rule(Req, VarNone, 1),                                       // fneg
    rule(Req, VariantRule::Ordering, 1),                         // load
    rule(DestinationRule::Refused, VariantRule::Ordering, 2),    // store
    rule(Req, VarNone, 1),                                       // alloca
    rule(Req, VarNone, own_operand_rule),                        // getelementptr
    rule(DestinationRule::Optional, VarNone, own_operand_rule),  // invoke
    rule(DestinationRule::Phi, VarNone, own_operand_rule),       // phi
    rule(Req, VarNone, 3),                                       // select
    rule(Req, VarReq, 1),                                        // cast
    rule(Req, VarNone, own_operand_rule),                        // insertvalue
    rule(Req, VarNone, own_operand_rule),                        // extractvalue
    rule(DestinationRule::Refused, VarNone, 1),                  // !assert
    rule(DestinationRule::Refused, VarNone, 1),                  // !assume
    rule(Req, VarNone, 1),                                       // !isdef
    rule(Req, VarReq, own_operand_rule),                         // !prob
    rule(Req, VarReq, own_operand_rule),                         // !analysis
    rule(Req, VarNone, 0),                                       // !forall
};

// Appends a message to the line's errors; the format is checked where the template is declared.
template <typename... Args>
void emit(std::vector<std::string>& errors, fmt::format_string<Args...> message, Args... args) {
    errors.push_back(
        fmt::vformat(static_cast<fmt::string_view>(message), fmt::make_format_args(args...)));
}

// A check that ends the line.
template <typename... Args>
KdInstr refuse(std::vector<std::string>& errors, fmt::format_string<Args...> message,
               Args... args) {
    emit(errors, message, args...);
    return placeholder_instruction();
}

KdInstr refuse_text(std::vector<std::string>& errors, std::string message) {
    errors.push_back(std::move(message));
    return placeholder_instruction();
}

// A variant word's value; an unknown word is reported and the line goes on with `substitute`.
template <VariantWordEnum E>
E variant_word(std::string_view word, std::vector<std::string>& errors, E substitute = E{}) {
    if (auto value = from_str<E>(word)) return *value;
    errors.push_back(unknown_word_message<E>(word));
    return substitute;
}

const consts::IConst* integer_immediate(const Operand& operand) {
    const auto* imm = operand.as_imm();
    return imm ? imm->as_int() : nullptr;
}

// The operands from `first` on as u32 indices; a failing index is reported and left out.
std::vector<std::uint32_t> aggregate_indices(const std::vector<Operand>& operands,
                                             std::size_t first, std::vector<std::string>& errors) {
    std::vector<std::uint32_t> indices;
    indices.reserve(operands.size() - first);
    for (std::size_t i = first; i < operands.size(); ++i) {
        const std::size_t position = i - first;
        const auto* c = integer_immediate(operands[i]);
        if (c == nullptr) {
            emit(errors, text::index_not_integer, position);
        } else if (sgn(c->value) < 0) {
            emit(errors, text::index_negative, position);
        } else if (cmp(c->value, 4294967295UL) > 0) {
            emit(errors, text::index_too_large, position);
        } else {
            indices.push_back(static_cast<std::uint32_t>(c->value.get_ui()));
        }
    }
    return indices;
}

// Flags from the low 32 bits of the magnitude; the sign is not looked at.
analysis::InstructionFlags flags_of(const mpz_class& value) {
    const auto low = static_cast<std::uint32_t>(mpz_getlimbn(value.get_mpz_t(), 0) & 0xFFFFFFFFu);
    return analysis::InstructionFlags::from_bits_truncate(low);
}

KdInstr build_analysis(Name dest, Typeref ty, ParsedInstruction& p, std::vector<Operand>& operands,
                       std::vector<std::string>& errors) {
    const auto& parts = p.variant_parts;
    const auto statistic = from_str<analysis::AnalysisStatisticOp>(parts[0]);
    if (!statistic)
        return refuse_text(errors, unknown_word_message<analysis::AnalysisStatisticOp>(parts[0]));
    switch (*statistic) {
        case analysis::AnalysisStatisticOp::InstructionCount: {
            if (operands.size() != 1) return refuse(errors, text::icnt_operands, operands.size());
            const auto* c = integer_immediate(operands[0]);
            if (c == nullptr) return refuse_text(errors, std::string(text::icnt_not_integer));
            return MetaAnalysisStat{dest, ty, analysis::InstructionCount{flags_of(c->value)}};
        }
        case analysis::AnalysisStatisticOp::ExecutionCount:
            if (!operands.empty()) return refuse(errors, text::excnt_operands, operands.size());
            return MetaAnalysisStat{dest, ty, analysis::ExecutionCount{}};
        case analysis::AnalysisStatisticOp::TerminationBehavior:
            break;
    }
    if (!operands.empty()) return refuse(errors, text::term_operands, operands.size());
    // The variant-count check let exactly two parts through for term.
    const std::string_view scope = parts[1];
    const auto& words = analysis::termination_scope_words;
    if (scope == words[0])
        return MetaAnalysisStat{dest, ty, analysis::TerminationBehavior{analysis::BlockExit{}}};
    if (scope == words[1])
        return MetaAnalysisStat{dest, ty, analysis::TerminationBehavior{analysis::FunctionExit{}}};
    if (scope == words[2]) {
        if (p.label_list.empty())
            return refuse_text(errors, std::string(text::reach_without_labels));
        return MetaAnalysisStat{
            dest, ty, analysis::TerminationBehavior{analysis::ReachAny{std::move(p.label_list)}}};
    }
    return refuse(errors, analysis::unknown_termination_scope_message, scope);
}

}  // namespace

KdInstr placeholder_instruction() {
    return MetaAssert{Operand(consts::AnyConst(consts::IConst::from_u64(1)))};
}

KdInstr build_instruction(ParsedInstruction&& parsed, State& state,
                          std::vector<std::string>& errors) {
    ParsedInstruction& p = parsed;
    const Op op = p.opcode;
    const std::string_view name = opname(op);
    const OpcodeRule& rules = opcode_rules[static_cast<std::size_t>(op)];

    // Numbered before any check, also when a later check refuses the destination.
    std::optional<Name> dest;
    Typeref ty{};
    if (p.destination) {
        dest = state.get_register(p.destination->first);
        ty = p.destination->second;
    }

    if (op == Op::MGetElementPtr) {
        if (!p.extra_type) return refuse(errors, text::missing_extra_type, name);
    } else if (p.extra_type) {
        return refuse(errors, text::unexpected_extra_type, name);
    }

    auto* entries = std::get_if<OperandForm::PhiEntries>(&p.operand_form.value);
    if (entries != nullptr && op != Op::Phi)
        return refuse(errors, text::phi_entries_elsewhere, name);

    switch (rules.destination) {
        case DestinationRule::Refused:
            if (dest) return refuse(errors, text::destination_refused, name);
            break;
        case DestinationRule::Phi:
            if (entries == nullptr)
                return refuse_text(errors, std::string(text::phi_with_operands));
            if (!dest) return refuse(errors, text::missing_destination, name);
            break;
        case DestinationRule::Optional:
            break;
        case DestinationRule::Required:
            if (!dest) return refuse(errors, text::missing_destination, name);
            break;
    }

    const auto& parts = p.variant_parts;
    // Only !analysis.term.reach takes labels; parts beyond the second are judged below.
    if (!p.label_list.empty() && !(op == Op::MetaAnalysisStat && parts.size() >= 2 &&
                                   parts[0] == "term" && parts[1] == "reach"))
        return refuse(errors, text::unexpected_labels, name);

    switch (rules.variant) {
        case VariantRule::Ordering:
            if (parts.size() > 1)
                return refuse(errors, text::too_many_orderings, name, parts.size());
            break;
        case VariantRule::Required: {
            if (parts.empty())
                return refuse(errors, text::variant_presence, name, text::variant,
                              text::no_variant);
            const std::size_t required = op == Op::MetaAnalysisStat && parts[0] == "term" ? 2 : 1;
            if (parts.size() != required)
                return refuse(errors, text::variant_count, name, required, parts.size());
            break;
        }
        case VariantRule::None:
            if (!parts.empty())
                return refuse(errors, text::variant_presence, name, text::no_variant,
                              text::variant);
            break;
    }

    // Every opcode but phi reads an operand list (phi entries elsewhere were refused above).
    auto* list = std::get_if<OperandForm::Operands>(&p.operand_form.value);
    if (rules.operands != own_operand_rule &&
        list->operands.size() != static_cast<std::size_t>(rules.operands))
        return refuse(errors, text::operand_count, name, static_cast<std::size_t>(rules.operands),
                      list->operands.size());

    // Only the records of load, store and alloca have fields for these, so elsewhere they are
    // dropped by construction.
    const std::optional<std::uint32_t> alignment = p.alignment;
    if (alignment && op != Op::MLoad && op != Op::MStore && op != Op::MAlloca)
        emit(errors, text::misplaced_alignment, name);
    const bool volatile_ = p.volatile_;
    if (volatile_ && op != Op::MLoad && op != Op::MStore)
        emit(errors, text::misplaced_volatile, name);

    if (op == Op::Phi) return Phi{*dest, ty, std::move(entries->entries)};

    auto& ops = list->operands;
    auto take = [&ops](std::size_t i) { return std::move(ops[i]); };
    auto ordering = [&]() -> std::optional<MemoryOrdering> {
        if (parts.empty()) return std::nullopt;
        return variant_word<MemoryOrdering>(parts[0], errors);
    };

    switch (op) {
        case Op::IAdd:
            return IAdd{*dest, ty, take(0), take(1),
                        variant_word<OverflowSignednessPolicy>(parts[0], errors)};
        case Op::ISub:
            return ISub{*dest, ty, take(0), take(1),
                        variant_word<OverflowSignednessPolicy>(parts[0], errors)};
        case Op::IMul:
            return IMul{*dest, ty, take(0), take(1),
                        variant_word<OverflowSignednessPolicy>(parts[0], errors)};
        case Op::IDiv:
            return IDiv{*dest, ty, take(0), take(1),
                        variant_word<IntegerSignedness>(parts[0], errors)};
        case Op::IRem:
            return IRem{*dest, ty, take(0), take(1),
                        variant_word<IntegerSignedness>(parts[0], errors)};
        case Op::ICmp:
            return ICmp{*dest, ty, take(0), take(1), variant_word<ICmpVariant>(parts[0], errors)};
        case Op::ISht:
            return ISht{*dest, ty, take(0), take(1), variant_word<IShiftVariant>(parts[0], errors)};
        case Op::INeg:
            return INeg{*dest, ty, take(0)};
        case Op::IAnd:
            return IAnd{*dest, ty, take(0), take(1)};
        case Op::IOr:
            return IOr{*dest, ty, take(0), take(1)};
        case Op::IXor:
            return IXor{*dest, ty, take(0), take(1)};
        case Op::INot:
            return INot{*dest, ty, take(0)};
        case Op::IImplies:
            return IImplies{*dest, ty, take(0), take(1)};
        case Op::IEquiv:
            return IEquiv{*dest, ty, take(0), take(1)};
        case Op::FAdd:
            return FAdd{*dest, ty, take(0), take(1)};
        case Op::FSub:
            return FSub{*dest, ty, take(0), take(1)};
        case Op::FMul:
            return FMul{*dest, ty, take(0), take(1)};
        case Op::FDiv:
            return FDiv{*dest, ty, take(0), take(1)};
        case Op::FRem:
            return FRem{*dest, ty, take(0), take(1)};
        case Op::FCmp:
            return FCmp{*dest, ty, take(0), take(1), variant_word<FCmpVariant>(parts[0], errors)};
        case Op::FNeg:
            return FNeg{*dest, ty, take(0)};
        case Op::MLoad:
            return MLoad{*dest, ty, take(0), alignment, ordering(), volatile_};
        case Op::MStore:
            return MStore{take(0), take(1), alignment, ordering(), volatile_};
        case Op::MAlloca:
            return MAlloca{*dest, ty, take(0), alignment};
        case Op::MGetElementPtr: {
            if (ops.empty()) return refuse(errors, text::gep_without_operands, name);
            Operand base = take(0);
            // The record's own list keeps the indices: no second allocation.
            ops.erase(ops.begin());
            return MGetElementPtr{*dest, ty, *p.extra_type, std::move(base), std::move(ops)};
        }
        case Op::Invoke: {
            if (ops.empty()) return refuse(errors, text::invoke_without_operands, name, ops.size());
            Operand function = take(0);
            ops.erase(ops.begin());
            return Invoke{std::move(function), std::move(ops), dest,
                          dest ? std::optional<Typeref>(ty) : std::nullopt, std::nullopt};
        }
        case Op::Phi:
            break;  // built above
        case Op::Select:
            return Select{*dest, take(0), take(1), take(2), ty};
        case Op::Cast:
            return Cast{*dest, ty, take(0), variant_word<CastVariant>(parts[0], errors)};
        case Op::InsertValue: {
            if (ops.size() < 3) return refuse(errors, text::insertvalue_operands, name, ops.size());
            auto indices = aggregate_indices(ops, 2, errors);
            return InsertValue{*dest, ty, take(0), take(1), std::move(indices)};
        }
        case Op::ExtractValue: {
            if (ops.size() < 2)
                return refuse(errors, text::extractvalue_operands, name, ops.size());
            auto indices = aggregate_indices(ops, 1, errors);
            return ExtractValue{*dest, ty, take(0), std::move(indices)};
        }
        case Op::MetaAssert:
            return MetaAssert{take(0)};
        case Op::MetaAssume:
            return MetaAssume{take(0)};
        case Op::MetaIsDef:
            return MetaIsDef{*dest, ty, take(0)};
        case Op::MetaProb: {
            // Shown in the arity message, so the substitute is fixed: xpt.
            const auto kind =
                variant_word<MetaProbVariant>(parts[0], errors, MetaProbVariant::ExpectedValue);
            if (ops.size() != 1)
                return refuse(errors, text::prob_operands, word(kind), std::size_t{1}, ops.size());
            return MetaProb{*dest, ty, MetaProbOperand{kind, take(0)}};
        }
        case Op::MetaAnalysisStat:
            return build_analysis(*dest, ty, p, ops, errors);
        case Op::MetaForall:
            return MetaForall{*dest, ty};
    }
    return placeholder_instruction();
}

}  // namespace kdinstr::modules::parser
