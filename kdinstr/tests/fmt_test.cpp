#include "kdinstr/modules/fmt.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kdinstr/modules/function.hpp"

namespace {

using namespace kdinstr;
using namespace kdinstr::modules::instructions;
namespace printer = kdinstr::modules::fmt;
using consts::AnyConst;
using consts::BigDecimal;
using consts::FConst;
using consts::IConst;
using modules::CallingConvention;
using modules::ExternalFunction;
using modules::Function;
using modules::FunctionPointer;
using modules::KdTerminator;
using modules::Label;
using modules::Module;
using modules::Name;
using modules::Operand;
using types::Typeref;
using types::primary::FType;
using types::primary::IType;

utils::Uuid uuid_of(std::uint8_t byte) {
    utils::Uuid u;
    u.bytes.fill(byte);
    return u;
}

constexpr std::string_view uuid_11 = "11111111-1111-1111-1111-111111111111";
constexpr std::string_view uuid_22 = "22222222-2222-2222-2222-222222222222";
constexpr std::string_view uuid_33 = "33333333-3333-3333-3333-333333333333";
constexpr std::string_view uuid_44 = "44444444-4444-4444-4444-444444444444";
constexpr std::string_view uuid_55 = "55555555-5555-5555-5555-555555555555";

// Types i1, i32, i64, fp64, ptr and {i32, i64}; a module with a named function (0x11), an
// anonymous one (0x22) and an external function "puts" (0x33). 0x44 and 0x55 name nothing.
struct Fixture {
    types::TypeRegistry registry;
    Typeref i1, i32, i64, fp64, ptr, pair;
    // Never interned: prints as the registry's unknown-type text.
    Typeref missing{uuid_of(0x42)};
    Module module;

    Fixture() {
        i1 = registry.search_or_insert(IType{1});
        i32 = registry.search_or_insert(IType{32});
        i64 = registry.search_or_insert(IType{64});
        fp64 = registry.search_or_insert(FType::Fp64);
        ptr = registry.search_or_insert(types::primary::Ptr{});
        pair = registry.search_or_insert(types::aggregate::StructType{{i32, i64}, false});

        Function named = Function::make_default();
        named.uuid = uuid_of(0x11);
        named.name = "main";
        module.functions.emplace(named.uuid, std::make_shared<Function>(std::move(named)));
        Function anonymous = Function::make_default();
        anonymous.uuid = uuid_of(0x22);
        module.functions.emplace(anonymous.uuid,
                                 std::make_shared<Function>(std::move(anonymous)));
        ExternalFunction puts{uuid_of(0x33), "puts", CallingConvention(), {ptr}, i32};
        module.external_functions.emplace(puts.uuid, puts);
    }
};

Operand reg(std::uint32_t n) { return Operand(Name{n}); }
Operand int_imm(std::uint32_t bits, long value) {
    return Operand(AnyConst(IConst(IType{bits}, mpz_class(value))));
}
Operand fp_imm(FType ty, long unscaled, std::int64_t scale) {
    return Operand(AnyConst(FConst(ty, BigDecimal(mpz_class(unscaled), scale))));
}
Operand internal_ptr(std::uint8_t byte) {
    return Operand(AnyConst(FunctionPointer::internal(uuid_of(byte))));
}
Operand external_ptr(std::uint8_t byte) {
    return Operand(AnyConst(FunctionPointer::external(uuid_of(byte))));
}
Name n(std::uint32_t v) { return Name{v}; }
Label l(std::uint32_t v) { return Label{v}; }

struct Case {
    KdInstr instr;
    std::string expected;
};

TEST(Fmt, IntegerAndFloatInstructions) {
    Fixture f;
    const std::vector<Case> cases{
        {IAdd{n(3), f.i32, reg(1), reg(2), OverflowSignednessPolicy::Wrap},
         "%3: i32 = iadd.wrap %1, %2"},
        {ISub{n(3), f.i32, reg(1), int_imm(32, -7), OverflowSignednessPolicy::SSat},
         "%3: i32 = isub.ssat %1, i32 -7"},
        {IMul{n(3), f.i64, reg(1), reg(2), OverflowSignednessPolicy::UTrap},
         "%3: i64 = imul.utrap %1, %2"},
        {IDiv{n(4), f.i32, reg(1), reg(2), IntegerSignedness::Signed},
         "%4: i32 = idiv.signed %1, %2"},
        {IRem{n(4), f.i32, reg(1), reg(2), IntegerSignedness::Unsigned},
         "%4: i32 = irem.unsigned %1, %2"},
        {ICmp{n(5), f.i1, reg(1), reg(2), ICmpVariant::Sle}, "%5: i1 = icmp.sle %1, %2"},
        {ISht{n(5), f.i32, reg(1), int_imm(32, 3), IShiftVariant::Ror},
         "%5: i32 = isht.ror %1, i32 3"},
        {INeg{n(1), f.i32, reg(0)}, "%1: i32 = ineg %0"},
        {INeg{n(1), f.i32, Operand(f.i32)}, "%1: i32 = ineg i32 undef"},
        {IAnd{n(2), f.i1, reg(0), reg(1)}, "%2: i1 = and %0, %1"},
        {IOr{n(2), f.i1, reg(0), reg(1)}, "%2: i1 = or %0, %1"},
        {IXor{n(2), f.i1, reg(0), reg(1)}, "%2: i1 = xor %0, %1"},
        {INot{n(2), f.i1, reg(0)}, "%2: i1 = not %0"},
        {IImplies{n(2), f.i1, reg(0), reg(1)}, "%2: i1 = implies %0, %1"},
        {IEquiv{n(2), f.i1, reg(0), reg(1)}, "%2: i1 = equiv %0, %1"},
        {FAdd{n(2), f.fp64, reg(0), fp_imm(FType::Fp64, 15, 1)}, "%2: fp64 = fadd %0, fp64 1.5"},
        {FSub{n(2), f.fp64, reg(0), fp_imm(FType::Fp32, 10, 1)}, "%2: fp64 = fsub %0, fp32 1.0"},
        {FMul{n(2), f.fp64, reg(0), reg(1)}, "%2: fp64 = fmul %0, %1"},
        {FDiv{n(2), f.fp64, reg(0), reg(1)}, "%2: fp64 = fdiv %0, %1"},
        {FRem{n(2), f.fp64, reg(0), reg(1)}, "%2: fp64 = frem %0, %1"},
        {FCmp{n(2), f.i1, reg(0), reg(1), FCmpVariant::Ord}, "%2: i1 = fcmp.ord %0, %1"},
        {FNeg{n(2), f.fp64, reg(0)}, "%2: fp64 = fneg %0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printer::fmt_instr(c.instr, f.registry).to_string(), c.expected) << c.expected;
}

TEST(Fmt, MemoryInstructions) {
    Fixture f;
    const std::vector<Case> cases{
        {MLoad{n(5), f.i64, reg(4), 4, MemoryOrdering::Acq, true},
         "%5: i64 = load volatile %4, atomic acquire, align 4"},
        {MLoad{n(5), f.i64, reg(4), std::nullopt, std::nullopt, false}, "%5: i64 = load %4"},
        {MLoad{n(5), f.i64, reg(4), std::nullopt, MemoryOrdering::AcqRel, false},
         "%5: i64 = load %4, atomic acq_rel"},
        {MStore{reg(1), reg(2), 8, std::nullopt, false}, "store %1, %2, align 8"},
        {MStore{reg(1), int_imm(8, 0), std::nullopt, MemoryOrdering::SeqCst, true},
         "store volatile %1, i8 0, atomic seq_cst"},
        {MAlloca{n(2), f.ptr, int_imm(64, 1), 16}, "%2: ptr = alloca ptr i64 1, align 16"},
        {MAlloca{n(2), f.ptr, reg(1), std::nullopt}, "%2: ptr = alloca ptr %1"},
        {MGetElementPtr{n(6), f.ptr, f.pair, reg(0), {int_imm(32, 1)}},
         "%6: ptr = getelementptr {i32, i64}, %0, i32 1"},
        {MGetElementPtr{n(6), f.ptr, f.pair, reg(0), {}}, "%6: ptr = getelementptr {i32, i64}, %0"},
        {MGetElementPtr{n(6), f.ptr, f.pair, reg(0), {int_imm(32, 0), reg(3)}},
         "%6: ptr = getelementptr {i32, i64}, %0, i32 0, %3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printer::fmt_instr(c.instr, f.registry).to_string(), c.expected) << c.expected;
}

TEST(Fmt, MiscInstructions) {
    Fixture f;
    const std::vector<Case> cases{
        {Invoke{internal_ptr(0x11),
                {reg(1), int_imm(32, 2)},
                std::nullopt,
                std::nullopt,
                CallingConvention(CallingConvention::Tag::FastC)},
         "invoke fastcc ptr %main, %1, i32 2"},
        {Invoke{internal_ptr(0x11), {reg(1)}, n(3), f.i32, std::nullopt},
         "%3: i32 = invoke ptr %main, %1"},
        {Invoke{external_ptr(0x33), {}, std::nullopt, std::nullopt, CallingConvention::numbered(7)},
         "invoke cc7 ptr external %puts"},
        {Invoke{reg(0), {}, std::nullopt, std::nullopt, std::nullopt}, "invoke %0"},
        // Never built by the parser or the decoder: the header leaves the missing type out.
        {Invoke{reg(0), {}, n(3), std::nullopt, std::nullopt}, "%3 = invoke %0"},
        {Phi{n(7), f.i32, {{reg(1), l(0)}, {reg(2), l(1)}}},
         "%7: i32 = phi [%1, block_0], [%2, block_1]"},
        {Phi{n(7), f.i32, {}}, "%7: i32 = phi "},
        {Select{n(4), reg(0), reg(1), int_imm(32, 5), f.i32}, "%4: i32 = select %0, %1, i32 5"},
        {Cast{n(1), f.i64, reg(0), CastVariant::SExt}, "%1: i64 = cast %0"},
        {InsertValue{n(3), f.pair, reg(0), reg(1), {1}},
         "%3: {i32, i64} = insertvalue %0, %1, i32 1"},
        {InsertValue{n(3), f.pair, reg(0), reg(1), {0, 2}},
         "%3: {i32, i64} = insertvalue %0, %1, i32 0, i32 2"},
        {InsertValue{n(3), f.pair, reg(0), reg(1), {}}, "%3: {i32, i64} = insertvalue %0, %1"},
        {ExtractValue{n(2), f.i64, reg(0), {1}}, "%2: i64 = extractvalue %0, i32 1"},
        {ExtractValue{n(2), f.i64, reg(0), {}}, "%2: i64 = extractvalue %0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printer::fmt_instr(c.instr, f.registry, &f.module).to_string(), c.expected)
            << c.expected;
}

TEST(Fmt, MetaInstructions) {
    Fixture f;
    using analysis::InstructionFlags;
    auto flags = [](std::uint32_t bits) {
        return analysis::InstructionCount{InstructionFlags::from_bits_truncate(bits)};
    };
    auto term = [](analysis::TerminationScope scope) {
        return analysis::TerminationBehavior{std::move(scope)};
    };
    const std::vector<Case> cases{
        {MetaAssert{reg(0)}, "!assert %0"},
        {MetaAssume{Operand(f.i1)}, "!assume i1 undef"},
        {MetaIsDef{n(1), f.i1, reg(0)}, "%1: i1 = !isdef %0"},
        {MetaProb{n(8), f.fp64, {MetaProbVariant::Probability, reg(7)}},
         "%8: fp64 = !prob.prob %7"},
        {MetaProb{n(8), f.fp64, {MetaProbVariant::ExpectedValue, reg(7)}},
         "%8: fp64 = !prob.ev %7"},
        {MetaProb{n(8), f.fp64, {MetaProbVariant::Variance, reg(7)}}, "%8: fp64 = !prob.var %7"},
        {MetaAnalysisStat{n(9), f.i32, flags(InstructionFlags::META | InstructionFlags::SIMPLE)},
         "%9: i32 = !analysis.icnt i32 0x3"},
        {MetaAnalysisStat{n(9), f.i32, flags(0)}, "%9: i32 = !analysis.icnt i32 0x0"},
        {MetaAnalysisStat{n(9), f.i32, flags(0xFFFFFFFF)}, "%9: i32 = !analysis.icnt i32 0x1fc3"},
        {MetaAnalysisStat{n(9), f.i32, analysis::ExecutionCount{}}, "%9: i32 = !analysis.excnt"},
        {MetaAnalysisStat{n(9), f.i32, term(analysis::BlockExit{})},
         "%9: i32 = !analysis.term.blockexit"},
        {MetaAnalysisStat{n(9), f.i32, term(analysis::FunctionExit{})},
         "%9: i32 = !analysis.term.funcexit"},
        {MetaAnalysisStat{n(9), f.i32, term(analysis::ReachAny{{l(1), l(2)}})},
         "%9: i32 = !analysis.term.reach block_1, block_2"},
        {MetaAnalysisStat{n(9), f.i32, term(analysis::ReachAny{})},
         "%9: i32 = !analysis.term.reach "},
        {MetaForall{n(0), f.i32}, "%0: i32 = !forall "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printer::fmt_instr(c.instr, f.registry).to_string(), c.expected) << c.expected;
}

TEST(Fmt, InstructionTypesOutsideTheRegistry) {
    Fixture f;
    const std::vector<Case> cases{
        {MetaForall{n(0), f.missing},
         "%0: <unknown type 42424242-4242-4242-4242-424242424242> = !forall "},
        {MetaForall{n(0), Typeref::wildcard(0)}, "%0: A = !forall "},
        {MGetElementPtr{n(1), f.ptr, f.missing, reg(0), {}},
         "%1: ptr = getelementptr <unknown type 42424242-4242-4242-4242-424242424242>, %0"},
        {INeg{n(1), f.i32, Operand(f.missing)},
         "%1: i32 = ineg <unknown type 42424242-4242-4242-4242-424242424242> undef"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printer::fmt_instr(c.instr, f.registry).to_string(), c.expected) << c.expected;
}

TEST(Fmt, Terminators) {
    Fixture f;
    struct TermCase {
        KdTerminator terminator;
        std::string expected;
    };
    const std::vector<TermCase> cases{
        {KdTerminator::Branch{reg(0), l(1), l(2)}, "branch %0, block_1, block_2"},
        {KdTerminator::Branch{Operand(f.i1), l(2), l(1)}, "branch i1 undef, block_2, block_1"},
        {KdTerminator::Jump{l(3)}, "jump label block_3"},
        {KdTerminator::Ret{std::nullopt}, "ret void"},
        {KdTerminator::Ret{reg(4)}, "ret %4"},
        {KdTerminator::Ret{Operand(f.i64)}, "ret i64 undef"},
        {KdTerminator::Ret{internal_ptr(0x22)}, std::string("ret ptr @") + std::string(uuid_22)},
        {KdTerminator::Trap{}, "trap"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printer::fmt_terminator(c.terminator, f.registry, &f.module).to_string(),
                  c.expected)
            << c.expected;
}

TEST(Fmt, OperandsWithAndWithoutRegistryAndModule) {
    Fixture f;
    Module empty;
    auto u = [](std::string_view text) { return std::string(text); };
    struct OperandCase {
        Operand operand;
        const types::TypeRegistry* registry;
        const Module* module;
        std::string expected;
    };
    const types::TypeRegistry* r = &f.registry;
    const Module* m = &f.module;
    const std::vector<OperandCase> cases{
        {reg(12), nullptr, nullptr, "%12"},
        {reg(12), r, m, "%12"},
        {Operand(f.i1), r, nullptr, "i1 undef"},
        {Operand(f.i1), nullptr, m, "undef"},
        {Operand(f.pair), r, nullptr, "{i32, i64} undef"},
        {Operand(f.missing), r, nullptr,
         "<unknown type 42424242-4242-4242-4242-424242424242> undef"},
        {Operand(AnyConst(IConst::from_u64(0))), nullptr, nullptr, "i64 0"},
        {Operand(AnyConst(IConst::from_u64(18446744073709551615ull))), r, m,
         "i64 18446744073709551615"},
        {fp_imm(FType::Fp32, 15, 1), nullptr, nullptr, "fp32 1.5"},
        {internal_ptr(0x11), r, m, "ptr %main"},
        {internal_ptr(0x11), r, nullptr, "ptr <unresolved@" + u(uuid_11) + ">"},
        {internal_ptr(0x11), r, &empty, "ptr <invalid@" + u(uuid_11) + ">"},
        {internal_ptr(0x22), nullptr, m, "ptr @" + u(uuid_22)},
        {internal_ptr(0x44), r, m, "ptr <invalid@" + u(uuid_44) + ">"},
        // An external uuid is looked up among the external functions only, and the reverse.
        {internal_ptr(0x33), r, m, "ptr <invalid@" + u(uuid_33) + ">"},
        {external_ptr(0x11), r, m, "ptr external <invalid@" + u(uuid_11) + ">"},
        {external_ptr(0x33), r, m, "ptr external %puts"},
        {external_ptr(0x55), r, m, "ptr external <invalid@" + u(uuid_55) + ">"},
        {external_ptr(0x33), r, nullptr, "ptr external <unresolved@" + u(uuid_33) + ">"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printer::fmt_operand(c.operand, c.registry, c.module).to_string(), c.expected)
            << c.expected;
}

TEST(Fmt, ConstantsAndSinks) {
    Fixture f;
    const AnyConst named(FunctionPointer::internal(uuid_of(0x11)));
    EXPECT_EQ(printer::fmt_const(named, &f.module).to_string(), "ptr %main");
    EXPECT_EQ(printer::fmt_const(named).to_string(),
              "ptr <unresolved@" + std::string(uuid_11) + ">");

    // The adapters write into any formatter sink, inside a larger text.
    const KdInstr add = IAdd{n(3), f.i32, reg(1), reg(2), OverflowSignednessPolicy::Wrap};
    ::fmt::memory_buffer buffer;
    ::fmt::format_to(std::back_inserter(buffer), "in `{}` after `{}`",
                     printer::fmt_instr(add, f.registry),
                     printer::fmt_terminator(KdTerminator::Jump{l(1)}, f.registry));
    EXPECT_EQ(::fmt::to_string(buffer),
              "in `%3: i32 = iadd.wrap %1, %2` after `jump label block_1`");
}

TEST(Fmt, PrintsWhileTheCallerHoldsARegistryView) {
    Fixture f;
    // The type checker prints while it reads the registry: printing must only take reads.
    const auto view = f.registry.read();
    const KdInstr gep = MGetElementPtr{n(6), f.ptr, f.pair, reg(0), {int_imm(32, 1)}};
    EXPECT_EQ(printer::fmt_instr(gep, f.registry).to_string(),
              "%6: ptr = getelementptr {i32, i64}, %0, i32 1");
}

}  // namespace
