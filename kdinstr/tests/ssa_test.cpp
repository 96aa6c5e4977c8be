#include "kdinstr/modules/ssa.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kdinstr/modules/name_table.hpp"
#include "kdinstr/modules/verify.hpp"
#include "kdinstr/tests/ir_builder.hpp"

namespace {

using namespace kdinstr::tests;
using kdinstr::modules::Function;

struct Case {
    const char* what;
    Function before;
    Function after;
};

TEST(NormalizeSsa, Renumbering) {
    const Case cases[] = {
        {"parameters first, then destinations in block order; uses follow their definitions",
         FunctionBuilder()
             .param(5, ty(1))
             .param(8, ty(2))
             .block(0, {iadd(2, ty(1), reg(9), reg(5))}, jump(1))
             .block(1, {iadd(9, ty(1), reg(8), reg(2))}, ret(reg(9)))
             .build(),
         FunctionBuilder()
             .param(0, ty(1))
             .param(1, ty(2))
             .block(0, {iadd(2, ty(1), reg(3), reg(0))}, jump(1))
             .block(1, {iadd(3, ty(1), reg(1), reg(2))}, ret(reg(3)))
             .build()},
        {"a name defined twice: two numbers, every use takes the later one",
         FunctionBuilder()
             .block(0, {iadd(4, ty(1), imm_int(1), imm_int(2))}, jump(1))
             .block(1, {store(reg(4), reg(4))}, jump(2))
             .block(2, {iadd(4, ty(1), reg(4), imm_int(3))}, branch(reg(4), 0, 1))
             .build(),
         FunctionBuilder()
             .block(0, {iadd(0, ty(1), imm_int(1), imm_int(2))}, jump(1))
             .block(1, {store(reg(1), reg(1))}, jump(2))
             .block(2, {iadd(1, ty(1), reg(1), imm_int(3))}, branch(reg(1), 0, 1))
             .build()},
        {"a destination shadows a parameter of the same name",
         FunctionBuilder()
             .param(3, ty(1))
             .block(0, {iadd(3, ty(1), reg(3), reg(3))}, ret(reg(3)))
             .build(),
         FunctionBuilder()
             .param(0, ty(1))
             .block(0, {iadd(1, ty(1), reg(1), reg(1))}, ret(reg(1)))
             .build()},
        {"instructions without destination take no number; labels, types and constants stay",
         FunctionBuilder()
             .param(7, ty(1))
             .block(0,
                    {store(reg(7), undef(ty(3))), invoke(internal_fn(uuid(1)), {reg(7)}),
                     invoke(20, ty(2), internal_fn(uuid(1))),
                     phi(30, ty(1), {{reg(20), 6}, {imm_int(5), 0}})},
                    branch(reg(30), 6, 0))
             .block(6, {select(40, ty(1), reg(30), reg(20), reg(7))}, ret())
             .build(),
         FunctionBuilder()
             .param(0, ty(1))
             .block(0,
                    {store(reg(0), undef(ty(3))), invoke(internal_fn(uuid(1)), {reg(0)}),
                     invoke(1, ty(2), internal_fn(uuid(1))),
                     phi(2, ty(1), {{reg(1), 6}, {imm_int(5), 0}})},
                    branch(reg(2), 6, 0))
             .block(6, {select(3, ty(1), reg(2), reg(1), reg(0))}, ret())
             .build()},
        {"empty body, no parameters", FunctionBuilder().build(), FunctionBuilder().build()},
    };
    for (const Case& c : cases) {
        Function f = c.before;
        const auto r = kdinstr::modules::normalize_ssa(f);
        ASSERT_TRUE(r.has_value()) << c.what << ": " << r.error().message();
        EXPECT_EQ(f, c.after) << c.what;
    }
}

TEST(NormalizeSsa, RenumberedDuplicatePassesSingleDefinition) {
    Function f =
        FunctionBuilder()
            .block(0, {iadd(4, ty(1), imm_int(1), imm_int(2)), iadd(4, ty(1), reg(4), reg(4))},
                   ret(reg(4)))
            .build();
    EXPECT_FALSE(kdinstr::modules::verify(f).has_value());
    ASSERT_TRUE(kdinstr::modules::normalize_ssa(f).has_value());
    EXPECT_TRUE(kdinstr::modules::verify(f).has_value());
}

TEST(NormalizeSsa, UndefinedNameCarriesTheOldNumber) {
    struct {
        const char* what;
        Function function;
        std::string expected;
    } cases[] = {
        {"instruction operand",
         FunctionBuilder()
             .param(4, ty(1))
             .block(0, {iadd(5, ty(1), reg(4), reg(12))}, ret())
             .build(),
         "A operand refers to an undefined name: `%12`. This name was never defined in the "
         "module."},
        {"branch condition", FunctionBuilder().block(0, {}, branch(reg(13), 0, 0)).build(),
         "A operand refers to an undefined name: `%13`. This name was never defined in the "
         "module."},
        {"returned value, after an earlier block's instructions",
         FunctionBuilder()
             .block(0, {}, jump(1))
             .block(1, {store(reg(2), reg(2))}, ret(reg(14)))
             .block(2, {iadd(2, ty(1), imm_int(0), imm_int(0))}, ret())
             .build(),
         "A operand refers to an undefined name: `%14`. This name was never defined in the "
         "module."},
        {"first undefined in walk order",
         FunctionBuilder().block(0, {iadd(1, ty(1), reg(15), reg(16))}, ret(reg(17))).build(),
         "A operand refers to an undefined name: `%15`. This name was never defined in the "
         "module."},
    };
    for (auto& c : cases) {
        const auto r = kdinstr::modules::normalize_ssa(c.function);
        ASSERT_FALSE(r.has_value()) << c.what;
        EXPECT_EQ(r.error().message(), c.expected) << c.what;
    }
}

TEST(NameTable, InsertAssignFind) {
    using kdinstr::modules::NameTable;
    // Spread keys, including 0 and the largest, well past the first size.
    std::vector<std::uint32_t> spread{0, UINT32_MAX, 7};
    for (std::uint32_t i = 1; i < 1000; ++i) spread.push_back(i * 2654435761u);
    std::vector<std::uint32_t> dense;
    for (std::uint32_t i = 0; i < 1000; ++i) dense.push_back(999 - i);
    struct {
        const char* what;
        NameTable table;
        std::vector<std::uint32_t> keys;
        bool dense_before, dense_after;
    } cases[] = {
        {"dense keys index an array", NameTable(1000, 999), dense, true, true},
        {"spread keys in a hash table that grows", NameTable(1, UINT32_MAX), spread, false, false},
        {"a key beyond the hinted range moves to a hash table", NameTable(1000, 999),
         [&] {
             auto k = dense;
             k.push_back(5000000);
             return k;
         }(),
         true, false},
    };
    for (auto& c : cases) {
        NameTable& t = c.table;
        EXPECT_EQ(t.is_dense(), c.dense_before) << c.what;
        for (std::size_t i = 0; i < c.keys.size(); ++i)
            EXPECT_TRUE(t.insert(c.keys[i], static_cast<std::uint32_t>(i))) << c.what;
        EXPECT_EQ(t.is_dense(), c.dense_after) << c.what;
        EXPECT_FALSE(t.insert(c.keys[1], 4321)) << c.what;
        t.assign(7, 1234);
        for (std::size_t i = 0; i < c.keys.size(); ++i)
            EXPECT_EQ(t.find(c.keys[i]), c.keys[i] == 7 ? 1234u : static_cast<std::uint32_t>(i))
                << c.what << " " << c.keys[i];
        EXPECT_FALSE(t.contains(3000000)) << c.what;
        EXPECT_EQ(t.find(UINT32_MAX - 1), std::nullopt) << c.what;
    }
}

}  // namespace
