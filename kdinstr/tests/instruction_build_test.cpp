// The instruction builder: one table of lines (as the records the grammar fills for them), the
// exact messages each emits in order, and the instruction it returns.
#include "kdinstr/modules/parser/instruction_build.hpp"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/consts/fp_const.hpp"
#include "kdinstr/consts/int_const.hpp"
#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/parser/state.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/registry.hpp"

namespace {

using namespace kdinstr::modules;
using namespace kdinstr::modules::instructions;
using namespace kdinstr::modules::parser;
using kdinstr::types::Typeref;
namespace analysis = kdinstr::analysis;
namespace consts = kdinstr::consts;
namespace primary = kdinstr::types::primary;
using Op = KdInstrOp;
using Flags = analysis::InstructionFlags;

struct Types {
    kdinstr::types::TypeRegistry registry;
    Typeref i1 = intern(primary::IType{1});
    Typeref i8 = intern(primary::IType{8});
    Typeref i32 = intern(primary::IType{32});
    Typeref i64 = intern(primary::IType{64});
    Typeref fp64 = intern(primary::FType::Fp64);
    Typeref ptr = intern(primary::Ptr{});
    Typeref pair = intern(kdinstr::types::aggregate::StructType{{i32, i64}, false});

    Typeref intern(kdinstr::types::AnyType type) {
        return registry.search_or_insert(std::move(type));
    }
};

Types& types() {
    static Types t;
    return t;
}

// Operands and labels by number.
Operand r(std::uint32_t n) { return Operand(Name{n}); }
Label l(std::uint32_t n) { return Label{n}; }
Operand imm(std::uint32_t bits, long value) {
    return Operand(consts::AnyConst(consts::IConst(primary::IType{bits}, mpz_class(value))));
}
Operand undef(Typeref type) { return Operand(type); }
Operand fn() {
    kdinstr::utils::Uuid callee;
    callee.bytes[15] = 7;
    return Operand(consts::AnyConst(FunctionPointer::internal(callee)));
}
Operand fp(long unscaled, std::int64_t scale) {
    return Operand(consts::AnyConst(
        consts::FConst(primary::FType::Fp64, consts::BigDecimal(mpz_class(unscaled), scale))));
}

// An operand as written on a line: a register by its name, numbered when the line is read, or
// any other operand as it is.
struct Arg {
    Arg(const char* register_name) : name(register_name) {}
    Arg(Operand other) : operand(std::move(other)) {}
    std::string_view name;
    Operand operand;
};

// A line's record with the State it was read with, filled clause by clause as the grammar does:
// registers and labels are numbered as the operands and labels are read; the destination is left
// to the builder.
class Line {
  public:
    explicit Line(Op op)
        : state_(std::make_shared<State>(
              types().registry, std::make_shared<Resolver>([](std::string_view, bool) {
                  return std::optional<kdinstr::utils::Uuid>();
              }),
              std::make_shared<IdGenerator>([] { return kdinstr::utils::Uuid(); }))) {
        p_.opcode = op;
    }

    Line& dest(std::string_view name, Typeref type) {
        p_.destination.emplace(name, type);
        return *this;
    }
    Line& parts(std::vector<std::string_view> parts) {
        p_.variant_parts = std::move(parts);
        return *this;
    }
    Line& extra(Typeref type) {
        p_.extra_type = type;
        return *this;
    }
    Line& ops(std::vector<Arg> args) {
        std::vector<Operand> operands;
        for (auto& arg : args) operands.push_back(read(std::move(arg)));
        p_.operand_form.value = OperandForm::Operands{std::move(operands)};
        return *this;
    }
    Line& phi(std::vector<std::pair<Arg, std::string_view>> entries) {
        OperandForm::PhiEntries form;
        for (auto& [arg, label] : entries) {
            Operand operand = read(std::move(arg));
            form.entries.emplace_back(std::move(operand), state_->get_label(label));
        }
        p_.operand_form.value = std::move(form);
        return *this;
    }
    Line& labels(std::vector<std::string_view> names) {
        for (auto name : names) p_.label_list.push_back(state_->get_label(name));
        return *this;
    }
    Line& align(std::uint32_t value) {
        p_.alignment = value;
        return *this;
    }
    Line& vol() {
        p_.volatile_ = true;
        return *this;
    }

    const ParsedInstruction& record() const { return p_; }
    State& state() const { return *state_; }

  private:
    Operand read(Arg arg) {
        if (arg.name.empty()) return std::move(arg.operand);
        return Operand(state_->get_register(arg.name));
    }

    std::shared_ptr<State> state_;
    ParsedInstruction p_;
};

// What the builder returns: the placeholder, an instruction of the line's opcode with a
// substitute variant word (not observable), or exactly the given instruction.
struct Yields {
    enum class Kind { Placeholder, Substitute, Exactly };
    Kind kind;
    std::optional<KdInstr> instruction;

    Yields(Kind k) : kind(k) {}
    template <InstructionRecord R>
    Yields(R record) : kind(Kind::Exactly), instruction(KdInstr(std::move(record))) {}
    Yields(KdInstr i) : kind(Kind::Exactly), instruction(std::move(i)) {}
};
constexpr auto placeholder = Yields::Kind::Placeholder;
constexpr auto substitute = Yields::Kind::Substitute;

struct Case {
    // The IR text the record stands for.
    std::string_view text;
    Line line;
    std::vector<std::string> messages;
    Yields yields = placeholder;
    // Registers numbered after the call, the destination included; unchecked when negative.
    int registers = -1;
};

std::vector<Case> cases() {
    const Types& t = types();
    const auto i1 = t.i1, i8 = t.i8, i32 = t.i32, i64 = t.i64, fp64 = t.fp64, ptr = t.ptr;
    const auto pair = t.pair;
    const auto wrap = OverflowSignednessPolicy::Wrap;
    auto icnt = [&](std::uint32_t bits) {
        return KdInstr(MetaAnalysisStat{Name{0}, i32,
                                        analysis::InstructionCount{Flags::from_bits_retain(bits)}});
    };
    auto term = [&](analysis::TerminationScope scope) {
        return KdInstr(
            MetaAnalysisStat{Name{0}, i1, analysis::TerminationBehavior{std::move(scope)}});
    };
    const auto L = [](Op op) { return Line(op); };

    return {
        // ---- construction, every opcode; operands are numbered before the destination
        {"%x: i32 = iadd.wrap %a, %b",
         L(Op::IAdd).dest("x", i32).parts({"wrap"}).ops({"a", "b"}),
         {},
         IAdd{Name{2}, i32, r(0), r(1), wrap},
         3},
        {"%a: i32 = iadd.wrap %a, %b (the destination's name is read already)",
         L(Op::IAdd).dest("a", i32).parts({"wrap"}).ops({"a", "b"}),
         {},
         IAdd{Name{0}, i32, r(0), r(1), wrap},
         2},
        {"%x: i32 = isub.ssat %a, i32 7",
         L(Op::ISub).dest("x", i32).parts({"ssat"}).ops({"a", imm(32, 7)}),
         {},
         ISub{Name{1}, i32, r(0), imm(32, 7), OverflowSignednessPolicy::SSat}},
        {"%x: i32 = imul.utrap %a, %b",
         L(Op::IMul).dest("x", i32).parts({"utrap"}).ops({"a", "b"}),
         {},
         IMul{Name{2}, i32, r(0), r(1), OverflowSignednessPolicy::UTrap}},
        {"%x: i32 = idiv.unsigned %a, %b",
         L(Op::IDiv).dest("x", i32).parts({"unsigned"}).ops({"a", "b"}),
         {},
         IDiv{Name{2}, i32, r(0), r(1), IntegerSignedness::Unsigned}},
        {"%x: i32 = irem.signed %b, %a",
         L(Op::IRem).dest("x", i32).parts({"signed"}).ops({"b", "a"}),
         {},
         IRem{Name{2}, i32, r(0), r(1), IntegerSignedness::Signed}},
        {"%c: i1 = icmp.sle %a, i32 0",
         L(Op::ICmp).dest("c", i1).parts({"sle"}).ops({"a", imm(32, 0)}),
         {},
         ICmp{Name{1}, i1, r(0), imm(32, 0), ICmpVariant::Sle}},
        {"%x: i32 = isht.ror %a, %b",
         L(Op::ISht).dest("x", i32).parts({"ror"}).ops({"a", "b"}),
         {},
         ISht{Name{2}, i32, r(0), r(1), IShiftVariant::Ror}},
        {"%x: i32 = ineg %a", L(Op::INeg).dest("x", i32).ops({"a"}), {}, INeg{Name{1}, i32, r(0)}},
        {"%x: i32 = and %a, %b",
         L(Op::IAnd).dest("x", i32).ops({"a", "b"}),
         {},
         IAnd{Name{2}, i32, r(0), r(1)}},
        {"%x: i32 = or %a, %b",
         L(Op::IOr).dest("x", i32).ops({"a", "b"}),
         {},
         IOr{Name{2}, i32, r(0), r(1)}},
        {"%x: i32 = xor %a, %b",
         L(Op::IXor).dest("x", i32).ops({"a", "b"}),
         {},
         IXor{Name{2}, i32, r(0), r(1)}},
        {"%x: i1 = not %a", L(Op::INot).dest("x", i1).ops({"a"}), {}, INot{Name{1}, i1, r(0)}},
        {"%x: i1 = implies %a, %b",
         L(Op::IImplies).dest("x", i1).ops({"a", "b"}),
         {},
         IImplies{Name{2}, i1, r(0), r(1)}},
        {"%x: i1 = equiv %a, %b",
         L(Op::IEquiv).dest("x", i1).ops({"a", "b"}),
         {},
         IEquiv{Name{2}, i1, r(0), r(1)}},
        {"%x: fp64 = fadd %a, %b",
         L(Op::FAdd).dest("x", fp64).ops({"a", "b"}),
         {},
         FAdd{Name{2}, fp64, r(0), r(1)}},
        {"%x: fp64 = fsub %a, %b",
         L(Op::FSub).dest("x", fp64).ops({"a", "b"}),
         {},
         FSub{Name{2}, fp64, r(0), r(1)}},
        {"%x: fp64 = fmul %a, %b",
         L(Op::FMul).dest("x", fp64).ops({"a", "b"}),
         {},
         FMul{Name{2}, fp64, r(0), r(1)}},
        {"%x: fp64 = fdiv %a, %b",
         L(Op::FDiv).dest("x", fp64).ops({"a", "b"}),
         {},
         FDiv{Name{2}, fp64, r(0), r(1)}},
        {"%x: fp64 = frem %a, %b",
         L(Op::FRem).dest("x", fp64).ops({"a", "b"}),
         {},
         FRem{Name{2}, fp64, r(0), r(1)}},
        {"%c: i1 = fcmp.une %a, %b",
         L(Op::FCmp).dest("c", i1).parts({"une"}).ops({"a", "b"}),
         {},
         FCmp{Name{2}, i1, r(0), r(1), FCmpVariant::Une}},
        {"%x: fp64 = fneg %a",
         L(Op::FNeg).dest("x", fp64).ops({"a"}),
         {},
         FNeg{Name{1}, fp64, r(0)}},
        {"%v: i32 = load.acquire %p, align 8, volatile",
         L(Op::MLoad).dest("v", i32).parts({"acquire"}).ops({"p"}).align(8).vol(),
         {},
         MLoad{Name{1}, i32, r(0), 8u, MemoryOrdering::Acq, true}},
        {"%v: i32 = load %p",
         L(Op::MLoad).dest("v", i32).ops({"p"}),
         {},
         MLoad{Name{1}, i32, r(0), std::nullopt, std::nullopt, false}},
        {"store.seq_cst %p, %v",
         L(Op::MStore).parts({"seq_cst"}).ops({"p", "v"}),
         {},
         MStore{r(0), r(1), std::nullopt, MemoryOrdering::SeqCst, false},
         2},
        {"store %p, i32 5, align 4, volatile",
         L(Op::MStore).ops({"p", imm(32, 5)}).align(4).vol(),
         {},
         MStore{r(0), imm(32, 5), 4u, std::nullopt, true}},
        {"%a: ptr = alloca i32 8, align 16",
         L(Op::MAlloca).dest("a", ptr).ops({imm(32, 8)}).align(16),
         {},
         MAlloca{Name{0}, ptr, imm(32, 8), 16u}},
        {"%g: ptr = getelementptr {i32, i64}, %p, i32 0, %i",
         L(Op::MGetElementPtr).dest("g", ptr).extra(pair).ops({"p", imm(32, 0), "i"}),
         {},
         MGetElementPtr{Name{2}, ptr, pair, r(0), {imm(32, 0), r(1)}}},
        {"%g: ptr = getelementptr i8, %p",
         L(Op::MGetElementPtr).dest("g", ptr).extra(i8).ops({"p"}),
         {},
         MGetElementPtr{Name{1}, ptr, i8, r(0), {}}},
        {"invoke ptr f, %a",
         L(Op::Invoke).ops({fn(), "a"}),
         {},
         Invoke{fn(), {r(0)}, std::nullopt, std::nullopt, std::nullopt}},
        {"%r: i32 = invoke ptr f",
         L(Op::Invoke).dest("r", i32).ops({fn()}),
         {},
         Invoke{fn(), {}, Name{0}, i32, std::nullopt}},
        {"%r: i64 = invoke %f, %a, i32 undef",
         L(Op::Invoke).dest("r", i64).ops({"f", "a", undef(i32)}),
         {},
         Invoke{r(0), {r(1), undef(i32)}, Name{2}, i64, std::nullopt}},
        {"%r: i32 = phi [%a, entry], [%b, loop]",
         L(Op::Phi).dest("r", i32).phi({{"a", "entry"}, {"b", "loop"}}),
         {},
         Phi{Name{2}, i32, {{r(0), l(0)}, {r(1), l(1)}}}},
        {"%s: i32 = select %c, %a, %b",
         L(Op::Select).dest("s", i32).ops({"c", "a", "b"}),
         {},
         Select{Name{3}, r(0), r(1), r(2), i32}},
        {"%w: i64 = cast.sext %a",
         L(Op::Cast).dest("w", i64).parts({"sext"}).ops({"a"}),
         {},
         Cast{Name{1}, i64, r(0), CastVariant::SExt}},
        {"%i: {i32, i64} = insertvalue %agg, %v, i32 1, i8 0",
         L(Op::InsertValue).dest("i", pair).ops({"agg", "v", imm(32, 1), imm(8, 0)}),
         {},
         InsertValue{Name{2}, pair, r(0), r(1), {1, 0}}},
        {"%e: i32 = extractvalue %agg, i64 4294967295",
         L(Op::ExtractValue).dest("e", i32).ops({"agg", imm(64, 4294967295)}),
         {},
         ExtractValue{Name{1}, i32, r(0), {4294967295u}}},
        {"!assert %c", L(Op::MetaAssert).ops({"c"}), {}, MetaAssert{r(0)}},
        {"!assume %c", L(Op::MetaAssume).ops({"c"}), {}, MetaAssume{r(0)}},
        {"%d: i1 = !isdef %a",
         L(Op::MetaIsDef).dest("d", i1).ops({"a"}),
         {},
         MetaIsDef{Name{1}, i1, r(0)}},
        {"%p: fp64 = !prob.prb %a",
         L(Op::MetaProb).dest("p", fp64).parts({"prb"}).ops({"a"}),
         {},
         MetaProb{Name{1}, fp64, {MetaProbVariant::Probability, r(0)}}},
        {"%p: fp64 = !prob.xpt %a",
         L(Op::MetaProb).dest("p", fp64).parts({"xpt"}).ops({"a"}),
         {},
         MetaProb{Name{1}, fp64, {MetaProbVariant::ExpectedValue, r(0)}}},
        {"%p: fp64 = !prob.var %a",
         L(Op::MetaProb).dest("p", fp64).parts({"var"}).ops({"a"}),
         {},
         MetaProb{Name{1}, fp64, {MetaProbVariant::Variance, r(0)}}},
        // Flags: the low 32 bits of the magnitude, undefined bits dropped.
        {"%n: i32 = !analysis.icnt i32 3",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}).ops({imm(32, 3)}),
         {},
         icnt(Flags::META | Flags::SIMPLE)},
        {"%n: i32 = !analysis.icnt i64 -3",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}).ops({imm(64, -3)}),
         {},
         icnt(Flags::META | Flags::SIMPLE)},
        {"%n: i32 = !analysis.icnt i32 0x10000",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}).ops({imm(32, 0x10000)}),
         {},
         icnt(0)},
        {"%n: i32 = !analysis.icnt i64 0x1FFFFFFFF",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}).ops({imm(64, 0x1FFFFFFFF)}),
         {},
         icnt(Flags::ALL)},
        {"%n: i32 = !analysis.icnt i64 0x100000400",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}).ops({imm(64, 0x100000400)}),
         {},
         icnt(Flags::MEMORY)},
        {"%n: i64 = !analysis.excnt",
         L(Op::MetaAnalysisStat).dest("n", i64).parts({"excnt"}),
         {},
         MetaAnalysisStat{Name{0}, i64, analysis::ExecutionCount{}}},
        {"%t: i1 = !analysis.term.blockexit",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "blockexit"}),
         {},
         term(analysis::BlockExit{})},
        {"%t: i1 = !analysis.term.funcexit",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "funcexit"}),
         {},
         term(analysis::FunctionExit{})},
        {"%t: i1 = !analysis.term.reach a, b",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "reach"}).labels({"a", "b"}),
         {},
         term(analysis::ReachAny{{l(0), l(1)}})},
        {"%f: i1 = !forall", L(Op::MetaForall).dest("f", i1), {}, MetaForall{Name{0}, i1}},

        // ---- extra type, the first check; the destination is numbered all the same
        {"%g: ptr = getelementptr %p, %i",
         L(Op::MGetElementPtr).dest("g", ptr).ops({"p", "i"}),
         {"syntax error for getelementptr instruction: missing additional type"},
         placeholder,
         3},
        {"%x: i32 = iadd.wrap i32, %a, %b",
         L(Op::IAdd).dest("x", i32).parts({"wrap"}).extra(i32).ops({"a", "b"}),
         {"syntax error for iadd instruction: unexpected additional type"}},
        {"iadd i32, [%a, b] c, align 4, volatile (every later check would fail too)",
         L(Op::IAdd).extra(i32).phi({{"a", "b"}}).labels({"c"}).align(4).vol(),
         {"syntax error for iadd instruction: unexpected additional type"}},

        // ---- phi entries on another opcode
        {"%x: i32 = iadd.wrap [%a, b]",
         L(Op::IAdd).dest("x", i32).parts({"wrap"}).phi({{"a", "b"}}),
         {"syntax error for iadd instruction: only 'phi' instructions can use the [operand, label] "
          "syntax, use operands separated by commas instead"}},
        {"%x: i32 = store [%a, b] (before the destination rule)",
         L(Op::MStore).dest("x", i32).phi({{"a", "b"}}),
         {"syntax error for store instruction: only 'phi' instructions can use the [operand, "
          "label] syntax, use operands separated by commas instead"}},

        // ---- destination rule
        {"%x: i32 = store %p, %v",
         L(Op::MStore).dest("x", i32).ops({"p", "v"}),
         {"syntax error for store instruction: destination register specified where none "
          "expected"},
         placeholder,
         3},
        {"%x: i1 = !assert %c",
         L(Op::MetaAssert).dest("x", i1).ops({"c"}),
         {"syntax error for !assert instruction: destination register specified where none "
          "expected"}},
        {"%x: i1 = !assume %c",
         L(Op::MetaAssume).dest("x", i1).ops({"c"}),
         {"syntax error for !assume instruction: destination register specified where none "
          "expected"}},
        {"%r: i32 = phi %a, %b",
         L(Op::Phi).dest("r", i32).ops({"a", "b"}),
         {"syntax error for phi instruction: expected [operand, label] pairs, got operands "
          "separated by commas instead"}},
        {"phi (the operand form is judged before the destination)",
         L(Op::Phi),
         {"syntax error for phi instruction: expected [operand, label] pairs, got operands "
          "separated by commas instead"}},
        {"phi [%a, entry]",
         L(Op::Phi).phi({{"a", "entry"}}),
         {"syntax error for phi instruction: missing destination register"}},
        {"iadd.wrap %a, %b",
         L(Op::IAdd).parts({"wrap"}).ops({"a", "b"}),
         {"syntax error for iadd instruction: missing destination register"}},
        {"!forall a, align 4 (before labels and alignment)",
         L(Op::MetaForall).labels({"a"}).align(4),
         {"syntax error for !forall instruction: missing destination register"}},

        // ---- label list
        {"%x: i32 = iadd.wrap foo, bar",
         L(Op::IAdd).dest("x", i32).parts({"wrap"}).labels({"foo", "bar"}),
         {"syntax error for iadd instruction: unexpected label list"}},
        {"%x: i32 = iadd foo (before the variant parts)",
         L(Op::IAdd).dest("x", i32).labels({"foo"}),
         {"syntax error for iadd instruction: unexpected label list"}},
        {"%t: i1 = !analysis.term.blockexit a",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "blockexit"}).labels({"a"}),
         {"syntax error for !analysis instruction: unexpected label list"}},
        {"%t: i1 = !analysis.term a",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term"}).labels({"a"}),
         {"syntax error for !analysis instruction: unexpected label list"}},
        {"%t: i1 = !analysis.reach.term a",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"reach", "term"}).labels({"a"}),
         {"syntax error for !analysis instruction: unexpected label list"}},
        {"%t: i1 = !analysis.term.Reach a",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "Reach"}).labels({"a"}),
         {"syntax error for !analysis instruction: unexpected label list"}},

        // ---- variant parts
        {"%v: i32 = load.acquire.release (before the operand count)",
         L(Op::MLoad).dest("v", i32).parts({"acquire", "release"}),
         {"arity mismatch for load instruction variant: expected at most 1 variant operand, got "
          "2"}},
        {"store.a.b.c %p, %v",
         L(Op::MStore).parts({"a", "b", "c"}).ops({"p", "v"}),
         {"arity mismatch for store instruction variant: expected at most 1 variant operand, got "
          "3"}},
        {"%x: i32 = iadd %a (before the operand count)",
         L(Op::IAdd).dest("x", i32).ops({"a"}),
         {"syntax error for iadd instruction: expected variant, got no variant"}},
        {"%p: fp64 = !prob %a",
         L(Op::MetaProb).dest("p", fp64).ops({"a"}),
         {"syntax error for !prob instruction: expected variant, got no variant"}},
        {"%n: i64 = !analysis",
         L(Op::MetaAnalysisStat).dest("n", i64),
         {"syntax error for !analysis instruction: expected variant, got no variant"}},
        {"%x: i32 = and.x %a, %b",
         L(Op::IAnd).dest("x", i32).parts({"x"}).ops({"a", "b"}),
         {"syntax error for and instruction: expected no variant, got variant"}},
        {"%r: i32 = phi. [%a, b]",
         L(Op::Phi).dest("r", i32).parts({""}).phi({{"a", "b"}}),
         {"syntax error for phi instruction: expected no variant, got variant"}},
        {"%x: i32 = iadd.wrap.ssat %a, %b",
         L(Op::IAdd).dest("x", i32).parts({"wrap", "ssat"}).ops({"a", "b"}),
         {"arity mismatch for iadd instruction variant: expected 1 variant operands, got 2"}},
        {"%x: i32 = iadd..wrap %a, %b",
         L(Op::IAdd).dest("x", i32).parts({"", "wrap"}).ops({"a", "b"}),
         {"arity mismatch for iadd instruction variant: expected 1 variant operands, got 2"}},
        {"%t: i1 = !analysis.term",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term"}),
         {"arity mismatch for !analysis instruction variant: expected 2 variant operands, got 1"}},
        {"%t: i1 = !analysis.term.reach.x a",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "reach", "x"}).labels({"a"}),
         {"arity mismatch for !analysis instruction variant: expected 2 variant operands, got 3"}},
        {"%n: i32 = !analysis.icnt.x i32 3",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt", "x"}).ops({imm(32, 3)}),
         {"arity mismatch for !analysis instruction variant: expected 1 variant operands, got 2"}},

        // ---- operand count, before the alignment, the volatile flag and the variant word
        {"%x: i32 = iadd.wrap %a, align 4, volatile",
         L(Op::IAdd).dest("x", i32).parts({"wrap"}).ops({"a"}).align(4).vol(),
         {"arity mismatch for iadd instruction: expected 2 operands, got 1"}},
        {"%x: i32 = iadd.foo %a",
         L(Op::IAdd).dest("x", i32).parts({"foo"}).ops({"a"}),
         {"arity mismatch for iadd instruction: expected 2 operands, got 1"}},
        {"%x: i32 = ineg %a, %b",
         L(Op::INeg).dest("x", i32).ops({"a", "b"}),
         {"arity mismatch for ineg instruction: expected 1 operands, got 2"}},
        {"%s: i32 = select %c, %a",
         L(Op::Select).dest("s", i32).ops({"c", "a"}),
         {"arity mismatch for select instruction: expected 3 operands, got 2"}},
        {"store %p",
         L(Op::MStore).ops({"p"}),
         {"arity mismatch for store instruction: expected 2 operands, got 1"}},
        {"%v: i32 = load",
         L(Op::MLoad).dest("v", i32),
         {"arity mismatch for load instruction: expected 1 operands, got 0"}},
        {"%f: i32 = !forall %a",
         L(Op::MetaForall).dest("f", i32).ops({"a"}),
         {"arity mismatch for !forall instruction: expected 0 operands, got 1"}},

        // ---- alignment and volatile flag: both go on, the alignment first
        {"%x: i32 = iadd.wrap %a, %b, align 4, volatile",
         L(Op::IAdd).dest("x", i32).parts({"wrap"}).ops({"a", "b"}).align(4).vol(),
         {"alignment specifier is only valid for load, store and alloca instructions, got iadd "
          "instruction",
          "volatile specifier is only valid for load and store instructions, got iadd instruction"},
         IAdd{Name{2}, i32, r(0), r(1), wrap}},
        {"%a: ptr = alloca i32 8, align 16, volatile",
         L(Op::MAlloca).dest("a", ptr).ops({imm(32, 8)}).align(16).vol(),
         {"volatile specifier is only valid for load and store instructions, got alloca "
          "instruction"},
         MAlloca{Name{0}, ptr, imm(32, 8), 16u}},
        {"%f: i1 = !forall, align 1",
         L(Op::MetaForall).dest("f", i1).align(1),
         {"alignment specifier is only valid for load, store and alloca instructions, got !forall "
          "instruction"},
         MetaForall{Name{0}, i1}},
        {"%g: ptr = getelementptr i8, align 4",
         L(Op::MGetElementPtr).dest("g", ptr).extra(i8).align(4),
         {"alignment specifier is only valid for load, store and alloca instructions, got "
          "getelementptr instruction",
          "arity mismatch for getelementptr instruction: expected at least 1 operand for indices, "
          "got 0"}},

        // ---- unknown variant words: reported, and the line goes on
        {"%x: i32 = iadd.foo %a, %b, align 4",
         L(Op::IAdd).dest("x", i32).parts({"foo"}).ops({"a", "b"}).align(4),
         {"alignment specifier is only valid for load, store and alloca instructions, got iadd "
          "instruction",
          "unknown overflow signedness policy: foo (expected one of: wrap, ssat, usat, strap, "
          "utrap)"},
         substitute},
        {"%x: i32 = isub. %a, %b",
         L(Op::ISub).dest("x", i32).parts({""}).ops({"a", "b"}),
         {"unknown overflow signedness policy:  (expected one of: wrap, ssat, usat, strap, utrap)"},
         substitute},
        {"%x: i32 = idiv.Signed %a, %b",
         L(Op::IDiv).dest("x", i32).parts({"Signed"}).ops({"a", "b"}),
         {"unknown signedness variant: Signed (expected one of: signed, unsigned)"},
         substitute},
        {"%c: i1 = icmp.lt %a, %b",
         L(Op::ICmp).dest("c", i1).parts({"lt"}).ops({"a", "b"}),
         {"unknown integer comparison variant: lt (expected one of: eq, ne, ugt, uge, ult, ule, "
          "sgt, sge, slt, sle)"},
         substitute},
        {"%x: i32 = isht.shl %a, %b",
         L(Op::ISht).dest("x", i32).parts({"shl"}).ops({"a", "b"}),
         {"unknown integer isht variant: shl (expected one of: lsl, lsr, asr, rol, ror)"},
         substitute},
        {"%c: i1 = fcmp.uno %a, %b",
         L(Op::FCmp).dest("c", i1).parts({"uno"}).ops({"a", "b"}),
         {"unknown floating-point comparison variant: uno (expected one of: oeq, ogt, oge, olt, "
          "ole, one, ueq, ugt, uge, ult, ule, une, ord)"},
         substitute},
        {"%w: i64 = cast.fptou %a",
         L(Op::Cast).dest("w", i64).parts({"fptou"}).ops({"a"}),
         {"unknown cast variant: fptou (expected one of: trunc, zext, sext, fptrunc, fpext, "
          "fptoui, fptosi, uitofp, sitofp, ptrtoint, inttoptr, bitcast)"},
         substitute},
        {"%v: i32 = load.Acq %p (a debug name is no word)",
         L(Op::MLoad).dest("v", i32).parts({"Acq"}).ops({"p"}),
         {"unknown memory ordering variant: Acq (expected one of: unordered, monotonic, acquire, "
          "release, acq_rel, seq_cst)"},
         substitute},
        {"store.acq %p, %v",
         L(Op::MStore).parts({"acq"}).ops({"p", "v"}),
         {"unknown memory ordering variant: acq (expected one of: unordered, monotonic, acquire, "
          "release, acq_rel, seq_cst)"},
         substitute},
        // !prob goes on with xpt, and says so.
        {"%p: fp64 = !prob.xyz %a",
         L(Op::MetaProb).dest("p", fp64).parts({"xyz"}).ops({"a"}),
         {"unknown meta-probability variant: xyz (expected one of: prb, xpt, var)"},
         MetaProb{Name{1}, fp64, {MetaProbVariant::ExpectedValue, r(0)}}},
        {"%p: fp64 = !prob.xyz %a, %b",
         L(Op::MetaProb).dest("p", fp64).parts({"xyz"}).ops({"a", "b"}),
         {"unknown meta-probability variant: xyz (expected one of: prb, xpt, var)",
          "arity mismatch for meta-probability variant xpt: expected 1 operands, got 2"}},
        {"%p: fp64 = !prob.prb %a, %b",
         L(Op::MetaProb).dest("p", fp64).parts({"prb"}).ops({"a", "b"}),
         {"arity mismatch for meta-probability variant prb: expected 1 operands, got 2"}},
        {"%p: fp64 = !prob.var",
         L(Op::MetaProb).dest("p", fp64).parts({"var"}),
         {"arity mismatch for meta-probability variant var: expected 1 operands, got 0"}},

        // ---- operand rules of their own
        {"invoke",
         L(Op::Invoke),
         {"arity mismatch for invoke instruction: expected at least 1 operand (function pointer), "
          "got 0"}},
        {"%i: {i32, i64} = insertvalue %agg, %v",
         L(Op::InsertValue).dest("i", pair).ops({"agg", "v"}),
         {"arity mismatch for insertvalue instruction: expected aggregate, value, and at least "
          "one index, got 2"}},
        {"%e: i32 = extractvalue %agg",
         L(Op::ExtractValue).dest("e", i32).ops({"agg"}),
         {"arity mismatch for extractvalue instruction: expected aggregate and at least one index, "
          "got 1"}},
        // Each bad index is reported and left out; the others are kept.
        {"%e: i32 = extractvalue %agg, i32 1, %i, i64 -2, i64 4294967296, i8 3",
         L(Op::ExtractValue)
             .dest("e", i32)
             .ops({"agg", imm(32, 1), "i", imm(64, -2), imm(64, 4294967296), imm(8, 3)}),
         {"index 1 must be an integer immediate", "index 2 must be non-negative",
          "index 3 is too large to fit in u32"},
         ExtractValue{Name{2}, i32, r(0), {1, 3}}},
        {"%i: {i32, i64} = insertvalue %agg, %v, i32 undef, fp64 1.5, ptr f",
         L(Op::InsertValue).dest("i", pair).ops({"agg", "v", undef(i32), fp(15, 1), fn()}),
         {"index 0 must be an integer immediate", "index 1 must be an integer immediate",
          "index 2 must be an integer immediate"},
         InsertValue{Name{2}, pair, r(0), r(1), {}}},

        // ---- !analysis
        {"%c: i64 = !analysis.count",
         L(Op::MetaAnalysisStat).dest("c", i64).parts({"count"}),
         {"unknown analysis statistic op: count (expected one of: icnt, excnt, term)"}},
        {"%n: i32 = !analysis.icnt",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}),
         {"arity mismatch for !analysis.icnt: expected 1 operand, got 0"}},
        {"%n: i32 = !analysis.icnt i32 1, i32 2",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}).ops({imm(32, 1), imm(32, 2)}),
         {"arity mismatch for !analysis.icnt: expected 1 operand, got 2"}},
        {"%n: i32 = !analysis.icnt %r",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}).ops({"r"}),
         {"type error for !analysis.icnt: expected integer immediate operand"}},
        {"%n: i32 = !analysis.icnt ptr f",
         L(Op::MetaAnalysisStat).dest("n", i32).parts({"icnt"}).ops({fn()}),
         {"type error for !analysis.icnt: expected integer immediate operand"}},
        {"%n: i64 = !analysis.excnt %a",
         L(Op::MetaAnalysisStat).dest("n", i64).parts({"excnt"}).ops({"a"}),
         {"arity mismatch for !analysis.excnt: expected 0 operands, got 1"}},
        {"%t: i1 = !analysis.term.sideways %a (the operands before the scope)",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "sideways"}).ops({"a"}),
         {"arity mismatch for !analysis.term: expected 0 operands, got 1"}},
        {"%t: i1 = !analysis.term.sideways",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "sideways"}),
         {"unknown termination scope variant: sideways (expected one of: blockexit, funcexit, "
          "reach)"}},
        {"%t: i1 = !analysis.term.reach",
         L(Op::MetaAnalysisStat).dest("t", i1).parts({"term", "reach"}),
         {"syntax error for !analysis.term.reach: expected at least 1 label"}},
    };
}

TEST(InstructionBuild, MessagesInCheckOrderAndTheBuiltInstruction) {
    const KdInstr assert_one = MetaAssert{Operand(consts::AnyConst(consts::IConst::from_u64(1)))};
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.text);
        State& state = c.line.state();
        std::vector<std::string> errors;
        const KdInstr got = build_instruction(ParsedInstruction(c.line.record()), state, errors);

        EXPECT_EQ(errors, c.messages);
        switch (c.yields.kind) {
            case Yields::Kind::Placeholder:
                EXPECT_TRUE(got == assert_one) << "got " << got.debug();
                break;
            case Yields::Kind::Substitute:
                EXPECT_EQ(got.opcode(), c.line.record().opcode) << "got " << got.debug();
                break;
            case Yields::Kind::Exactly:
                EXPECT_TRUE(got == *c.yields.instruction)
                    << "got  " << got.debug() << "\nwant " << c.yields.instruction->debug();
                break;
        }
        if (c.registers >= 0) {
            EXPECT_EQ(state.get_register("not on any line").value,
                      static_cast<std::uint32_t>(c.registers));
        }
    }
}

TEST(InstructionBuild, PlaceholderIsAssertOfI64One) {
    EXPECT_EQ(placeholder_instruction().debug(),
              "MetaAssert(MetaAssert { condition: Imm(Int(IConst { ty: IType { num_bits: 64 }, "
              "value: 1 })) })");
}

}  // namespace
