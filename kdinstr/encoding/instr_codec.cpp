#include "kdinstr/encoding/instr_codec.hpp"
#include "kdinstr/encoding/try.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "kdinstr/encoding/enum_codec.hpp"
#include "kdinstr/encoding/operand_codec.hpp"
#include "kdinstr/encoding/type_codec.hpp"

namespace kdinstr::encoding {

using namespace modules::instructions;
using analysis::AnalysisStatistic;
using analysis::InstructionFlags;
using analysis::TerminationScope;
using modules::CallingConvention;
using modules::KdInstr;
using modules::Label;
using modules::Name;
using modules::Operand;


namespace {

template <typename T, typename... U>
inline constexpr bool is_one_of = (std::is_same_v<T, U> || ...);

template <typename T>
struct is_optional : std::false_type {};
template <typename T>
struct is_optional<std::optional<T>> : std::true_type {};
template <typename T>
struct is_vector : std::false_type {};
template <typename T>
struct is_vector<std::vector<T>> : std::true_type {};
template <typename T>
struct is_pair : std::false_type {};
template <typename A, typename B>
struct is_pair<std::pair<A, B>> : std::true_type {};

// The record's fields in declared order, which is the order of their bytes.
template <typename R>
auto fields(R& r) {
    using T = std::remove_const_t<R>;
    if constexpr (is_one_of<T, IAdd, ISub, IMul, ICmp, ISht, FCmp>) {
        return std::tie(r.dest, r.ty, r.lhs, r.rhs, r.variant);
    } else if constexpr (is_one_of<T, IDiv, IRem>) {
        return std::tie(r.dest, r.ty, r.lhs, r.rhs, r.signedness);
    } else if constexpr (is_one_of<T, IAnd, IOr, IXor, IImplies, IEquiv, FAdd, FSub, FMul, FDiv,
                                   FRem>) {
        return std::tie(r.dest, r.ty, r.lhs, r.rhs);
    } else if constexpr (is_one_of<T, INeg, INot, FNeg>) {
        return std::tie(r.dest, r.ty, r.value);
    } else if constexpr (std::is_same_v<T, MLoad>) {
        return std::tie(r.dest, r.ty, r.addr, r.alignement, r.ordering, r.volatile_);
    } else if constexpr (std::is_same_v<T, MStore>) {
        return std::tie(r.addr, r.value, r.alignement, r.ordering, r.volatile_);
    } else if constexpr (std::is_same_v<T, MAlloca>) {
        return std::tie(r.dest, r.ty, r.count, r.alignement);
    } else if constexpr (std::is_same_v<T, MGetElementPtr>) {
        return std::tie(r.dest, r.ty, r.in_ty, r.base, r.indices);
    } else if constexpr (std::is_same_v<T, Invoke>) {
        return std::tie(r.function, r.args, r.dest, r.ty, r.cconv);
    } else if constexpr (std::is_same_v<T, Phi>) {
        return std::tie(r.dest, r.ty, r.values);
    } else if constexpr (std::is_same_v<T, Select>) {
        return std::tie(r.dest, r.condition, r.true_value, r.false_value, r.ty);
    } else if constexpr (std::is_same_v<T, Cast>) {
        return std::tie(r.dest, r.ty, r.value, r.variant);
    } else if constexpr (std::is_same_v<T, InsertValue>) {
        return std::tie(r.dest, r.ty, r.aggregate, r.value, r.indices);
    } else if constexpr (std::is_same_v<T, ExtractValue>) {
        return std::tie(r.dest, r.ty, r.aggregate, r.indices);
    } else if constexpr (is_one_of<T, MetaAssert, MetaAssume>) {
        return std::tie(r.condition);
    } else if constexpr (std::is_same_v<T, MetaIsDef>) {
        return std::tie(r.dest, r.ty, r.operand);
    } else if constexpr (std::is_same_v<T, MetaProb>) {
        return std::tie(r.dest, r.ty, r.operand);
    } else if constexpr (std::is_same_v<T, MetaAnalysisStat>) {
        return std::tie(r.dest, r.ty, r.statistic);
    } else {
        static_assert(std::is_same_v<T, MetaForall>);
        return std::tie(r.dest, r.ty);
    }
}

// One field of any of the kinds the records hold.
template <typename T>
IoResult<void> put(BorshWriter& w, const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return w.write_bool(value);
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        return w.write_u32(value);
    } else if constexpr (is_optional<T>::value) {
        return w.write_option(value, [](BorshWriter& w, const auto& v) { return put(w, v); });
    } else if constexpr (is_vector<T>::value) {
        return w.write_seq(value, [](BorshWriter& w, const auto& v) { return put(w, v); });
    } else if constexpr (is_pair<T>::value) {
        KD_TRY(put(w, value.first));
        return put(w, value.second);
    } else {
        return encode(w, value);
    }
}

template <typename T>
IoResult<T> get(BorshReader& r) {
    if constexpr (std::is_same_v<T, bool>) {
        return r.read_bool();
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        return r.read_u32();
    } else if constexpr (is_optional<T>::value) {
        using V = typename T::value_type;
        return r.read_option<V>([](BorshReader& r) { return get<V>(r); });
    } else if constexpr (is_vector<T>::value) {
        using V = typename T::value_type;
        return r.read_seq<V>([](BorshReader& r) { return get<V>(r); });
    } else if constexpr (is_pair<T>::value) {
        KD_LET(first, get<typename T::first_type>(r));
        KD_LET(second, get<typename T::second_type>(r));
        return T(std::move(first), std::move(second));
    } else if constexpr (std::is_same_v<T, Name>) {
        return decode_name(r);
    } else if constexpr (std::is_same_v<T, Label>) {
        return decode_label(r);
    } else if constexpr (std::is_same_v<T, types::Typeref>) {
        return decode_typeref(r);
    } else if constexpr (std::is_same_v<T, Operand>) {
        return decode_operand(r);
    } else if constexpr (std::is_same_v<T, CallingConvention>) {
        return decode_calling_convention(r);
    } else if constexpr (std::is_same_v<T, MetaProbOperand>) {
        return decode_meta_prob_operand(r);
    } else if constexpr (std::is_same_v<T, AnalysisStatistic>) {
        return decode_analysis_statistic(r);
    } else {
        static_assert(modules::WordEnum<T>);
        return decode_enum<T>(r);
    }
}

template <typename Tuple, std::size_t... I>
IoResult<void> put_all(BorshWriter& w, const Tuple& t, std::index_sequence<I...>) {
    IoResult<void> result;
    // Stops at the first failure: later fields are not written.
    (void)((result = put(w, std::get<I>(t)), result.has_value()) && ...);
    return result;
}

// One field read straight into its place in the record: registers and operands (most of the
// bytes) without an intermediate value.
template <typename T>
IoResult<void> get_into(BorshReader& r, T& field) {
    if constexpr (std::is_same_v<T, Name>) {
        KD_LET(n, r.read_u32());
        field = Name{n};
        return {};
    } else if constexpr (std::is_same_v<T, Operand>) {
        return decode_operand_into(r, field);
    } else {
        KD_LET(value, get<T>(r));
        field = std::move(value);
        return {};
    }
}

template <typename Tuple, std::size_t... I>
IoResult<void> get_all(BorshReader& r, Tuple& t, std::index_sequence<I...>) {
    IoResult<void> result;
    // Stops at the first failure: later fields are not read.
    (void)((result = get_into(r, std::get<I>(t)), result.has_value()) && ...);
    return result;
}

template <typename R>
IoResult<void> get_record(BorshReader& r, R& record) {
    auto t = fields(record);
    return get_all(r, t, std::make_index_sequence<std::tuple_size_v<decltype(t)>>{});
}

using Decoder = IoResult<void> (*)(BorshReader&, std::vector<KdInstr>&);

template <std::size_t I>
IoResult<void> decode_alternative(BorshReader& r, std::vector<KdInstr>& out) {
    KdInstr& instruction = out.emplace_back(std::in_place_index<I>);
    auto read = get_record(r, std::get<I>(instruction.as_variant()));
    if (!read) out.pop_back();
    return read;
}

template <std::size_t... I>
constexpr std::array<Decoder, sizeof...(I)> make_decoders(std::index_sequence<I...>) {
    return {&decode_alternative<I>...};
}

constexpr auto decoders = make_decoders(std::make_index_sequence<kd_instr_op_count>{});

}  // namespace

template <InstructionRecord R>
IoResult<void> encode_record(BorshWriter& w, const R& record) {
    auto t = fields(record);
    return put_all(w, t, std::make_index_sequence<std::tuple_size_v<decltype(t)>>{});
}

template <InstructionRecord R>
IoResult<R> decode_record(BorshReader& r) {
    R record{};
    KD_TRY(get_record(r, record));
    return record;
}

#define KD_INSTANTIATE(R)                                             \
    template IoResult<void> encode_record<R>(BorshWriter&, const R&); \
    template IoResult<R> decode_record<R>(BorshReader&);
KD_INSTANTIATE(IAdd)
KD_INSTANTIATE(ISub)
KD_INSTANTIATE(IMul)
KD_INSTANTIATE(IDiv)
KD_INSTANTIATE(IRem)
KD_INSTANTIATE(ICmp)
KD_INSTANTIATE(ISht)
KD_INSTANTIATE(INeg)
KD_INSTANTIATE(IAnd)
KD_INSTANTIATE(IOr)
KD_INSTANTIATE(IXor)
KD_INSTANTIATE(INot)
KD_INSTANTIATE(IImplies)
KD_INSTANTIATE(IEquiv)
KD_INSTANTIATE(FAdd)
KD_INSTANTIATE(FSub)
KD_INSTANTIATE(FMul)
KD_INSTANTIATE(FDiv)
KD_INSTANTIATE(FRem)
KD_INSTANTIATE(FCmp)
KD_INSTANTIATE(FNeg)
KD_INSTANTIATE(MLoad)
KD_INSTANTIATE(MStore)
KD_INSTANTIATE(MAlloca)
KD_INSTANTIATE(MGetElementPtr)
KD_INSTANTIATE(Invoke)
KD_INSTANTIATE(Phi)
KD_INSTANTIATE(Select)
KD_INSTANTIATE(Cast)
KD_INSTANTIATE(InsertValue)
KD_INSTANTIATE(ExtractValue)
KD_INSTANTIATE(MetaAssert)
KD_INSTANTIATE(MetaAssume)
KD_INSTANTIATE(MetaIsDef)
KD_INSTANTIATE(MetaProb)
KD_INSTANTIATE(MetaAnalysisStat)
KD_INSTANTIATE(MetaForall)
#undef KD_INSTANTIATE

IoResult<void> encode(BorshWriter& w, const InstructionFlags& value) {
    return w.write_u32(value.bits());
}

IoResult<InstructionFlags> decode_instruction_flags(BorshReader& r) {
    KD_LET(bits, r.read_u32());
    return InstructionFlags::from_bits_truncate(bits);
}

IoResult<void> encode(BorshWriter& w, const TerminationScope& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.index())));
    if (const auto* reach = std::get_if<analysis::ReachAny>(&value)) return put(w, reach->labels);
    return {};
}

IoResult<TerminationScope> decode_termination_scope(BorshReader& r) {
    KD_LET(tag, r.read_tag(2));
    switch (tag) {
        case 0:
            return TerminationScope(analysis::BlockExit{});
        case 1:
            return TerminationScope(analysis::FunctionExit{});
        default: {
            KD_LET(labels, get<std::vector<Label>>(r));
            return TerminationScope(analysis::ReachAny{std::move(labels)});
        }
    }
}

IoResult<void> encode(BorshWriter& w, const AnalysisStatistic& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.index())));
    return std::visit(
        [&](const auto& statistic) -> IoResult<void> {
            using S = std::decay_t<decltype(statistic)>;
            if constexpr (std::is_same_v<S, analysis::InstructionCount>)
                return encode(w, statistic.flags);
            else if constexpr (std::is_same_v<S, analysis::TerminationBehavior>)
                return encode(w, statistic.scope);
            else
                return {};
        },
        value);
}

IoResult<AnalysisStatistic> decode_analysis_statistic(BorshReader& r) {
    KD_LET(tag, r.read_tag(2));
    switch (tag) {
        case 0: {
            KD_LET(flags, decode_instruction_flags(r));
            return AnalysisStatistic(analysis::InstructionCount{flags});
        }
        case 1:
            return AnalysisStatistic(analysis::ExecutionCount{});
        default: {
            KD_LET(scope, decode_termination_scope(r));
            return AnalysisStatistic(analysis::TerminationBehavior{std::move(scope)});
        }
    }
}

IoResult<void> encode(BorshWriter& w, const MetaProbOperand& value) {
    KD_TRY(encode(w, value.kind));
    return encode(w, value.value);
}

IoResult<MetaProbOperand> decode_meta_prob_operand(BorshReader& r) {
    KD_LET(kind, decode_enum<MetaProbVariant>(r));
    KD_LET(value, decode_operand(r));
    return MetaProbOperand{kind, std::move(value)};
}

IoResult<void> encode(BorshWriter& w, const KdInstr& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.index())));
    return std::visit([&](const auto& record) { return encode_record(w, record); },
                      value.as_variant());
}

IoResult<void> decode_instruction_into(BorshReader& r, std::vector<KdInstr>& out) {
    KD_LET(tag, r.read_tag(static_cast<std::uint8_t>(kd_instr_op_count - 1)));
    return decoders[tag](r, out);
}

IoResult<KdInstr> decode_instruction(BorshReader& r) {
    std::vector<KdInstr> one;
    one.reserve(1);
    KD_TRY(decode_instruction_into(r, one));
    return std::move(one.front());
}


}  // namespace kdinstr::encoding
