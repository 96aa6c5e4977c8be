#pragma once
// One instruction of any kind: the tagged union of the 37 records, in opcode order.
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "kdinstr/modules/instructions/instruction.hpp"

namespace kdinstr::modules::instructions {

// The variant index is the opcode and the encoding's tag.
using KdInstrVariant =
    std::variant<IAdd, ISub, IMul, IDiv, IRem, ICmp, ISht, INeg, IAnd, IOr, IXor, INot, IImplies,
                 IEquiv, FAdd, FSub, FMul, FDiv, FRem, FCmp, FNeg, MLoad, MStore, MAlloca,
                 MGetElementPtr, Invoke, Phi, Select, Cast, InsertValue, ExtractValue, MetaAssert,
                 MetaAssume, MetaIsDef, MetaProb, MetaAnalysisStat, MetaForall>;
static_assert(std::variant_size_v<KdInstrVariant> == kd_instr_op_count);

// The opcode of a record type.
template <InstructionRecord R>
constexpr KdInstrOp opcode_of() {
    return []<std::size_t... I>(std::index_sequence<I...>) {
        std::size_t found = 0;
        ((std::same_as<R, std::variant_alternative_t<I, KdInstrVariant>> ? (found = I) : 0), ...);
        return static_cast<KdInstrOp>(found);
    }
    (std::make_index_sequence<kd_instr_op_count>{});
}

// std::visit, std::get and std::holds_alternative work on it as on the variant itself.
class KdInstr : public KdInstrVariant {
  public:
    using KdInstrVariant::KdInstrVariant;
    using KdInstrVariant::operator=;

    const KdInstrVariant& as_variant() const { return *this; }
    KdInstrVariant& as_variant() { return *this; }

    KdInstrOp opcode() const { return static_cast<KdInstrOp>(index()); }
    // A meta instruction: allowed only in meta functions.
    bool is_meta() const { return instructions::is_meta(opcode()); }

    std::optional<Name> destination() const {
        return std::visit([](const auto& r) { return instructions::destination(r); }, as_variant());
    }
    std::optional<Typeref> destination_type() const {
        return std::visit([](const auto& r) { return instructions::destination_type(r); },
                          as_variant());
    }
    Operands operands() const {
        return std::visit([](const auto& r) { return instructions::operands(r); }, as_variant());
    }
    OperandsMut operands_mut() {
        return std::visit([](auto& r) { return instructions::operands_mut(r); }, as_variant());
    }
    Types referenced_types() const {
        return std::visit([](const auto& r) { return instructions::referenced_types(r); },
                          as_variant());
    }
    TypesMut referenced_types_mut() {
        return std::visit([](auto& r) { return instructions::referenced_types_mut(r); },
                          as_variant());
    }

    template <typename F>
    void for_each_operand(F&& f) const {
        std::visit([&](const auto& r) { instructions::for_each_operand(r, f); }, as_variant());
    }
    template <typename F>
    void for_each_operand_mut(F&& f) {
        std::visit([&](auto& r) { instructions::for_each_operand_mut(r, f); }, as_variant());
    }
    template <typename F>
    void for_each_type(F&& f) const {
        std::visit([&](const auto& r) { instructions::for_each_type(r, f); }, as_variant());
    }
    template <typename F>
    void for_each_type_mut(F&& f) {
        std::visit([&](auto& r) { instructions::for_each_type_mut(r, f); }, as_variant());
    }

    void remap_types(const TypeRemap& map) {
        std::visit([&](auto& r) { instructions::remap_types(r, map); }, as_variant());
    }

    // The variant name and the record's debug text: MetaAssert(MetaAssert { condition: Reg(%0) }).
    std::string debug() const;

    friend bool operator==(const KdInstr& a, const KdInstr& b) {
        return a.as_variant() == b.as_variant();
    }
};

// Blocks hold their records inline and every pass walks all of them: keep them compact.
static_assert(sizeof(void*) != 8 || sizeof(KdInstr) <= 112);

}  // namespace kdinstr::modules::instructions

namespace kdinstr::modules {
using instructions::KdInstr;
using instructions::KdInstrOp;
}  // namespace kdinstr::modules
