// Instruction lines read from text: every message of the instruction checks, in the order the
// checks run, over the span of the whole line; and the instructions that valid lines build, with
// the operand, constant and clause forms they are made of.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/consts/fp_const.hpp"
#include "kdinstr/consts/int_const.hpp"
#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/tests/parser_text.hpp"
#include "kdinstr/types/aggregate.hpp"

namespace {

using namespace kdinstr::modules;
using namespace kdinstr::modules::instructions;
using kdinstr::tests::parser_errors;
using kdinstr::tests::perr;
using kdinstr::tests::TextParse;
using kdinstr::types::Typeref;
using kdinstr::utils::ParserError;
namespace consts = kdinstr::consts;
namespace primary = kdinstr::types::primary;

// The line is the first of block `l`; its tokens start at byte 21 and, since nothing but the
// line break follows, its span is the whole line.
constexpr std::size_t line_start = 21;
std::string with_line(const std::string& line) {
    return "define void f() {\nl: " + line + "\n ret void\n}";
}

struct MessageCase {
    std::string line;
    std::vector<std::string> messages;
};

const std::string policies = "wrap, ssat, usat, strap, utrap";

}  // namespace

// One row per check, in the order the checks run; where a line breaks several rules the ones that
// end the line hide the later ones, and the ones that go on are all listed.
TEST(ParserInstructionText, EveryCheckMessageInCheckOrder) {
    const std::vector<MessageCase> cases = {
        // Extra type, phi entries, destination.
        {"%g: ptr = getelementptr %p, %i",
         {"syntax error for getelementptr instruction: missing additional type"}},
        {"%x: i32 = iadd.wrap i32, %a, %b",
         {"syntax error for iadd instruction: unexpected additional type"}},
        {"%x: i32 = iadd.wrap i32, [%a, b]",
         {"syntax error for iadd instruction: unexpected additional type"}},
        {"%x: i32 = iadd.wrap [%a, b]",
         {"syntax error for iadd instruction: only 'phi' instructions can use the [operand, "
          "label] syntax, use operands separated by commas instead"}},
        {"%x: i32 = store %p, %v",
         {"syntax error for store instruction: destination register specified where none "
          "expected"}},
        {"%x: i1 = !assume %c",
         {"syntax error for !assume instruction: destination register specified where none "
          "expected"}},
        {"%r: i32 = phi %a, %b",
         {"syntax error for phi instruction: expected [operand, label] pairs, got operands "
          "separated by commas instead"}},
        {"phi %a",
         {"syntax error for phi instruction: expected [operand, label] pairs, got "
          "operands separated by commas instead"}},
        {"phi [%a, entry]", {"syntax error for phi instruction: missing destination register"}},
        {"iadd.wrap %a, %b", {"syntax error for iadd instruction: missing destination register"}},
        // Labels, variant parts, operand counts.
        {"%x: i32 = iadd.wrap foo, bar",
         {"syntax error for iadd instruction: unexpected label list"}},
        {"store %p, %v foo", {"syntax error for store instruction: unexpected label list"}},
        {"%t: i1 = !analysis.term.blockexit a",
         {"syntax error for !analysis instruction: unexpected label list"}},
        {"%v: i32 = load.acquire.release %p",
         {"arity mismatch for load instruction variant: expected at most 1 variant operand, got "
          "2"}},
        {"%1: i32 = iadd %a, %b",
         {"syntax error for iadd instruction: expected variant, got no "
          "variant"}},
        {"%1: i32 = and.x %a, %b",
         {"syntax error for and instruction: expected no variant, got variant"}},
        {"%1: i32 = iadd.wrap.ssat %a, %b",
         {"arity mismatch for iadd instruction variant: expected 1 variant operands, got 2"}},
        {"%1: i32 = iadd..wrap %a, %b",
         {"arity mismatch for iadd instruction variant: expected 1 variant operands, got 2"}},
        {"%t: i1 = !analysis.term",
         {"arity mismatch for !analysis instruction variant: expected 2 variant operands, got 1"}},
        {"%1: i32 = iadd.wrap %a",
         {"arity mismatch for iadd instruction: expected 2 operands, "
          "got 1"}},
        {"%1: i32 = iadd.foo %a",
         {"arity mismatch for iadd instruction: expected 2 operands, got "
          "1"}},
        {"%1: i32 = ineg %a, %b",
         {"arity mismatch for ineg instruction: expected 1 operands, got "
          "2"}},
        {"%f: i32 = !forall %a",
         {"arity mismatch for !forall instruction: expected 0 operands, "
          "got 1"}},
        // The checks that go on, then the variant words.
        {"%1: i32 = iadd.foo %a, %b, align 4, volatile",
         {"alignment specifier is only valid for load, store and alloca instructions, got iadd "
          "instruction",
          "volatile specifier is only valid for load and store instructions, got iadd instruction",
          "unknown overflow signedness policy: foo (expected one of: " + policies + ")"}},
        {"%a: ptr = alloca i32 8, volatile",
         {"volatile specifier is only valid for load and store instructions, got alloca "
          "instruction"}},
        {"%1: i32 = iadd. %a, %b",
         {"unknown overflow signedness policy:  (expected one of: " + policies + ")"}},
        {"%1: i32 = idiv.s %a, %b",
         {"unknown signedness variant: s (expected one of: signed, unsigned)"}},
        {"%1: i1 = icmp.gt %a, %b",
         {"unknown integer comparison variant: gt (expected one of: eq, ne, ugt, uge, ult, ule, "
          "sgt, sge, slt, sle)"}},
        {"%1: i32 = isht.shl %a, %b",
         {"unknown integer isht variant: shl (expected one of: lsl, lsr, asr, rol, ror)"}},
        {"%1: i1 = fcmp.eq %a, %b",
         {"unknown floating-point comparison variant: eq (expected one of: oeq, ogt, oge, olt, "
          "ole, one, ueq, ugt, uge, ult, ule, une, ord)"}},
        {"%1: i64 = cast.widen %a",
         {"unknown cast variant: widen (expected one of: trunc, zext, sext, fptrunc, fpext, "
          "fptoui, fptosi, uitofp, sitofp, ptrtoint, inttoptr, bitcast)"}},
        {"%v: i32 = load.Acquire %p",
         {"unknown memory ordering variant: Acquire (expected one of: unordered, monotonic, "
          "acquire, release, acq_rel, seq_cst)"}},
        // Opcodes with operand rules of their own.
        {"%g: ptr = getelementptr i8,",
         {"arity mismatch for getelementptr instruction: expected at least 1 operand for "
          "indices, got 0"}},
        {"invoke",
         {"arity mismatch for invoke instruction: expected at least 1 operand "
          "(function pointer), got 0"}},
        {"%i: {i32, i32} = insertvalue %agg, %v",
         {"arity mismatch for insertvalue instruction: expected aggregate, value, and at least "
          "one index, got 2"}},
        {"%e: i32 = extractvalue %agg",
         {"arity mismatch for extractvalue instruction: expected aggregate and at least one "
          "index, got 1"}},
        {"%e: i32 = extractvalue %agg, i32 1, %i, i64 -2, i64 4294967296, fp32 1.0",
         {"index 1 must be an integer immediate", "index 2 must be non-negative",
          "index 3 is too large to fit in u32", "index 4 must be an integer immediate"}},
        {"%p: fp64 = !prob.xyz %a, %b",
         {"unknown meta-probability variant: xyz (expected one of: prb, xpt, var)",
          "arity mismatch for meta-probability variant xpt: expected 1 operands, got 2"}},
        {"%p: fp64 = !prob.var",
         {"arity mismatch for meta-probability variant var: expected 1 "
          "operands, got 0"}},
        {"%c: i64 = !analysis.count",
         {"unknown analysis statistic op: count (expected one of: icnt, excnt, term)"}},
        {"%n: i32 = !analysis.icnt",
         {"arity mismatch for !analysis.icnt: expected 1 operand, got "
          "0"}},
        {"%n: i32 = !analysis.icnt %r",
         {"type error for !analysis.icnt: expected integer immediate operand"}},
        {"%n: i64 = !analysis.excnt %a",
         {"arity mismatch for !analysis.excnt: expected 0 operands, got 1"}},
        {"%t: i1 = !analysis.term.funcexit %a",
         {"arity mismatch for !analysis.term: expected 0 operands, got 1"}},
        {"%t: i1 = !analysis.term.reach",
         {"syntax error for !analysis.term.reach: expected at least 1 label"}},
        {"%t: i1 = !analysis.term.sideways",
         {"unknown termination scope variant: sideways (expected one of: blockexit, funcexit, "
          "reach)"}},
    };
    for (const auto& c : cases) {
        std::vector<ParserError> expected;
        for (const auto& m : c.messages)
            expected.push_back(perr(line_start, line_start + c.line.size(), m));
        EXPECT_EQ(parser_errors(with_line(c.line)), expected) << c.line;
    }
}

// The line's span runs from its first token to the last token of its last clause; the blanks
// and the comment after that token belong to it, the line break does not.
TEST(ParserInstructionText, LineSpanEndsAfterTheLastClauseRead) {
    EXPECT_EQ(parser_errors("define void f() {\nl:\n    iadd.wrap %a, %b   ; why\n ret void\n}"),
              std::vector<ParserError>{perr(25, 49,
                                            "syntax error for iadd instruction: missing "
                                            "destination register")});
}

namespace {

// Reads `lines` as the body of block `l` of function `f(%p: ptr, %a: i32, %b: i32, %c: i1)`
// (registers 0 to 3) and returns the block's instructions.
std::vector<KdInstr> read_lines(TextParse& p, const std::string& lines) {
    const std::string text =
        "define void !f(%p: ptr, %a: i32, %b: i32, %c: i1) {\nl:\n" + lines + "\n ret void\n}";
    auto result = p.read(text);
    if (!result) {
        ADD_FAILURE() << result.error().message() << "\n" << text;
        return {};
    }
    return p.function("f").body.at(Label{0}).instructions;
}

Operand reg(std::uint32_t n) { return Operand(Name{n}); }
Operand int_const(std::uint32_t bits, const char* value) {
    return Operand(consts::AnyConst(consts::IConst(primary::IType{bits}, mpz_class(value))));
}

}  // namespace

TEST(ParserInstructionText, ValidLinesBuildTheirInstructions) {
    TextParse p;
    const Typeref i32 = p.i(32), i64 = p.i(64), ptr = p.ptr();
    const std::vector<KdInstr> read =
        read_lines(p,
                   "  %x: i32 = iadd.wrap %a, %b\n"
                   "  %v: i32 = load.acquire %p, align 8, volatile\n"
                   "  %w: i32 = load %p\n"
                   "  store.seq_cst %p, %v, align 0x10\n"
                   "  %s: ptr = alloca i32 8, align 4294967295\n"
                   "  %g: ptr = getelementptr {i32, i64}, %p, i32 0, i32 1\n"
                   "  %h: ptr = getelementptr i8, %p\n"
                   "  invoke ptr f, %a\n"
                   "  %r: i32 = invoke %p\n"
                   "  %e: i32 = extractvalue %x, i64 4294967295, i8 0\n"
                   "  %n: i32 = !analysis.icnt i32 3\n"
                   "  %m: i32 = !analysis.icnt i32 0x10000\n"
                   "  %t: i1 = !analysis.term.reach l, other.1");
    const Typeref pair = p.type(kdinstr::types::aggregate::StructType{{i32, i64}, false});
    const Typeref i8 = p.i(8);
    const auto self = consts::AnyConst(FunctionPointer::internal(p.function("f").uuid));
    const std::vector<KdInstr> expected = {
        IAdd{Name{4}, i32, reg(1), reg(2), OverflowSignednessPolicy::Wrap},
        MLoad{Name{5}, i32, reg(0), 8u, MemoryOrdering::Acq, true},
        MLoad{Name{6}, i32, reg(0), std::nullopt, std::nullopt, false},
        MStore{reg(0), reg(5), 16u, MemoryOrdering::SeqCst, false},
        MAlloca{Name{7}, ptr, int_const(32, "8"), 4294967295u},
        MGetElementPtr{Name{8}, ptr, pair, reg(0), {int_const(32, "0"), int_const(32, "1")}},
        MGetElementPtr{Name{9}, ptr, i8, reg(0), {}},
        Invoke{Operand(self), {reg(1)}, std::nullopt, std::nullopt, std::nullopt},
        Invoke{reg(0), {}, Name{10}, i32, std::nullopt},
        ExtractValue{Name{11}, i32, reg(4), {4294967295u, 0u}},
        MetaAnalysisStat{Name{12}, i32,
                         kdinstr::analysis::InstructionCount{
                             kdinstr::analysis::InstructionFlags::from_bits_truncate(3)}},
        MetaAnalysisStat{Name{13}, i32, kdinstr::analysis::InstructionCount{}},
        MetaAnalysisStat{Name{14}, p.i(1),
                         kdinstr::analysis::TerminationBehavior{
                             kdinstr::analysis::ReachAny{{Label{0}, Label{1}}}}},
    };
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(read[i], expected[i]) << i << ": " << read[i].debug();
}

TEST(ParserInstructionText, PhiSelectAndCastLines) {
    TextParse p;
    ASSERT_TRUE(
        p.read("define i32 f(%c: i1, %a: i32, %b: i32) {\n"
               "entry: branch %c, one, two\n"
               "one: jump join\n"
               "two: jump join\n"
               "join:\n"
               "  %r: i32 = phi [%a, one], [%b, two]\n"
               "  %s: i32 = select %c, %r, %a\n"
               "  %w: i64 = cast.sext %s\n"
               "  ret %r\n"
               "}"));
    const Typeref i32 = p.i(32);
    // entry 0, one 1, two 2, join 3: labels by first appearance, the targets before their blocks.
    EXPECT_EQ(p.function("f").body.at(Label{3}).instructions,
              (std::vector<KdInstr>{
                  Phi{Name{3}, i32, {{reg(1), Label{1}}, {reg(2), Label{2}}}},
                  Select{Name{4}, reg(0), reg(3), reg(1), i32},
                  Cast{Name{5}, p.i(64), reg(4), CastVariant::SExt},
              }));
}

// Constants keep their values as written: widths do not limit integers, decimals keep their
// scale; the undefined value of any type is the only way to write a vector, array or struct.
TEST(ParserInstructionText, OperandForms) {
    TextParse p;
    const std::vector<KdInstr> read = read_lines(p,
                                                 "  store %p, i8 300\n"
                                                 "  store %p, i1 -1\n"
                                                 "  store %p, i8 0x1FF\n"
                                                 "  store %p, fp32 1.50\n"
                                                 "  store %p, i32 undef\n"
                                                 "  store %p, [4 x i8] undef\n"
                                                 "  store %p, {i8, ptr} undef\n"
                                                 "  store %p, ptr undef");
    const auto value = [&](std::size_t i) { return std::get<MStore>(read.at(i)).value; };
    ASSERT_EQ(read.size(), 8u);
    EXPECT_EQ(value(0), int_const(8, "300"));
    EXPECT_EQ(value(1), int_const(1, "-1"));
    EXPECT_EQ(value(2), int_const(8, "511"));
    const Operand fp = value(3);
    const auto* decimal = fp.as_imm()->as_float();
    ASSERT_NE(decimal, nullptr);
    EXPECT_EQ(decimal->ty, primary::FType::Fp32);
    EXPECT_TRUE(decimal->value.same_representation(kdinstr::consts::BigDecimal(150, 2)));
    EXPECT_EQ(value(4), Operand(p.i(32)));
    EXPECT_EQ(value(5), Operand(p.type(kdinstr::types::AnyType::Array{p.i(8), 4})));
    EXPECT_EQ(value(6),
              Operand(p.type(kdinstr::types::aggregate::StructType{{p.i(8), p.ptr()}, false})));
    EXPECT_EQ(value(7), Operand(p.ptr()));
}

TEST(ParserInstructionText, TypesReadByAbandonedAlternativesStayInterned) {
    TextParse p;
    ASSERT_TRUE(p.read("define void f() {\nl: ret void\n}"));
    const auto before = p.registry.len();
    // The constant's width is read as the type of an undefined value first.
    ASSERT_TRUE(p.read("define i16 g() {\nl: ret i16 5\n}"));
    EXPECT_EQ(p.registry.len(), before + 1);
    TextParse q;
    ASSERT_TRUE(
        q.read("define void f() {\nl:\n  %x: fp16 = fadd fp16 1.5, fp16 2.5\n  ret void\n}"));
    EXPECT_EQ(q.registry.len(), 1u);
}
