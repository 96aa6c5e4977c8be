#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/tests/codec_test_support.hpp"

namespace kdinstr::tests::codec {
namespace {

using consts::AnyConst;
using consts::BigDecimal;
using consts::FConst;
using consts::IConst;
using types::primary::FType;
using types::primary::IType;

ir::Operand imm_i32(const char* value) { return imm_big(value, 32); }

TEST(OperandCodec, EveryKindHasItsBytes) {
    struct Case {
        ir::Operand operand;
        Bytes bytes;
    };
    const std::vector<Case> cases{
        {reg(5), {0, 5, 0, 0, 0}},
        {reg(4294967295u), {0, 255, 255, 255, 255}},
        // Operand tag, constant tag, width 32, byte count 1, the byte 05.
        {imm_i32("5"), {1, 0, 32, 0, 0, 0, 1, 0, 0, 0, 5}},
        {imm_i32("0"), {1, 0, 32, 0, 0, 0, 1, 0, 0, 0, 0}},
        {imm_i32("1"), {1, 0, 32, 0, 0, 0, 1, 0, 0, 0, 1}},
        {imm_i32("255"), {1, 0, 32, 0, 0, 0, 2, 0, 0, 0, 255, 0}},
        {imm_i32("-1"), {1, 0, 32, 0, 0, 0, 1, 0, 0, 0, 255}},
        {imm_i32("-128"), {1, 0, 32, 0, 0, 0, 1, 0, 0, 0, 128}},
        {imm_i32("-129"), {1, 0, 32, 0, 0, 0, 2, 0, 0, 0, 127, 255}},
        {imm_i32("-32768"), {1, 0, 32, 0, 0, 0, 2, 0, 0, 0, 0, 128}},
        {imm_i32("18446744073709551616"),
         {1, 0, 32, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        // Format byte, then the unscaled value and the i64 scale.
        {ir::Operand(AnyConst(FConst(FType::Fp32, BigDecimal(mpz_class(15), 1)))),
         {1, 1, 2, 1, 0, 0, 0, 15, 1, 0, 0, 0, 0, 0, 0, 0}},
        {ir::Operand(AnyConst(FConst(FType::Fp64, BigDecimal(mpz_class(-25), -3)))),
         {1, 1, 3, 1, 0, 0, 0, 231, 253, 255, 255, 255, 255, 255, 255, 255}},
        {internal_fn(uuid(3)), cat({{1, 2, 0}, bytes_of(uuid(3))})},
        {external_fn(uuid(3)), cat({{1, 2, 1}, bytes_of(uuid(3))})},
        {undef(ty(1)), cat({{2}, bytes_of(ty(1))})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operand.debug());
        EXPECT_EQ(to_bytes(c.operand), c.bytes);
        auto decoded = from_bytes(c.bytes, encoding::decode_operand);
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
        EXPECT_EQ(*decoded, c.operand);
    }
}

TEST(OperandCodec, NonMinimalBigIntegersDecodeToTheirValue) {
    struct Case {
        Bytes value_bytes;  // count and bytes of the big integer
        const char* value;
    };
    const std::vector<Case> cases{
        {{0, 0, 0, 0}, "0"},
        {{2, 0, 0, 0, 5, 0}, "5"},
        {{3, 0, 0, 0, 5, 0, 0}, "5"},
        {{2, 0, 0, 0, 255, 255}, "-1"},
        {{4, 0, 0, 0, 128, 255, 255, 255}, "-128"},
        {{2, 0, 0, 0, 0, 0}, "0"},
    };
    for (const auto& c : cases) {
        const Bytes bytes = cat({{1, 0, 32, 0, 0, 0}, c.value_bytes});
        auto decoded = from_bytes(bytes, encoding::decode_operand);
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
        EXPECT_EQ(*decoded, imm_i32(c.value)) << c.value;
        // The encoder always writes the minimal form.
        EXPECT_EQ(to_bytes(*decoded), to_bytes(imm_i32(c.value)));
    }
}

TEST(OperandCodec, DecimalKeepsItsScale) {
    const FConst one_fifty(FType::Fp32, BigDecimal(mpz_class(150), 2));
    auto decoded = from_bytes(to_bytes(one_fifty), encoding::decode_fconst);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(decoded->value.same_representation(one_fifty.value));
    EXPECT_EQ(decoded->value.to_string(), "1.50");
}

TEST(OperandCodec, MalformedOperandsFailWithTheirMessage) {
    struct Case {
        Bytes bytes;
        std::string message;
    };
    const std::vector<Case> cases{
        {{3}, "Unexpected variant tag: 3"},
        {{1, 3}, "Unexpected variant tag: 3"},
        {{1, 1, 7}, "Unexpected variant tag: 7"},
        {{1, 2, 2}, "Unexpected variant tag: 2"},
        {{}, "Unexpected length of input"},
        {{0, 5, 0, 0}, "Unexpected length of input"},
        {{1, 0, 32, 0, 0, 0, 2, 0, 0, 0, 5}, "Unexpected length of input"},
        {{1, 0, 32, 0, 0, 0, 255, 255, 255, 255, 5}, "Unexpected length of input"},
        {{1, 1, 2, 1, 0, 0, 0, 15, 1, 0, 0}, "Unexpected length of input"},
        {cat({{2}, Bytes(15, 0)}), "Unexpected length of input"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode_error(c.bytes, encoding::decode_operand), c.message);
    }
}

}  // namespace
}  // namespace kdinstr::tests::codec
