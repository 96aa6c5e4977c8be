#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "kdinstr/consts/big_decimal.hpp"

using kdinstr::consts::BigDecimal;

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

BigDecimal dec(const char* unscaled, std::int64_t scale) {
    return BigDecimal(mpz_class(unscaled), scale);
}

}  // namespace

TEST(BigDecimal, StandardText) {
    struct Case {
        BigDecimal value;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {dec("15", 1), "1.5"},
        {dec("10", 1), "1.0"},
        {dec("150", 2), "1.50"},
        {dec("-15", 1), "-1.5"},
        {dec("123", 0), "123"},
        {dec("123", 3), "0.123"},
        {dec("-25", -2), "-2500"},
        {dec("0", 0), "0"},
        {dec("0", 7), "0"},
        {dec("0", -20), "0"},
        {dec("0", kMin), "0"},
        // Up to five leading zeros stay positional, a sixth switches to exponent form.
        {dec("1", 6), "0.000001"},
        {dec("12", 7), "0.0000012"},
        {dec("1", 7), "1E-7"},
        {dec("-1", 7), "-1E-7"},
        {dec("12", 8), "1.2E-7"},
        {dec("12345", 20), "1.2345E-16"},
        // Up to fifteen trailing zeros stay positional, a sixteenth switches to exponent form.
        {dec("1", -15), "1000000000000000"},
        {dec("1", -16), "1e+16"},
        {dec("-25", -16), "-25e+16"},
        {dec("18446744073709551616", 0), "18446744073709551616"},
        {dec("18446744073709551616", 10), "1844674407.3709551616"},
        // The extremes of the scale: exponents beyond 64 bits.
        {dec("1", kMax), "1E-9223372036854775807"},
        {dec("12", kMax), "1.2E-9223372036854775806"},
        {dec("1", kMin), "1e+9223372036854775808"},
        {dec("-7", kMin), "-7e+9223372036854775808"},
        {dec("1", kMin + 1), "1e+9223372036854775807"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.to_string(), c.expected) << c.expected;
        EXPECT_EQ(fmt::format("{}", c.value), c.expected);
    }
}

TEST(BigDecimal, NumericEqualityIgnoresScale) {
    struct Case {
        BigDecimal a, b;
        bool equal;
    };
    const std::vector<Case> cases = {
        {dec("15", 1), dec("150", 2), true},      {dec("15", 1), dec("16", 1), false},
        {dec("15", 1), dec("-15", 1), false},     {dec("0", 3), dec("0", -2), true},
        {dec("0", 0), dec("1", kMax), false},     {dec("1", kMin), dec("10", kMin + 1), true},
        {dec("1", kMax), dec("10", kMax), false}, {dec("25", -2), dec("2500", 0), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.a.debug() << " vs " << c.b.debug();
        EXPECT_EQ(c.b == c.a, c.equal);
    }
    EXPECT_FALSE(dec("15", 1).same_representation(dec("150", 2)));
    EXPECT_TRUE(dec("15", 1).same_representation(dec("15", 1)));
}

TEST(BigDecimal, DebugText) {
    EXPECT_EQ(dec("15", 1).debug(), "BigDecimal(sign=Plus, scale=1, digits=[15])");
    EXPECT_EQ(dec("0", 2).debug(), "BigDecimal(sign=NoSign, scale=2, digits=[])");
    EXPECT_EQ(dec("-18446744073709551617", -3).debug(),
              "BigDecimal(sign=Minus, scale=-3, digits=[1, 1])");
    EXPECT_EQ(dec("1", kMin).debug(),
              "BigDecimal(sign=Plus, scale=-9223372036854775808, digits=[1])");
}

#include "kdinstr/consts/any_const.hpp"

using kdinstr::consts::AnyConst;
using kdinstr::consts::FConst;
using kdinstr::consts::IConst;
using kdinstr::modules::FunctionPointer;
using kdinstr::modules::FunctionPointerKind;
using kdinstr::types::primary::FType;
using kdinstr::types::primary::IType;

namespace {

kdinstr::utils::Uuid uuid_of(std::uint8_t first, std::uint8_t last) {
    kdinstr::utils::Uuid u;
    u.bytes[0] = first;
    u.bytes[15] = last;
    return u;
}

}  // namespace

TEST(IConst, FromU64KeepsTheUnsignedValue) {
    struct Case {
        std::uint64_t input;
        std::string text;
    };
    const std::vector<Case> cases = {
        {0, "i64 0"},
        {1, "i64 1"},
        {9223372036854775808ull, "i64 9223372036854775808"},
        {18446744073709551615ull, "i64 18446744073709551615"},
    };
    for (const auto& c : cases) {
        const IConst k = IConst::from_u64(c.input);
        EXPECT_EQ(k.ty.num_bits, 64u);
        EXPECT_EQ(k.to_string(), c.text);
    }
    EXPECT_GT(sgn(IConst::from_u64(18446744073709551615ull).value), 0);
}

TEST(IConst, TextAndDebugForms) {
    // The value is not reduced to the width.
    const IConst big(IType{8}, mpz_class("-340282366920938463463374607431768211456"));
    EXPECT_EQ(big.to_string(), "i8 -340282366920938463463374607431768211456");
    const IConst k(IType{32}, mpz_class(-7));
    EXPECT_EQ(k.to_string(), "i32 -7");
    EXPECT_EQ(fmt::format("{}", k), "i32 -7");
    EXPECT_EQ(k.debug(), "IConst { ty: IType { num_bits: 32 }, value: -7 }");
    EXPECT_EQ(k, IConst(IType{32}, mpz_class(-7)));
    EXPECT_NE(k, IConst(IType{64}, mpz_class(-7)));
}

TEST(FConst, TextAndDebugForms) {
    struct Case {
        FConst value;
        std::string text;
        std::string debug;
    };
    const std::vector<Case> cases = {
        {FConst(FType::Fp32, dec("15", 1)), "fp32 1.5",
         "FConst { ty: Fp32, value: BigDecimal(sign=Plus, scale=1, digits=[15]) }"},
        {FConst(FType::X86Fp80, dec("10", 1)), "x86_fp80 1.0",
         "FConst { ty: X86Fp80, value: BigDecimal(sign=Plus, scale=1, digits=[10]) }"},
        {FConst(FType::PPCFp128, dec("-1", 7)), "ppc_fp128 -1E-7",
         "FConst { ty: PPCFp128, value: BigDecimal(sign=Minus, scale=7, digits=[1]) }"},
        {FConst(FType::Bf16, dec("3", -2)), "bf16 300",
         "FConst { ty: Bf16, value: BigDecimal(sign=Plus, scale=-2, digits=[3]) }"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.to_string(), c.text);
        EXPECT_EQ(c.value.debug(), c.debug);
    }
    EXPECT_EQ(FConst(FType::Fp64, dec("15", 1)), FConst(FType::Fp64, dec("150", 2)));
    EXPECT_NE(FConst(FType::Fp64, dec("15", 1)), FConst(FType::Fp32, dec("15", 1)));
}

TEST(FunctionPointer, KindsAndDebugForm) {
    const auto internal = FunctionPointer::internal(uuid_of(0xab, 0x01));
    const auto external = FunctionPointer::external(uuid_of(0xab, 0x01));
    EXPECT_EQ(internal.kind(), FunctionPointerKind::Internal);
    EXPECT_EQ(external.kind(), FunctionPointerKind::External);
    EXPECT_EQ(internal.uuid(), external.uuid());
    EXPECT_NE(internal, external);
    EXPECT_EQ(to_string(internal.kind()), "internal");
    EXPECT_EQ(fmt::format("{}", external.kind()), "external");
    EXPECT_EQ(internal.debug(), "Internal(ab000000-0000-0000-0000-000000000001)");
    EXPECT_EQ(external.debug(), "External(ab000000-0000-0000-0000-000000000001)");
}

TEST(AnyConst, VariantsAccessAndDebugForm) {
    const AnyConst i = IConst(IType{1}, mpz_class(1));
    const AnyConst f = FConst(FType::Fp16, dec("5", 1));
    const AnyConst p = FunctionPointer::external(uuid_of(0, 2));
    EXPECT_EQ(i.variant().index(), 0u);
    EXPECT_EQ(f.variant().index(), 1u);
    EXPECT_EQ(p.variant().index(), 2u);
    EXPECT_EQ(i.kind(), AnyConst::Kind::Int);
    EXPECT_EQ(f.kind(), AnyConst::Kind::Float);
    EXPECT_EQ(p.kind(), AnyConst::Kind::FuncPtr);
    ASSERT_NE(i.as_int(), nullptr);
    EXPECT_EQ(i.as_float(), nullptr);
    EXPECT_EQ(p.as_func_ptr()->kind(), FunctionPointerKind::External);

    EXPECT_EQ(i.debug(), "Int(IConst { ty: IType { num_bits: 1 }, value: 1 })");
    EXPECT_EQ(f.debug(),
              "Float(FConst { ty: Fp16, value: BigDecimal(sign=Plus, scale=1, digits=[5]) })");
    EXPECT_EQ(p.debug(), "FuncPtr(External(00000000-0000-0000-0000-000000000002))");

    // Plain values: a copy is independent of its source.
    AnyConst copy = i;
    copy.as_int()->value += 1;
    EXPECT_EQ(i.as_int()->value, 1);
    EXPECT_NE(copy, i);
}
