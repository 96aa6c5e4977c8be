#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "kdinstr/tests/checker_fixture.hpp"

namespace {

using namespace kdinstr;
using namespace kdinstr::tests;
using instr::CastVariant;

ir::KdInstr cast(std::uint32_t dest, Typeref to, ir::Operand value, CastVariant variant) {
    return instr::Cast{ir::Name{dest}, to, std::move(value), variant};
}

// %1: to = cast %0 with %0 of type `from`. A failing cast always shows `from` as found type.
struct CastCase {
    CastVariant variant;
    Typeref from;
    Typeref to;
    // None: the cast passes; else the expected text of the mismatch.
    std::optional<std::string> expected;
};

void run_casts(CheckerFixture& f, const std::vector<CastCase>& cases) {
    for (const CastCase& c : cases) {
        SCOPED_TRACE(f.text(c.from) + " -> " + f.text(c.to) + " by " +
                     std::string(modules::EnumWords<CastVariant>::words[std::size_t(c.variant)]));
        std::optional<utils::Error> expected;
        if (c.expected)
            expected =
                type_mismatch("%1: " + f.text(c.to) + " = cast %0", *c.expected, f.text(c.from));
        EXPECT_EQ(outcome(f.check({c.from}, {cast(1, c.to, reg(0), c.variant)})),
                  outcome(expected));
    }
}

TEST(TypeCheckerCast, Shape) {
    CheckerFixture f;
    const Typeref v4i8 = f.vec(IType{8}, 4);
    const Typeref v4i16 = f.vec(IType{16}, 4);
    const Typeref v4i32 = f.vec(IType{32}, 4);
    const Typeref v8i32 = f.vec(IType{32}, 8);
    const Typeref sv4i16 = f.svec(IType{16}, 4);
    const Typeref sv4i32 = f.svec(IType{32}, 4);
    run_casts(f, {
                     {CastVariant::ZExt, v4i8, v4i32, std::nullopt},
                     {CastVariant::Trunc, sv4i32, sv4i16, std::nullopt},
                     {CastVariant::ZExt, v4i8, f.i32, "T"},
                     {CastVariant::Trunc, f.i32, v4i16, "<4 x T>"},
                     {CastVariant::Trunc, f.i32, sv4i16, "<vscale 4 x T>"},
                     {CastVariant::Trunc, v8i32, v4i16, "<4 x T>"},
                     {CastVariant::Trunc, sv4i32, v4i16, "<4 x T>"},
                     // The shape is decided before the conversion's own rule.
                     {CastVariant::FpExt, v4i8, f.i32, "T"},
                 });
}

TEST(TypeCheckerCast, IntegerWidths) {
    CheckerFixture f;
    const Typeref v4i8 = f.vec(IType{8}, 4);
    const Typeref v4i32 = f.vec(IType{32}, 4);
    const Typeref v4fp32 = f.vec(FType::Fp32, 4);
    run_casts(f, {
                     {CastVariant::Trunc, f.i32, f.i16, std::nullopt},
                     {CastVariant::Trunc, f.i16, f.i32, "iN where N < 16"},
                     {CastVariant::Trunc, f.i32, f.i32, "iN where N < 32"},
                     {CastVariant::Trunc, v4i32, v4i8, std::nullopt},
                     {CastVariant::Trunc, v4i8, v4i32, "iN where N < 8"},
                     {CastVariant::ZExt, f.i8, f.i32, std::nullopt},
                     {CastVariant::SExt, f.i1, f.i64, std::nullopt},
                     {CastVariant::ZExt, f.i8, f.i8, "iN where N > 8"},
                     {CastVariant::SExt, f.i32, f.i16, "iN where N > 32"},
                     // The destination is refused, yet the value's type is what is shown.
                     {CastVariant::Trunc, f.i32, f.fp32, "iN"},
                     {CastVariant::ZExt, f.fp32, f.i64, "iN"},
                     {CastVariant::SExt, v4fp32, v4i32, "iN"},
                     {CastVariant::Trunc, f.ptr, f.i8, "iN"},
                 });
}

TEST(TypeCheckerCast, FloatingFormats) {
    CheckerFixture f;
    const std::string all_above_2 = "one of fp32, fp64, fp128, x86_fp80, ppc_fp128";
    run_casts(f, {
                     {CastVariant::FpTrunc, f.fp32, f.fp16, std::nullopt},
                     {CastVariant::FpTrunc, f.fp128, f.x86_fp80, std::nullopt},
                     {CastVariant::FpTrunc, f.x86_fp80, f.fp64, std::nullopt},
                     {CastVariant::FpExt, f.x86_fp80, f.fp128, std::nullopt},
                     {CastVariant::FpExt, f.bf16, f.fp32, std::nullopt},
                     {CastVariant::FpExt, f.fp16, f.bf16, all_above_2},
                     {CastVariant::FpTrunc, f.fp16, f.bf16, "one of "},
                     {CastVariant::FpTrunc, f.fp16, f.fp64, "one of "},
                     {CastVariant::FpTrunc, f.fp128, f.ppc_fp128,
                      "one of fp16, bf16, fp32, fp64, x86_fp80"},
                     {CastVariant::FpExt, f.ppc_fp128, f.fp128, "one of "},
                     {CastVariant::FpExt, f.fp64, f.fp32, "one of fp128, x86_fp80, ppc_fp128"},
                     {CastVariant::FpExt, f.i32, f.fp64, "fp"},
                     {CastVariant::FpTrunc, f.fp64, f.i32, "fp"},
                 });
}

TEST(TypeCheckerCast, ConversionsBetweenKinds) {
    CheckerFixture f;
    const Typeref v2ptr = f.vec(types::primary::Ptr{}, 2);
    const Typeref v2i64 = f.vec(IType{64}, 2);
    const Typeref v2fp64 = f.vec(FType::Fp64, 2);
    run_casts(f, {
                     {CastVariant::FpToUI, f.fp64, f.i8, std::nullopt},
                     {CastVariant::FpToSI, v2fp64, v2i64, std::nullopt},
                     {CastVariant::FpToSI, f.i32, f.i8, "fp"},
                     {CastVariant::FpToUI, f.fp32, f.fp64, "iN"},
                     {CastVariant::UIToFp, f.i1, f.fp128, std::nullopt},
                     {CastVariant::SIToFp, v2i64, v2fp64, std::nullopt},
                     {CastVariant::SIToFp, f.fp32, f.fp64, "iN"},
                     {CastVariant::UIToFp, f.i32, f.ptr, "fp"},
                     {CastVariant::PtrToInt, f.ptr, f.i64, std::nullopt},
                     {CastVariant::PtrToInt, v2ptr, v2i64, "ptr"},
                     {CastVariant::PtrToInt, f.i64, f.i64, "ptr"},
                     {CastVariant::PtrToInt, f.ptr, f.fp64, "iN"},
                     {CastVariant::IntToPtr, f.i64, f.ptr, std::nullopt},
                     {CastVariant::IntToPtr, f.i64, f.i64, "ptr"},
                     {CastVariant::IntToPtr, f.ptr, f.ptr, "iN"},
                 });
}

TEST(TypeCheckerCast, Bitcast) {
    CheckerFixture f;
    const Typeref v4i32 = f.vec(IType{32}, 4);
    const Typeref v4fp32 = f.vec(FType::Fp32, 4);
    const Typeref v4i16 = f.vec(IType{16}, 4);
    const std::string sized = "iN or fp or <K x iN> or <K x fp>";
    run_casts(f, {
                     {CastVariant::Bitcast, f.i32, f.fp32, std::nullopt},
                     {CastVariant::Bitcast, f.i16, f.bf16, std::nullopt},
                     {CastVariant::Bitcast, f.i80, f.x86_fp80, std::nullopt},
                     {CastVariant::Bitcast, f.ppc_fp128, f.fp128, std::nullopt},
                     {CastVariant::Bitcast, v4i32, v4fp32, std::nullopt},
                     {CastVariant::Bitcast, f.i64, f.fp32, "type of size 64"},
                     // Element sizes are compared, not whole vectors.
                     {CastVariant::Bitcast, v4i16, v4fp32, "type of size 16"},
                     {CastVariant::Bitcast, f.ptr, f.i64, sized},
                     {CastVariant::Bitcast, f.i64, f.ptr, sized},
                 });
}

TEST(TypeCheckerCast, ValueFirstThenTypesTheRegistryCannotShow) {
    CheckerFixture f;
    const std::string unknown = f.text(f.missing);
    struct Case {
        std::string what;
        std::vector<Typeref> params;
        ir::Operand value;
        Typeref to;
        std::optional<utils::Error> expected;
    };
    const std::vector<Case> cases = {
        {"an undefined value", {}, reg(0), f.i8, utils::Error::UndefinedName{ir::Name{0}}},
        {"a constant value", {}, fp_imm(FType::Fp64, 15, 1), f.fp32, std::nullopt},
        {"an undef value", {}, undef(f.fp64), f.fp32, std::nullopt},
        {"a value of a type the registry lacks",
         {f.missing},
         reg(0),
         f.i8,
         type_mismatch("%1: i8 = cast %0", "T", unknown)},
        {"a destination the registry lacks",
         {f.i32},
         reg(0),
         f.missing,
         type_mismatch("%1: " + unknown + " = cast %0", "T", "i32")},
        {"a wildcard value",
         {wildcard(2)},
         reg(0),
         f.i8,
         type_mismatch("%1: i8 = cast %0", "T", "C")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(outcome(f.check(c.params, {cast(1, c.to, c.value, CastVariant::FpTrunc)})),
                  outcome(c.expected));
    }
}

}  // namespace
