#include "kdinstr/modules/operand.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kdinstr::consts::AnyConst;
using kdinstr::consts::IConst;
using kdinstr::modules::FunctionPointer;
using kdinstr::modules::Name;
using kdinstr::modules::Operand;
using kdinstr::types::Typeref;
using kdinstr::types::primary::IType;

TEST(Operand, DebugForms) {
    struct Case {
        Operand operand;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {Operand::reg(Name{3}), "Reg(%3)"},
        {Operand::imm(IConst(IType{32}, mpz_class(-4))),
         "Imm(Int(IConst { ty: IType { num_bits: 32 }, value: -4 }))"},
        {Operand::imm(FunctionPointer::internal(kdinstr::utils::Uuid{})),
         "Imm(FuncPtr(Internal(00000000-0000-0000-0000-000000000000)))"},
        {Operand::undef(Typeref::wildcard(1)),
         "Undef(Typeref(ffffffff-ffff-8fff-bfff-ffffffff0100))"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.operand.debug(), c.expected);
}

TEST(Operand, AccessorsMatchTheVariant) {
    Operand reg = Name{7};
    Operand imm = AnyConst(IConst::from_u64(9));
    Operand undef = Typeref::wildcard(0);

    EXPECT_EQ(reg.kind(), Operand::Kind::Reg);
    EXPECT_EQ(imm.kind(), Operand::Kind::Imm);
    EXPECT_EQ(undef.kind(), Operand::Kind::Undef);
    EXPECT_EQ(reg.variant().index(), 0u);
    EXPECT_EQ(imm.variant().index(), 1u);
    EXPECT_EQ(undef.variant().index(), 2u);

    EXPECT_TRUE(reg.is_reg() && !reg.is_imm() && !reg.is_undef());
    ASSERT_NE(reg.as_reg(), nullptr);
    EXPECT_EQ(*reg.as_reg(), Name{7});
    EXPECT_EQ(reg.as_imm(), nullptr);
    EXPECT_EQ(reg.as_undef(), nullptr);
    ASSERT_NE(imm.as_imm(), nullptr);
    EXPECT_EQ(imm.as_imm()->as_int()->to_string(), "i64 9");
    ASSERT_NE(undef.as_undef(), nullptr);
    EXPECT_EQ(*undef.as_undef(), Typeref::wildcard(0));

    // Renaming in place through the mutable accessor.
    *reg.as_reg() = Name{8};
    EXPECT_EQ(reg, Operand(Name{8}));
    EXPECT_EQ(Operand(), Operand(Name{0}));
    EXPECT_NE(Operand(Name{0}), Operand(Typeref::wildcard(0)));
}
