#include "kdinstr/types/checker.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kdinstr/modules/fmt.hpp"
#include "kdinstr/tests/checker_fixture.hpp"

namespace {

using namespace kdinstr;
using namespace kdinstr::tests;
using utils::Error;

struct Case {
    Case(std::string w, std::vector<Typeref> p, std::vector<ir::KdInstr> b,
         ir::KdTerminator e = trap(), std::optional<Typeref> r = std::nullopt,
         std::optional<Error> x = std::nullopt)
        : what(std::move(w)),
          params(std::move(p)),
          body(std::move(b)),
          end(std::move(e)),
          returns(r),
          expected(std::move(x)) {}

    std::string what;
    std::vector<Typeref> params;
    std::vector<ir::KdInstr> body;
    ir::KdTerminator end;
    std::optional<Typeref> returns;
    // None: the function passes.
    std::optional<Error> expected;
};

void run_cases(CheckerFixture& f, std::vector<Case>& cases) {
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(outcome(f.check(c.params, std::move(c.body), std::move(c.end), c.returns)),
                  outcome(c.expected));
    }
}

ir::KdInstr isht(std::uint32_t dest, Typeref type, ir::Operand lhs, ir::Operand rhs) {
    return instr::ISht{ir::Name{dest}, type, std::move(lhs), std::move(rhs),
                       instr::IShiftVariant::Lsl};
}
ir::KdInstr fcmp(std::uint32_t dest, Typeref type, ir::Operand lhs, ir::Operand rhs) {
    return instr::FCmp{ir::Name{dest}, type, std::move(lhs), std::move(rhs),
                       instr::FCmpVariant::Olt};
}
ir::KdInstr alloca_of(std::uint32_t dest, Typeref type, ir::Operand count) {
    return instr::MAlloca{ir::Name{dest}, type, std::move(count), std::nullopt};
}
ir::KdInstr prob(std::uint32_t dest, Typeref type, ir::Operand value) {
    return instr::MetaProb{
        ir::Name{dest}, type,
        instr::MetaProbOperand{instr::MetaProbVariant::Probability, std::move(value)}};
}
ir::KdInstr analysis_count(std::uint32_t dest, Typeref type) {
    return instr::MetaAnalysisStat{ir::Name{dest}, type, analysis::ExecutionCount{}};
}

TEST(TypeChecker, IntegerAndFloatArithmetic) {
    CheckerFixture f;
    const Typeref v4i32 = f.vec(IType{32}, 4);
    const Typeref v4fp32 = f.vec(FType::Fp32, 4);
    std::vector<Case> cases;
    cases.push_back({"iadd of i32", {f.i32, f.i32}, {iadd(2, f.i32, reg(0), reg(1))}});
    cases.push_back({"iadd of <4 x i32>", {v4i32, v4i32}, {iadd(2, v4i32, reg(0), reg(1))}});
    cases.push_back({"iadd into fp32",
                     {f.i32},
                     {iadd(1, f.fp32, reg(0), reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: fp32 = iadd.wrap %0, %0", "iN or <N x iN>", "fp32")});
    cases.push_back({"iadd with a constant of another width",
                     {f.i32},
                     {iadd(1, f.i32, reg(0), int_imm(64, 5))},
                     trap(),
                     {},
                     type_mismatch("%1: i32 = iadd.wrap %0, i64 5", "i32", "i64")});
    cases.push_back({"the first operand is compared before the second is computed",
                     {},
                     {iadd(0, f.i32, int_imm(64, 5), reg(9))},
                     trap(),
                     {},
                     type_mismatch("%0: i32 = iadd.wrap i64 5, %9", "i32", "i64")});
    cases.push_back({"an undefined first operand wins over a mismatch of the second",
                     {},
                     {iadd(0, f.i32, reg(9), int_imm(64, 5))},
                     trap(),
                     {},
                     Error::UndefinedName{ir::Name{9}}});
    cases.push_back({"shift amount of another width",
                     {f.i32, f.i8},
                     {isht(2, f.i32, reg(0), reg(1))},
                     trap(),
                     {},
                     type_mismatch("%2: i32 = isht.lsl %0, %1", "i32", "i8")});
    cases.push_back({"ineg of a vector into a scalar",
                     {v4i32},
                     {instr::INeg{ir::Name{1}, f.i32, reg(0)}},
                     trap(),
                     {},
                     type_mismatch("%1: i32 = ineg %0", "i32", "<4 x i32>")});
    cases.push_back(
        {"idiv into ptr",
         {f.ptr},
         {instr::IDiv{ir::Name{1}, f.ptr, reg(0), reg(0), instr::IntegerSignedness::Unsigned}},
         trap(),
         {},
         type_mismatch("%1: ptr = idiv.unsigned %0, %0", "iN or <N x iN>", "ptr")});
    cases.push_back(
        {"fadd of <4 x fp32>", {v4fp32}, {instr::FAdd{ir::Name{1}, v4fp32, reg(0), reg(0)}}});
    cases.push_back({"fadd into i32",
                     {f.i32},
                     {instr::FAdd{ir::Name{1}, f.i32, reg(0), reg(0)}},
                     trap(),
                     {},
                     type_mismatch("%1: i32 = fadd %0, %0", "fp or <N x fp>", "i32")});
    cases.push_back({"fneg of another format",
                     {f.fp64},
                     {instr::FNeg{ir::Name{1}, f.fp32, reg(0)}},
                     trap(),
                     {},
                     type_mismatch("%1: fp32 = fneg %0", "fp32", "fp64")});
    cases.push_back({"fmul with a constant of another format",
                     {f.fp32},
                     {instr::FMul{ir::Name{1}, f.fp32, reg(0), fp_imm(FType::Fp64, 15, 1)}},
                     trap(),
                     {},
                     type_mismatch("%1: fp32 = fmul %0, fp64 1.5", "fp32", "fp64")});
    run_cases(f, cases);
}

TEST(TypeChecker, Comparisons) {
    CheckerFixture f;
    const Typeref v4i1 = f.vec(IType{1}, 4);
    const Typeref sv4i1 = f.svec(IType{1}, 4);
    const Typeref v4i32 = f.vec(IType{32}, 4);
    const Typeref v8i32 = f.vec(IType{32}, 8);
    const Typeref v4fp32 = f.vec(FType::Fp32, 4);
    std::vector<Case> cases;
    cases.push_back({"icmp of i8", {f.i8, f.i8}, {icmp(2, f.i1, reg(0), reg(1))}});
    cases.push_back({"icmp of <4 x i32> into <4 x i1>", {v4i32}, {icmp(1, v4i1, reg(0), reg(0))}});
    cases.push_back({"icmp of two widths",
                     {f.i8, f.i16},
                     {icmp(2, f.i1, reg(0), reg(1))},
                     trap(),
                     {},
                     type_mismatch("%2: i1 = icmp.eq %0, %1", "i8", "i16")});
    cases.push_back({"icmp of a vector of another size",
                     {v8i32},
                     {icmp(1, v4i1, reg(0), reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: <4 x i1> = icmp.eq %0, %0", "<4 x iN>", "<8 x i32>")});
    cases.push_back(
        {"icmp of a fixed vector into a scalable one",
         {v4i32},
         {icmp(1, sv4i1, reg(0), reg(0))},
         trap(),
         {},
         type_mismatch("%1: <vscale 4 x i1> = icmp.eq %0, %0", "<vscale 4 x iN>", "<4 x i32>")});
    cases.push_back({"icmp of vectors into a scalar",
                     {v4i32},
                     {icmp(1, f.i1, reg(0), reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: i1 = icmp.eq %0, %0", "iN", "<4 x i32>")});
    cases.push_back({"icmp of pointers",
                     {f.ptr},
                     {icmp(1, f.i1, reg(0), reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: i1 = icmp.eq %0, %0", "iN", "ptr")});
    cases.push_back({"icmp into i8 before its operands are looked at",
                     {},
                     {icmp(0, f.i8, reg(7), reg(8))},
                     trap(),
                     {},
                     type_mismatch("%0: i8 = icmp.eq %7, %8", "i1 or <N x i1>", "i8")});
    cases.push_back({"fcmp of fp32", {f.fp32}, {fcmp(1, f.i1, reg(0), reg(0))}});
    cases.push_back({"fcmp into i8",
                     {f.fp32},
                     {fcmp(1, f.i8, reg(0), reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: i8 = fcmp.olt %0, %0", "i1 or <N x i1>", "i8")});
    cases.push_back({"fcmp of integers",
                     {f.i32},
                     {fcmp(1, f.i1, reg(0), reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: i1 = fcmp.olt %0, %0", "fp", "i32")});
    cases.push_back({"fcmp of integer vectors",
                     {v4i32},
                     {fcmp(1, v4i1, reg(0), reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: <4 x i1> = fcmp.olt %0, %0", "<4 x fp>", "<4 x i32>")});
    cases.push_back({"fcmp of <4 x fp32>", {v4fp32}, {fcmp(1, v4i1, reg(0), reg(0))}});
    run_cases(f, cases);
}

TEST(TypeChecker, MemoryCallsPhiAndSelect) {
    CheckerFixture f;
    const Typeref pair = f.strct({f.i32, f.i64});
    const Typeref v4i1 = f.vec(IType{1}, 4);
    std::vector<Case> cases;
    cases.push_back({"load of a struct", {f.ptr}, {load(1, pair, reg(0))}});
    cases.push_back({"load through i64",
                     {f.i64},
                     {load(1, f.i32, reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: i32 = load %0", "ptr", "i64")});
    cases.push_back({"store of an undefined register", {f.ptr}, {store(reg(0), reg(42))}});
    cases.push_back({"store through i32",
                     {f.i32},
                     {store(reg(0), reg(0))},
                     trap(),
                     {},
                     type_mismatch("store %0, %0", "ptr", "i32")});
    cases.push_back({"alloca counted by i1", {f.i1}, {alloca_of(1, f.ptr, reg(0))}});
    cases.push_back({"alloca counted by ptr",
                     {f.ptr},
                     {alloca_of(1, f.ptr, reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: ptr = alloca ptr %0", "iN", "ptr")});
    cases.push_back({"invoke through i64",
                     {f.i64},
                     {invoke(reg(0))},
                     trap(),
                     {},
                     type_mismatch("invoke %0", "ptr", "i64")});
    cases.push_back({"invoke of a function pointer, arguments not looked at",
                     {},
                     {invoke(1, f.fp64, internal_fn(uuid(7)), {reg(99), int_imm(3, 1)})}});
    cases.push_back({"invoke through a ptr register", {f.ptr}, {invoke(reg(0), {reg(0)})}});
    cases.push_back({"phi of two widths",
                     {f.i32, f.i64},
                     {phi(2, f.i32, {{reg(0), 0}, {reg(1), 1}})},
                     trap(),
                     {},
                     type_mismatch("%2: i32 = phi [%0, block_0], [%1, block_1]", "i32", "i64")});
    cases.push_back({"phi of wildcards only compares identifiers",
                     {wildcard(0)},
                     {phi(1, wildcard(0), {{reg(0), 0}})}});
    cases.push_back({"select on a vector condition",
                     {v4i1, f.i32},
                     {select(2, f.i32, reg(0), reg(1), reg(1))},
                     trap(),
                     {},
                     type_mismatch("%2: i32 = select %0, %1, %1", "i1", "<4 x i1>")});
    cases.push_back({"select with a true value of another type",
                     {f.i1, f.i64, f.i32},
                     {select(3, f.i32, reg(0), reg(1), reg(2))},
                     trap(),
                     {},
                     type_mismatch("%3: i32 = select %0, %1, %2", "i32", "i64")});
    cases.push_back({"select with a false value of another type",
                     {f.i1, f.i32, f.i64},
                     {select(3, f.i32, reg(0), reg(1), reg(2))},
                     trap(),
                     {},
                     type_mismatch("%3: i32 = select %0, %1, %2", "i32", "i64")});
    cases.push_back({"select computes both values before it compares",
                     {f.i1, f.i64},
                     {select(2, f.i32, reg(0), reg(1), reg(9))},
                     trap(),
                     {},
                     Error::UndefinedName{ir::Name{9}}});
    run_cases(f, cases);
}

TEST(TypeChecker, MetaInstructions) {
    CheckerFixture f;
    std::vector<Case> cases;
    cases.push_back({"!assert on i32",
                     {f.i32},
                     {meta_assert(reg(0))},
                     trap(),
                     {},
                     type_mismatch("!assert %0", "i1", "i32")});
    cases.push_back({"!assume on a constant i1", {}, {instr::MetaAssume{int_imm(1, 1)}}});
    cases.push_back(
        {"!isdef of an undefined register", {}, {instr::MetaIsDef{ir::Name{0}, f.i1, reg(5)}}});
    cases.push_back({"!isdef into i8",
                     {f.i32},
                     {instr::MetaIsDef{ir::Name{1}, f.i8, reg(0)}},
                     trap(),
                     {},
                     type_mismatch("%1: i8 = !isdef %0", "i1", "i8")});
    cases.push_back({"!prob of an integer", {f.i32}, {prob(1, f.fp64, reg(0))}});
    cases.push_back({"!prob into i32",
                     {f.fp64},
                     {prob(1, f.i32, reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: i32 = !prob.prob %0", "fp", "i32")});
    cases.push_back({"!prob of a ptr",
                     {f.ptr},
                     {prob(1, f.fp64, reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: fp64 = !prob.prob %0", "fp or iN", "ptr")});
    cases.push_back({"!analysis into i2", {}, {analysis_count(0, f.i2)}});
    cases.push_back({"!analysis into i1",
                     {},
                     {analysis_count(0, f.i1)},
                     trap(),
                     {},
                     type_mismatch("%0: i1 = !analysis.excnt", "iN (N >= 2)", "i1")});
    cases.push_back({"!forall of any type", {}, {meta_forall(0, f.label)}});
    run_cases(f, cases);
}

TEST(TypeChecker, Terminators) {
    CheckerFixture f;
    std::vector<Case> cases;
    cases.push_back({"ret of a value without return type",
                     {f.i32},
                     {},
                     ret(reg(0)),
                     {},
                     type_mismatch("ret %0", "void", "i32")});
    cases.push_back({"ret of an undefined register without return type",
                     {},
                     {},
                     ret(reg(3)),
                     {},
                     Error::UndefinedName{ir::Name{3}}});
    cases.push_back({"ret void with a return type",
                     {},
                     {},
                     ret(),
                     f.i32,
                     type_mismatch("ret void", "i32", "void")});
    cases.push_back({"ret of another type",
                     {f.i64},
                     {},
                     ret(reg(0)),
                     f.i32,
                     type_mismatch("ret %0", "i32", "i64")});
    cases.push_back({"ret of an undef of the return type", {}, {}, ret(undef(f.i32)), f.i32});
    cases.push_back({"ret void without return type", {}, {}, ret()});
    cases.push_back({"branch on a constant i32",
                     {},
                     {},
                     branch(int_imm(32, 1), 1, 2),
                     {},
                     type_mismatch("branch i32 1, block_1, block_2", "i1", "i32")});
    cases.push_back({"branch on i1", {f.i1}, {}, branch(reg(0), 1, 2)});
    cases.push_back({"jump to a missing block", {}, {}, jump(7)});
    run_cases(f, cases);
}

TEST(TypeChecker, TypesTheRegistryCannotShow) {
    CheckerFixture f;
    const std::string unknown = f.text(f.missing);
    ASSERT_EQ(unknown, "<unknown type " + f.missing.to_string() + ">");
    std::vector<Case> cases;
    cases.push_back(
        {"iadd into a type the registry lacks",
         {f.i32},
         {iadd(1, f.missing, reg(0), reg(0))},
         trap(),
         {},
         type_mismatch("%1: " + unknown + " = iadd.wrap %0, %0", "iN or <N x iN>", unknown)});
    cases.push_back({"load through a wildcard",
                     {wildcard(0)},
                     {load(1, f.i32, reg(0))},
                     trap(),
                     {},
                     type_mismatch("%1: i32 = load %0", "ptr", "A")});
    cases.push_back({"!isdef into a wildcard",
                     {},
                     {instr::MetaIsDef{ir::Name{0}, wildcard(1), undef(f.i1)}},
                     trap(),
                     {},
                     type_mismatch("%0: B = !isdef i1 undef", "i1", "B")});
    run_cases(f, cases);
}

TEST(TypeChecker, PassOrder) {
    CheckerFixture f;
    struct OrderCase {
        std::string what;
        ir::Function function;
        std::optional<Error> expected;
    };
    std::vector<OrderCase> cases;
    cases.push_back(
        {"a destination repeating a parameter fails before any rule",
         FunctionBuilder()
             .param(0, f.i32)
             .block(0, {iadd(1, f.fp32, reg(0), reg(0)), iadd(0, f.i32, reg(0), reg(0))}, trap())
             .build(),
         Error::DuplicateDefinition{ir::Name{0}}});
    cases.push_back({"a destination defined twice in later blocks",
                     FunctionBuilder()
                         .block(0, {iadd(1, f.fp32, reg(9), reg(9))}, jump(1))
                         .block(1, {iadd(2, f.i32, reg(1), reg(1))}, jump(2))
                         .block(2, {iadd(2, f.i32, reg(1), reg(1))}, trap())
                         .build(),
                     Error::DuplicateDefinition{ir::Name{2}}});
    cases.push_back({"a repeated parameter keeps the later type",
                     FunctionBuilder()
                         .param(0, f.i64)
                         .param(0, f.i32)
                         .block(0, {iadd(1, f.i32, reg(0), reg(0))}, ret(reg(1)))
                         .returns(f.i32)
                         .build(),
                     std::nullopt});
    cases.push_back({"a register defined in a later block may be used earlier",
                     FunctionBuilder()
                         .block(0, {iadd(0, f.i32, reg(1), reg(1))}, jump(1))
                         .block(1, {iadd(1, f.i32, int_imm(32, 1), int_imm(32, 2))}, trap())
                         .build(),
                     std::nullopt});
    cases.push_back({"every instruction is checked before any terminator",
                     FunctionBuilder()
                         .block(0, {}, ret(int_imm(8, 0)))
                         .block(1, {load(0, f.i32, int_imm(64, 0))}, trap())
                         .build(),
                     type_mismatch("%0: i32 = load i64 0", "ptr", "i64")});
    cases.push_back({"blocks go by ascending label",
                     FunctionBuilder()
                         .block(2, {meta_assert(int_imm(8, 1))}, trap())
                         .block(1, {meta_assert(int_imm(16, 1))}, trap())
                         .build(),
                     type_mismatch("!assert i16 1", "i1", "i16")});
    cases.push_back({"terminators go by ascending label",
                     FunctionBuilder()
                         .block(0, {}, branch(int_imm(8, 1), 0, 0))
                         .block(1, {}, ret(int_imm(8, 1)))
                         .build(),
                     type_mismatch("branch i8 1, block_0, block_0", "i1", "i8")});
    {
        // The printer has no header for such an invoke: whatever it prints is the subject text.
        const ir::KdInstr odd = instr::Invoke{reg(9), {}, ir::Name{0}, std::nullopt, std::nullopt};
        cases.push_back({"an invoke with a destination and no type",
                         FunctionBuilder().block(0, {odd}, trap()).build(),
                         type_mismatch(modules::fmt::fmt_instr(odd, f.registry).to_string(),
                                       "any type", "void")});
    }
    for (OrderCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(outcome(types::checker::type_check(c.function, f.registry)), outcome(c.expected));
    }
}

TEST(TypeChecker, ListsGiveTheSameAnswerAsTheFunction) {
    CheckerFixture f;
    const ir::Function function =
        FunctionBuilder()
            .param(0, f.i32)
            .returns(f.i32)
            .block(0, {iadd(1, f.i32, reg(0), reg(0))}, jump(1))
            .block(1, {iadd(2, f.i32, reg(1), reg(0))}, ret(int_imm(64, 2)))
            .build();
    std::vector<const ir::KdInstr*> instructions;
    std::vector<const ir::KdTerminator*> terminators;
    for (const auto& [label, block] : function.body) {
        for (const ir::KdInstr& i : block.instructions) instructions.push_back(&i);
        terminators.push_back(&block.terminator);
    }
    const auto lists = types::checker::type_check(f.registry, function.parameters, instructions,
                                                  terminators, function.return_type);
    EXPECT_EQ(outcome(lists), outcome(types::checker::type_check(function, f.registry)));
    EXPECT_EQ(outcome(lists), outcome(type_mismatch("ret i64 2", "i32", "i64")));
}

TEST(TypeChecker, InternsConstantTypesAlsoWhenItFails) {
    CheckerFixture f;
    const std::size_t before = f.registry.len();
    const auto result = f.check({f.i32}, {iadd(1, f.i32, reg(0), int_imm(48, 5))});
    EXPECT_EQ(outcome(result),
              outcome(type_mismatch("%1: i32 = iadd.wrap %0, i48 5", "i32", "i48")));
    EXPECT_EQ(f.registry.len(), before + 1);
    const std::size_t after = f.registry.len();
    // A known constant type is found, not minted again.
    EXPECT_FALSE(f.check({f.i32}, {iadd(1, f.i32, reg(0), int_imm(48, 5))}));
    EXPECT_EQ(f.registry.len(), after);
    EXPECT_EQ(f.text(f.intern(IType{48})), "i48");
    EXPECT_EQ(f.registry.len(), after);
}

TEST(TypeChecker, ChecksSharingOneRegistryInternAtTheSameTime) {
    CheckerFixture f;
    const std::size_t before = f.registry.len();
    constexpr std::uint32_t threads = 4, per_thread = 25;
    std::vector<std::string> outcomes(threads * per_thread);
    std::vector<std::thread> workers;
    for (std::uint32_t t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (std::uint32_t i = 0; i < per_thread; ++i) {
                // Widths no other check uses: the check mints the index constant's type and the
                // vector's element type, reading the registry before and between.
                const std::uint32_t width = 1000 + 2 * (t * per_thread + i);
                const Typeref vector = f.vec(IType{width}, 4);
                const ir::Function fn = FunctionBuilder()
                                            .param(0, f.ptr)
                                            .block(0,
                                                   {gep(1, f.ptr, vector, reg(0),
                                                        {int_imm(width + 1, 0), int_imm(32, 1)})},
                                                   trap())
                                            .build();
                outcomes[t * per_thread + i] = outcome(types::checker::type_check(fn, f.registry));
            }
        });
    }
    for (std::thread& w : workers) w.join();
    for (const std::string& o : outcomes) EXPECT_EQ(o, "ok");
    EXPECT_EQ(f.registry.len(), before + 3 * threads * per_thread);
    EXPECT_EQ(f.text(f.intern(IType{1000})), "i1000");
    EXPECT_EQ(f.text(f.intern(IType{1001})), "i1001");
    EXPECT_EQ(f.registry.len(), before + 3 * threads * per_thread);
}

TEST(TypeChecker, MessageText) {
    CheckerFixture f;
    const auto result = f.check({f.i32, f.i8}, {isht(2, f.i32, reg(0), reg(1))});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message(),
              "Type mismatch in instruction `%2: i32 = isht.lsl %0, %1`: expected type `i32`, but "
              "found type `i8`.");
}

}  // namespace
