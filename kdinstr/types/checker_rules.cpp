#include "kdinstr/types/checker_rules.hpp"

#include <fmt/format.h>

#include <concepts>
#include <string>
#include <variant>

#include "kdinstr/types/checker_aggregate.hpp"
#include "kdinstr/types/checker_cast.hpp"

namespace kdinstr::types::checker {

namespace ins = modules::instructions;
using modules::Operand;

namespace {

template <typename R, typename... Ts>
constexpr bool one_of = (std::same_as<R, Ts> || ...);

// Every operand, in operand order, must have type `d`; each is computed and compared before
// the next one is computed.
template <typename R>
Step operands_of_type(Checker& c, const R& record, Typeref d) {
    for (const Operand& operand : ins::operands(record)) {
        const auto t = c.operand_type(operand);
        if (!t) return std::unexpected(t.error());
        if (*t != d) return std::unexpected(c.mismatch(d, *t));
    }
    return {};
}

// Computes the operand's type and hands it to `accept` together with its facts.
template <typename Accept>
Step operand_is(Checker& c, const Operand& operand, const char* expected, Accept accept) {
    const auto t = c.operand_type(operand);
    if (!t) return std::unexpected(t.error());
    if (!accept(c.facts(*t))) return std::unexpected(c.mismatch(expected, *t));
    return {};
}

Step integer_arithmetic(Checker& c, const auto& record) {
    const TypeFacts d = c.facts(record.ty);
    if (!d.is_int() && !d.is_int_vector())
        return std::unexpected(c.mismatch("iN or <N x iN>", record.ty));
    return operands_of_type(c, record, record.ty);
}

Step float_arithmetic(Checker& c, const auto& record) {
    const TypeFacts d = c.facts(record.ty);
    if (!d.is_float() && !d.is_float_vector())
        return std::unexpected(c.mismatch("fp or <N x fp>", record.ty));
    return operands_of_type(c, record, record.ty);
}

// "icmp" and "fcmp": an i1 (or vector of i1) result of comparing two operands of one type.
Step comparison(Checker& c, const auto& record, bool integer) {
    const TypeFacts d = c.facts(record.ty);
    if (!d.is_i1() && !d.is_i1_vector())
        return std::unexpected(c.mismatch("i1 or <N x i1>", record.ty));
    const auto l = c.operand_type(record.lhs);
    if (!l) return std::unexpected(l.error());
    const auto r = c.operand_type(record.rhs);
    if (!r) return std::unexpected(r.error());
    if (*l != *r) return std::unexpected(c.mismatch(*l, *r));
    const TypeFacts lf = c.facts(*l);
    if (d.is_i1()) {
        const bool ok = integer ? lf.is_int() : lf.is_float();
        if (!ok) return std::unexpected(c.mismatch(integer ? "iN" : "fp", *l));
        return {};
    }
    const bool ok = (integer ? lf.is_int_vector() : lf.is_float_vector()) && lf.size == d.size;
    if (!ok)
        return std::unexpected(c.mismatch(integer ? fmt::format("<{} x iN>", d.size.to_string())
                                                  : fmt::format("<{} x fp>", d.size.to_string()),
                                          *l));
    return {};
}

Step select(Checker& c, const ins::Select& s) {
    if (auto ok = operand_is(c, s.condition, "i1", [](const TypeFacts& f) { return f.is_i1(); });
        !ok)
        return ok;
    const auto t = c.operand_type(s.true_value);
    if (!t) return std::unexpected(t.error());
    const auto f = c.operand_type(s.false_value);
    if (!f) return std::unexpected(f.error());
    if (*t != s.ty) return std::unexpected(c.mismatch(s.ty, *t));
    if (*f != s.ty) return std::unexpected(c.mismatch(s.ty, *f));
    return {};
}

Step invoke(Checker& c, const ins::Invoke& call) {
    const auto callee = c.operand_type(call.function);
    if (!callee) return std::unexpected(callee.error());
    if (*callee != c.ptr_type()) return std::unexpected(c.mismatch("ptr", *callee));
    return {};
}

Step meta_prob(Checker& c, const ins::MetaProb& prob) {
    if (!c.facts(prob.ty).is_float()) return std::unexpected(c.mismatch("fp", prob.ty));
    return operand_is(c, prob.operand.value, "fp or iN",
                      [](const TypeFacts& f) { return f.is_int() || f.is_float(); });
}

Step rule(Checker& c, const auto& record) {
    using R = std::decay_t<decltype(record)>;
    const auto is_ptr = [](const TypeFacts& f) { return f.is_ptr(); };
    const auto is_i1 = [](const TypeFacts& f) { return f.is_i1(); };
    if constexpr (one_of<R, ins::IAdd, ins::ISub, ins::IMul, ins::IDiv, ins::IRem, ins::ISht,
                         ins::INeg, ins::IAnd, ins::IOr, ins::IXor, ins::INot, ins::IImplies,
                         ins::IEquiv>) {
        return integer_arithmetic(c, record);
    } else if constexpr (one_of<R, ins::FAdd, ins::FSub, ins::FMul, ins::FDiv, ins::FRem,
                                ins::FNeg>) {
        return float_arithmetic(c, record);
    } else if constexpr (std::same_as<R, ins::ICmp>) {
        return comparison(c, record, true);
    } else if constexpr (std::same_as<R, ins::FCmp>) {
        return comparison(c, record, false);
    } else if constexpr (one_of<R, ins::MLoad, ins::MStore>) {
        // The loaded type is free and the stored value is not looked at.
        return operand_is(c, record.addr, "ptr", is_ptr);
    } else if constexpr (std::same_as<R, ins::MAlloca>) {
        return operand_is(c, record.count, "iN", [](const TypeFacts& f) { return f.is_int(); });
    } else if constexpr (std::same_as<R, ins::MGetElementPtr>) {
        return check_getelementptr(c, record);
    } else if constexpr (std::same_as<R, ins::Invoke>) {
        return invoke(c, record);
    } else if constexpr (std::same_as<R, ins::Phi>) {
        return operands_of_type(c, record, record.ty);
    } else if constexpr (std::same_as<R, ins::Select>) {
        return select(c, record);
    } else if constexpr (std::same_as<R, ins::Cast>) {
        return check_cast(c, record);
    } else if constexpr (std::same_as<R, ins::InsertValue>) {
        return check_insertvalue(c, record);
    } else if constexpr (std::same_as<R, ins::ExtractValue>) {
        return check_extractvalue(c, record);
    } else if constexpr (one_of<R, ins::MetaAssert, ins::MetaAssume>) {
        return operand_is(c, record.condition, "i1", is_i1);
    } else if constexpr (std::same_as<R, ins::MetaIsDef>) {
        if (!c.facts(record.ty).is_i1()) return std::unexpected(c.mismatch("i1", record.ty));
        return {};
    } else if constexpr (std::same_as<R, ins::MetaProb>) {
        return meta_prob(c, record);
    } else if constexpr (std::same_as<R, ins::MetaAnalysisStat>) {
        const TypeFacts d = c.facts(record.ty);
        if (!d.is_int() || d.width < 2)
            return std::unexpected(c.mismatch("iN (N >= 2)", record.ty));
        return {};
    } else {
        static_assert(std::same_as<R, ins::MetaForall>);
        return {};
    }
}

}  // namespace

Step check_instruction(Checker& c, const modules::KdInstr& instruction) {
    c.set_subject(instruction);
    return std::visit([&](const auto& record) { return rule(c, record); },
                      instruction.as_variant());
}

Step check_terminator(Checker& c, const modules::KdTerminator& terminator,
                      std::optional<Typeref> return_type) {
    c.set_subject(terminator);
    if (const auto* branch = std::get_if<modules::KdTerminator::Branch>(&terminator))
        return operand_is(c, branch->condition, "i1", [](const TypeFacts& f) { return f.is_i1(); });
    const auto* ret = std::get_if<modules::KdTerminator::Ret>(&terminator);
    if (!ret) return {};
    if (!ret->value) {
        if (return_type) return std::unexpected(c.mismatch(c.type_text(*return_type), "void"));
        return {};
    }
    const auto v = c.operand_type(*ret->value);
    if (!v) return std::unexpected(v.error());
    if (!return_type) return std::unexpected(c.mismatch("void", *v));
    if (*v != *return_type) return std::unexpected(c.mismatch(*return_type, *v));
    return {};
}

}  // namespace kdinstr::types::checker
