#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/encoding/bigint_bytes.hpp"
#include "kdinstr/tests/codec_test_support.hpp"

namespace kdinstr::tests::codec {
namespace {

using consts::BigDecimal;
using consts::FConst;
using consts::IConst;
using types::primary::FType;
using types::primary::IType;

// 0, +-2^k and +-2^k +- 1 for k up to 72: every byte count of the inline form and the first
// values past it, with the negative powers of two that need no sign byte.
std::vector<mpz_class> sweep() {
    std::vector<mpz_class> out{0};
    for (unsigned k = 0; k <= 72; ++k) {
        mpz_class p;
        mpz_ui_pow_ui(p.get_mpz_t(), 2, k);
        for (const mpz_class& v : {mpz_class(p - 1), p, mpz_class(p + 1)}) {
            out.push_back(v);
            out.push_back(-v);
        }
    }
    return out;
}

Bytes general_bytes(const mpz_class& value) {
    const auto bytes = encoding::bigint_to_signed_bytes_le(value);
    const auto n = static_cast<std::uint32_t>(bytes.size());
    return cat({{static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                 static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)},
                Bytes(bytes.begin(), bytes.end())});
}

TEST(ConstCodec, IntegerAndDecimalBytesAreThoseOfTheGeneralConversion) {
    for (const mpz_class& v : sweep()) {
        SCOPED_TRACE(v.get_str());
        const IConst k(IType{64}, v);
        const Bytes expected = cat({{64, 0, 0, 0}, general_bytes(v)});
        EXPECT_EQ(to_bytes(k), expected);
        auto back = from_bytes(expected, encoding::decode_iconst);
        ASSERT_TRUE(back.has_value()) << back.error().message;
        EXPECT_EQ(*back, k);
        EXPECT_EQ(back->value.is_small(), k.value.is_small());

        const FConst f(FType::Fp64, BigDecimal(v, -3));
        const Bytes expected_f = cat({{3}, general_bytes(v), {253, 255, 255, 255, 255, 255, 255, 255}});
        EXPECT_EQ(to_bytes(f), expected_f);
        auto back_f = from_bytes(expected_f, encoding::decode_fconst);
        ASSERT_TRUE(back_f.has_value()) << back_f.error().message;
        EXPECT_TRUE(back_f->value.same_representation(f.value));
    }
}

TEST(ConstCodec, LongOrPaddedFormsDecodeToTheCanonicalValue) {
    struct Case {
        Bytes value_bytes;  // count and bytes of the big integer
        const char* value;
        bool small;
    };
    const std::vector<Case> cases{
        // Nine bytes: still the inline form up to 2^64 - 1, a number of its own from 2^64.
        {{9, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 0}, "18446744073709551615", true},
        {{9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "18446744073709551616", false},
        {{9, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 255}, "-18446744073709551615", true},
        {{9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255}, "-18446744073709551616", false},
        {{9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 128}, "-2361183241434822606848", false},
        // Longer than nine bytes, padded with sign bytes: the value is small all the same.
        {{12, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "7", true},
        {{12, 0, 0, 0, 249, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}, "-7", true},
        {{10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        auto decoded = from_bytes(cat({{8, 0, 0, 0}, c.value_bytes}), encoding::decode_iconst);
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
        EXPECT_EQ(*decoded, IConst(IType{8}, mpz_class(c.value)));
        EXPECT_EQ(decoded->value.is_small(), c.small);
        EXPECT_EQ(to_bytes(*decoded), cat({{8, 0, 0, 0}, general_bytes(mpz_class(c.value))}));
    }
}

}  // namespace
}  // namespace kdinstr::tests::codec
