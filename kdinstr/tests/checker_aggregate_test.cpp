#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "kdinstr/tests/checker_fixture.hpp"

namespace {

using namespace kdinstr;
using namespace kdinstr::tests;
using utils::Error;

ir::KdInstr extract(std::uint32_t dest, Typeref type, ir::Operand aggregate,
                    std::vector<std::uint32_t> indices) {
    return instr::ExtractValue{ir::Name{dest}, type, std::move(aggregate), std::move(indices)};
}
ir::KdInstr insert(std::uint32_t dest, Typeref type, ir::Operand aggregate, ir::Operand value,
                   std::vector<std::uint32_t> indices) {
    return instr::InsertValue{ir::Name{dest}, type, std::move(aggregate), std::move(value),
                              std::move(indices)};
}

struct Case {
    Case(std::string w, std::vector<Typeref> p, ir::KdInstr i,
         std::optional<Error> x = std::nullopt)
        : what(std::move(w)),
          params(std::move(p)),
          instruction(std::move(i)),
          expected(std::move(x)) {}

    std::string what;
    std::vector<Typeref> params;
    ir::KdInstr instruction;
    // None: the function passes.
    std::optional<Error> expected;
};

void run_cases(CheckerFixture& f, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(outcome(f.check(c.params, {c.instruction})), outcome(c.expected));
    }
}

TEST(TypeCheckerAggregate, GetElementPtrOperands) {
    CheckerFixture f;
    const Typeref pair = f.strct({f.i32, f.i64});
    run_cases(
        f,
        {
            {"a result of type i64, before the base is looked at",
             {},
             gep(0, f.i64, pair, reg(9)),
             type_mismatch("%0: i64 = getelementptr {i32, i64}, %9", "ptr", "i64")},
            {"a result of a type the registry lacks",
             {f.ptr},
             gep(1, f.missing, pair, reg(0)),
             type_mismatch("%1: " + f.text(f.missing) + " = getelementptr {i32, i64}, %0", "ptr",
                           f.text(f.missing))},
            {"a base of type i64",
             {f.i64},
             gep(1, f.ptr, pair, reg(0)),
             type_mismatch("%1: ptr = getelementptr {i32, i64}, %0", "ptr", "i64")},
            {"an undefined base",
             {},
             gep(0, f.ptr, pair, reg(4)),
             Error::UndefinedName{ir::Name{4}}},
            {"a register index of type fp32: its text is shown, not its type",
             {f.ptr, f.fp32},
             gep(2, f.ptr, pair, reg(0), {reg(1)}),
             type_mismatch("%2: ptr = getelementptr {i32, i64}, %0, %1", "iN", "%1")},
            {"an undef index of type fp32 shows as the bare word",
             {f.ptr},
             gep(1, f.ptr, pair, reg(0), {int_imm(8, 0), undef(f.fp32)}),
             type_mismatch("%1: ptr = getelementptr {i32, i64}, %0, i8 0, fp32 undef", "iN",
                           "undef")},
            {"a floating-point constant index",
             {f.ptr},
             gep(1, f.ptr, pair, reg(0), {fp_imm(FType::Fp32, 15, 1)}),
             type_mismatch("%1: ptr = getelementptr {i32, i64}, %0, fp32 1.5", "iN", "fp32 1.5")},
            {"an undefined index",
             {f.ptr},
             gep(1, f.ptr, pair, reg(0), {reg(7)}),
             Error::UndefinedName{ir::Name{7}}},
            {"every index is typed before the walk starts",
             {f.ptr, f.ptr},
             gep(2, f.ptr, pair, reg(0), {int_imm(64, 0), int_imm(32, 9), reg(1)}),
             type_mismatch("%2: ptr = getelementptr {i32, i64}, %0, i64 0, i32 9, %1", "iN", "%1")},
            {"one index never looks at the indexed type",
             {f.ptr},
             gep(1, f.ptr, f.missing, reg(0), {int_imm(64, 3)})},
            {"no index", {f.ptr}, gep(1, f.ptr, f.i32, reg(0))},
        });
}

TEST(TypeCheckerAggregate, GetElementPtrWalk) {
    CheckerFixture f;
    const Typeref pair = f.strct({f.i32, f.i64});
    const Typeref array4 = f.array(pair, 4);
    const Typeref v4i32 = f.vec(IType{32}, 4);
    const Typeref sv4i8 = f.svec(IType{8}, 4);
    const std::string head = "%2: ptr = getelementptr ";
    const auto walk = [&](Typeref in, std::vector<ir::Operand> indices) {
        return gep(2, f.ptr, in, reg(0), std::move(indices));
    };
    run_cases(
        f, {
               {"field 1 of a pair", {f.ptr, f.i64}, walk(pair, {reg(1), int_imm(32, 1)})},
               {"field 0 of a pair", {f.ptr, f.i64}, walk(pair, {reg(1), int_imm(8, 0)})},
               {"field 2 of a pair",
                {f.ptr, f.i64},
                walk(pair, {reg(1), int_imm(32, 2)}),
                out_of_bounds(2, "{i32, i64}", 2, head + "{i32, i64}, %0, %1, i32 2")},
               {"a struct field by register",
                {f.ptr, f.i32},
                gep(2, f.ptr, pair, reg(0), {reg(1), reg(1)}),
                type_mismatch("%2: ptr = getelementptr {i32, i64}, %0, %1, %1", "constant integer",
                              "%1")},
               {"a negative struct field",
                {f.ptr, f.i64},
                walk(pair, {reg(1), int_imm(32, -1)}),
                type_mismatch(head + "{i32, i64}, %0, %1, i32 -1", "constant integer", "i32 -1")},
               {"a struct field past 32 bits",
                {f.ptr, f.i64},
                walk(pair, {reg(1), int_imm(64, 4294967296)}),
                type_mismatch(head + "{i32, i64}, %0, %1, i64 4294967296", "constant integer",
                              "i64 4294967296")},
               {"the largest 32-bit struct field is an index, out of bounds",
                {f.ptr, f.i64},
                walk(pair, {reg(1), int_imm(64, 4294967295)}),
                out_of_bounds(4294967295, "{i32, i64}", 2,
                              head + "{i32, i64}, %0, %1, i64 4294967295")},
               {"array indices are not bounded",
                {f.ptr, f.i64},
                walk(array4, {reg(1), int_imm(32, 10)})},
               {"an array by register, then a field",
                {f.ptr, f.i64},
                walk(array4, {reg(1), reg(1), int_imm(32, 1)})},
               {"an array element's field out of bounds",
                {f.ptr, f.i64},
                walk(array4, {reg(1), reg(1), int_imm(32, 5)}),
                out_of_bounds(5, "{i32, i64}", 2, head + "[ 4 x {i32, i64} ], %0, %1, %1, i32 5")},
               {"scalable vectors are walked too",
                {f.ptr, f.i64},
                walk(sv4i8, {reg(1), int_imm(32, 99)})},
               {"past a vector element",
                {f.ptr, f.i64},
                walk(v4i32, {reg(1), int_imm(32, 1), int_imm(32, 0)}),
                type_mismatch(head + "<4 x i32>, %0, %1, i32 1, i32 0", "aggregate type", "i32")},
               {"into a scalar",
                {f.ptr, f.i64},
                walk(f.i32, {reg(1), int_imm(32, 0)}),
                type_mismatch(head + "i32, %0, %1, i32 0", "aggregate type", "i32")},
               {"into a type the registry lacks",
                {f.ptr, f.i64},
                walk(f.missing, {reg(1), int_imm(32, 0)}),
                type_mismatch(head + f.text(f.missing) + ", %0, %1, i32 0", "aggregate type",
                              f.text(f.missing))},
           });
}

TEST(TypeCheckerAggregate, ExtractValue) {
    CheckerFixture f;
    const Typeref mixed = f.strct({f.i32, f.fp64});
    const Typeref v4i8 = f.vec(IType{8}, 4);
    const Typeref sv4i8 = f.svec(IType{8}, 4);
    const Typeref a3i16 = f.array(f.i16, 3);
    const Typeref inner = f.strct({f.i8, f.ptr});
    const Typeref nested = f.strct({f.i32, f.array(inner, 2)});
    run_cases(
        f,
        {
            {"field 1", {mixed}, extract(1, f.fp64, reg(0), {1})},
            {"field 1 into the wrong type",
             {mixed},
             extract(1, f.i32, reg(0), {1}),
             type_mismatch("%1: i32 = extractvalue %0, i32 1", "fp64", "i32")},
            {"field 5 of two",
             {mixed},
             extract(1, f.fp64, reg(0), {5}),
             out_of_bounds(5, "{i32, fp64}", 2, "%1: fp64 = extractvalue %0, i32 5")},
            {"the last lane of a fixed vector", {v4i8}, extract(1, f.i8, reg(0), {3})},
            {"a lane past a fixed vector",
             {v4i8},
             extract(1, f.i8, reg(0), {4}),
             out_of_bounds(4, "<4 x i8>", 4, "%1: i8 = extractvalue %0, i32 4")},
            {"a lane of a scalable vector",
             {sv4i8},
             extract(1, f.i8, reg(0), {0}),
             type_mismatch("%1: i8 = extractvalue %0, i32 0", "aggregate type", "<vscale 4 x i8>")},
            {"from a scalar",
             {f.i32},
             extract(1, f.i32, reg(0), {0}),
             type_mismatch("%1: i32 = extractvalue %0, i32 0", "aggregate type", "i32")},
            {"the last array element", {a3i16}, extract(1, f.i16, reg(0), {2})},
            {"past an array",
             {a3i16},
             extract(1, f.i16, reg(0), {3}),
             out_of_bounds(3, "[ 3 x i16 ]", 3, "%1: i16 = extractvalue %0, i32 3")},
            {"through a struct, an array and a struct",
             {nested},
             extract(1, f.ptr, reg(0), {1, 1, 1})},
            {"the walk stops at the first index out of bounds",
             {nested},
             extract(1, f.ptr, reg(0), {1, 2, 9}),
             out_of_bounds(2, "[ 2 x {i8, ptr} ]", 2,
                           "%1: ptr = extractvalue %0, i32 1, i32 2, i32 9")},
            {"no index: the aggregate itself", {mixed}, extract(1, mixed, reg(0), {})},
            {"no index, another type",
             {mixed},
             extract(1, f.i32, reg(0), {}),
             type_mismatch("%1: i32 = extractvalue %0", "{i32, fp64}", "i32")},
            {"an undefined aggregate",
             {},
             extract(0, f.i32, reg(3), {0}),
             Error::UndefinedName{ir::Name{3}}},
            {"an undef aggregate", {}, extract(0, f.i32, undef(mixed), {0})},
        });
}

TEST(TypeCheckerAggregate, InsertValue) {
    CheckerFixture f;
    const Typeref two = f.strct({f.i32, f.i32});
    const Typeref other = f.strct({f.i64, f.i64});
    const Typeref v4i8 = f.vec(IType{8}, 4);
    run_cases(
        f,
        {
            {"an i32 into field 1", {two, f.i32}, insert(2, two, reg(0), reg(1), {1})},
            {"an i64 into an i32 field",
             {two, f.i64},
             insert(2, two, reg(0), reg(1), {0}),
             type_mismatch("%2: {i32, i32} = insertvalue %0, %1, i32 0", "i32", "i64")},
            {"an aggregate of another type, before any index is used",
             {other, f.i32},
             insert(2, two, reg(0), reg(1), {7}),
             type_mismatch("%2: {i32, i32} = insertvalue %0, %1, i32 7", "{i32, i32}",
                           "{i64, i64}")},
            {"the value is computed before the aggregate is compared",
             {other},
             insert(1, two, reg(0), reg(9), {0}),
             Error::UndefinedName{ir::Name{9}}},
            {"field 2 of two",
             {two, f.i32},
             insert(2, two, reg(0), reg(1), {2}),
             out_of_bounds(2, "{i32, i32}", 2, "%2: {i32, i32} = insertvalue %0, %1, i32 2")},
            {"a constant lane into a vector", {v4i8}, insert(1, v4i8, reg(0), int_imm(8, 1), {3})},
            {"no index: the whole value", {two, two}, insert(2, two, reg(0), reg(1), {})},
            {"no index, a value of another type",
             {two, f.i32},
             insert(2, two, reg(0), reg(1), {}),
             type_mismatch("%2: {i32, i32} = insertvalue %0, %1", "{i32, i32}", "i32")},
        });
}

TEST(TypeCheckerAggregate, VectorElementsAreInternedOnDemand) {
    CheckerFixture f;
    const Typeref v4i24 = f.vec(IType{24}, 4);
    const Typeref sv2i40 = f.svec(IType{40}, 2);
    const std::size_t before = f.registry.len();
    // The element type is not held yet: the destination names a type the registry lacks, so
    // the comparison fails, and the lane type is stored all the same.
    const auto result = f.check({v4i24}, {extract(1, f.missing, reg(0), {2})});
    EXPECT_EQ(outcome(result),
              outcome(type_mismatch("%1: " + f.text(f.missing) + " = extractvalue %0, i32 2", "i24",
                                    f.text(f.missing))));
    EXPECT_EQ(f.registry.len(), before + 1);
    EXPECT_EQ(f.text(f.intern(IType{24})), "i24");
    EXPECT_EQ(f.registry.len(), before + 1);

    EXPECT_TRUE(f.check({f.ptr}, {gep(1, f.ptr, sv2i40, reg(0), {int_imm(8, 0), int_imm(8, 1)})}));
    EXPECT_EQ(f.registry.len(), before + 2);
    EXPECT_EQ(f.text(f.intern(IType{40})), "i40");
    EXPECT_EQ(f.registry.len(), before + 2);
}

}  // namespace
