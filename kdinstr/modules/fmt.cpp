#include "kdinstr/modules/fmt.hpp"

#include <algorithm>
#include <array>
#include <concepts>
#include <string_view>
#include <type_traits>
#include <variant>

#include "kdinstr/modules/instructions/analysis_statistic.hpp"

namespace kdinstr::modules::fmt {

namespace {

namespace ins = instructions;
using Out = ::fmt::appender;

// The printer's words for the three "!prob" statistics; the parser reads other words.
constexpr std::array<std::string_view, 3> prob_print_words{".prob", ".ev", ".var"};

Out put(Out out, std::string_view text) { return std::copy(text.begin(), text.end(), out); }

Out put_type(Out out, const types::TypeRegistry& registry, const types::Typeref& ty) {
    return ::fmt::format_to(out, "{}", registry.fmt(ty));
}

Out put_function_pointer(Out out, const FunctionPointer& ptr, const Module* module) {
    const bool external = ptr.is_external();
    const std::string_view prefix = external ? "ptr external " : "ptr ";
    if (module == nullptr) return ::fmt::format_to(out, "{}<unresolved@{}>", prefix, ptr.uuid());
    if (external) {
        auto it = module->external_functions.find(ptr.uuid());
        if (it == module->external_functions.end())
            return ::fmt::format_to(out, "{}<invalid@{}>", prefix, ptr.uuid());
        return ::fmt::format_to(out, "{}%{}", prefix, it->second.name);
    }
    auto it = module->functions.find(ptr.uuid());
    // A null entry holds no function: treated like a missing one.
    if (it == module->functions.end() || it->second == nullptr)
        return ::fmt::format_to(out, "{}<invalid@{}>", prefix, ptr.uuid());
    if (it->second->name) return ::fmt::format_to(out, "{}%{}", prefix, *it->second->name);
    return ::fmt::format_to(out, "{}@{}", prefix, ptr.uuid());
}

// The printing context of one instruction or terminator: operands always get the registry,
// so an undef inside an instruction carries its type.
struct Ctx {
    const types::TypeRegistry& registry;
    const Module* module;

    Out operand(Out out, const Operand& op) const {
        return OperandFmt{op, &registry, module}.format_to(out);
    }
    Out type(Out out, const types::Typeref& ty) const { return put_type(out, registry, ty); }

    // A blank, then the operands joined by ", " (just the blank when there are none).
    Out operand_list(Out out, const ins::Operands& ops) const {
        *out++ = ' ';
        bool first = true;
        for (const Operand& op : ops) {
            if (!first) out = put(out, ", ");
            first = false;
            out = operand(out, op);
        }
        return out;
    }
};

template <typename R>
Out put_memory_tail(Out out, const R& r) {
    if (r.ordering) out = ::fmt::format_to(out, ", atomic {}", word(*r.ordering));
    if (r.alignement) out = ::fmt::format_to(out, ", align {}", *r.alignement);
    return out;
}

Out put_statistic(Out out, const analysis::AnalysisStatistic& statistic) {
    if (auto* count = std::get_if<analysis::InstructionCount>(&statistic))
        return ::fmt::format_to(out, ".icnt i32 0x{:x}", count->flags.bits());
    if (std::holds_alternative<analysis::ExecutionCount>(statistic)) return put(out, ".excnt");
    const auto& scope = std::get<analysis::TerminationBehavior>(statistic).scope;
    if (std::holds_alternative<analysis::BlockExit>(scope)) return put(out, ".term.blockexit");
    if (std::holds_alternative<analysis::FunctionExit>(scope)) return put(out, ".term.funcexit");
    out = put(out, ".term.reach ");
    bool first = true;
    for (const Label& label : std::get<analysis::ReachAny>(scope).labels) {
        if (!first) out = put(out, ", ");
        first = false;
        out = ::fmt::format_to(out, "{}", label);
    }
    return out;
}

template <typename R, typename... Ts>
inline constexpr bool is_one_of = (std::same_as<R, Ts> || ...);

// Everything after the mnemonic.
template <typename R>
Out put_rest(Out out, const R& r, const Ctx& c) {
    if constexpr (is_one_of<R, ins::IAdd, ins::ISub, ins::IMul, ins::ICmp, ins::ISht, ins::FCmp>) {
        out = ::fmt::format_to(out, ".{}", word(r.variant));
        return c.operand_list(out, ins::operands(r));
    } else if constexpr (is_one_of<R, ins::IDiv, ins::IRem>) {
        out = ::fmt::format_to(out, ".{}", word(r.signedness));
        return c.operand_list(out, ins::operands(r));
    } else if constexpr (std::same_as<R, ins::MLoad>) {
        if (r.volatile_) out = put(out, " volatile");
        *out++ = ' ';
        out = c.operand(out, r.addr);
        return put_memory_tail(out, r);
    } else if constexpr (std::same_as<R, ins::MStore>) {
        if (r.volatile_) out = put(out, " volatile");
        *out++ = ' ';
        out = c.operand(out, r.addr);
        out = put(out, ", ");
        out = c.operand(out, r.value);
        return put_memory_tail(out, r);
    } else if constexpr (std::same_as<R, ins::MAlloca>) {
        *out++ = ' ';
        out = c.type(out, r.ty);
        *out++ = ' ';
        out = c.operand(out, r.count);
        if (r.alignement) out = ::fmt::format_to(out, ", align {}", *r.alignement);
        return out;
    } else if constexpr (std::same_as<R, ins::MGetElementPtr>) {
        *out++ = ' ';
        out = c.type(out, r.in_ty);
        *out++ = ',';
        return c.operand_list(out, ins::operands(r));
    } else if constexpr (std::same_as<R, ins::Invoke>) {
        if (r.cconv) out = ::fmt::format_to(out, " {}", r.cconv->to_string());
        *out++ = ' ';
        out = c.operand(out, r.function);
        for (const Operand& arg : r.args) {
            out = put(out, ", ");
            out = c.operand(out, arg);
        }
        return out;
    } else if constexpr (std::same_as<R, ins::Phi>) {
        *out++ = ' ';
        bool first = true;
        for (const auto& [value, label] : r.values) {
            if (!first) out = put(out, ", ");
            first = false;
            *out++ = '[';
            out = c.operand(out, value);
            out = ::fmt::format_to(out, ", {}]", label);
        }
        return out;
    } else if constexpr (std::same_as<R, ins::InsertValue>) {
        *out++ = ' ';
        out = c.operand(out, r.aggregate);
        out = put(out, ", ");
        out = c.operand(out, r.value);
        for (std::uint32_t index : r.indices) out = ::fmt::format_to(out, ", i32 {}", index);
        return out;
    } else if constexpr (std::same_as<R, ins::ExtractValue>) {
        *out++ = ' ';
        out = c.operand(out, r.aggregate);
        for (std::uint32_t index : r.indices) out = ::fmt::format_to(out, ", i32 {}", index);
        return out;
    } else if constexpr (std::same_as<R, ins::MetaProb>) {
        const auto kind = static_cast<std::size_t>(r.operand.kind);
        // An out-of-range kind cannot come from the parser or the decoder; print it plainly
        // rather than fail inside an error message.
        out = kind < prob_print_words.size() ? put(out, prob_print_words[kind])
                                             : ::fmt::format_to(out, ".<kind {}>", kind);
        return c.operand_list(out, ins::operands(r));
    } else if constexpr (std::same_as<R, ins::MetaAnalysisStat>) {
        return put_statistic(out, r.statistic);
    } else {
        // ineg, and, or, xor, not, implies, equiv, the other fp records, select, cast (no cast
        // kind), !assert, !assume, !isdef, !forall.
        return c.operand_list(out, ins::operands(r));
    }
}

}  // namespace

::fmt::appender ConstFmt::format_to(::fmt::appender out) const {
    return std::visit(
        [&](const auto& c) -> Out {
            using C = std::decay_t<decltype(c)>;
            if constexpr (std::same_as<C, FunctionPointer>)
                return put_function_pointer(out, c, module);
            else
                return ::fmt::format_to(out, "{}", c);
        },
        constant.variant());
}

std::string ConstFmt::to_string() const { return ::fmt::format("{}", *this); }

::fmt::appender OperandFmt::format_to(::fmt::appender out) const {
    if (const Name* reg = operand.as_reg()) return ::fmt::format_to(out, "{}", *reg);
    if (const consts::AnyConst* imm = operand.as_imm())
        return ConstFmt{*imm, module}.format_to(out);
    const types::Typeref& ty = *operand.as_undef();
    if (registry == nullptr) return put(out, "undef");
    out = put_type(out, *registry, ty);
    return put(out, " undef");
}

std::string OperandFmt::to_string() const { return ::fmt::format("{}", *this); }

::fmt::appender InstrFmt::format_to(::fmt::appender out) const {
    if (auto dest = instr.destination()) {
        if (auto ty = instr.destination_type()) {
            out = ::fmt::format_to(out, "{}: ", *dest);
            out = put_type(out, registry, *ty);
            out = put(out, " = ");
        } else {
            // Only an invoke with a destination but no type gets here, which the parser and the
            // decoder never build; the header then leaves the type out.
            out = ::fmt::format_to(out, "{} = ", *dest);
        }
    }
    out = put(out, ins::opname(instr.opcode()));
    const Ctx ctx{registry, module};
    return std::visit([&](const auto& r) { return put_rest(out, r, ctx); }, instr.as_variant());
}

std::string InstrFmt::to_string() const { return ::fmt::format("{}", *this); }

::fmt::appender TerminatorFmt::format_to(::fmt::appender out) const {
    const Ctx ctx{registry, module};
    if (auto* b = std::get_if<KdTerminator::Branch>(&terminator)) {
        out = put(out, "branch ");
        out = ctx.operand(out, b->condition);
        return ::fmt::format_to(out, ", {}, {}", b->true_target, b->false_target);
    }
    if (auto* j = std::get_if<KdTerminator::Jump>(&terminator))
        return ::fmt::format_to(out, "jump label {}", j->target);
    if (auto* r = std::get_if<KdTerminator::Ret>(&terminator)) {
        if (!r->value) return put(out, "ret void");
        out = put(out, "ret ");
        return ctx.operand(out, *r->value);
    }
    return put(out, "trap");
}

std::string TerminatorFmt::to_string() const { return ::fmt::format("{}", *this); }

}  // namespace kdinstr::modules::fmt
