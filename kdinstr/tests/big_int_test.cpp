#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/consts/big_decimal.hpp"
#include "kdinstr/consts/big_int.hpp"
#include "kdinstr/consts/int_const.hpp"

namespace {

using kdinstr::consts::BigDecimal;
using kdinstr::consts::BigInt;
using kdinstr::consts::IConst;
using kdinstr::types::primary::IType;

// Values on both sides of the inline/heap boundary (magnitude 2^64) and of the 64-bit types.
const std::vector<const char*> kBoundaryValues = {
    "0",
    "1",
    "-1",
    "255",
    "-128",
    "9223372036854775807",
    "9223372036854775808",
    "-9223372036854775808",
    "-9223372036854775809",
    "18446744073709551615",
    "-18446744073709551615",
    "18446744073709551616",
    "-18446744073709551616",
    "18446744073709551617",
    "-36893488147419103232",
    "340282366920938463463374607431768211456",
};

struct Expected {
    bool small;
    std::optional<std::int64_t> i64;
    std::optional<std::uint64_t> u64;
};

Expected expected_of(const mpz_class& v) {
    Expected e{abs(v) < mpz_class("18446744073709551616"), std::nullopt, std::nullopt};
    if (v >= mpz_class("-9223372036854775808") && v <= mpz_class("9223372036854775807"))
        e.i64 = v.get_si();
    if (v >= 0 && v <= mpz_class("18446744073709551615")) e.u64 = v.get_ui();
    return e;
}

TEST(BigInt, AgreesWithTheNumberLibraryAcrossTheBoundary) {
    for (const char* text : kBoundaryValues) {
        SCOPED_TRACE(text);
        const mpz_class reference(text);
        const BigInt v(reference);
        const Expected e = expected_of(reference);
        EXPECT_EQ(v.is_small(), e.small);
        EXPECT_EQ(v.to_string(), text);
        EXPECT_EQ(v.get_str(16), reference.get_str(16));
        EXPECT_EQ(fmt::format("{}", v), text);
        EXPECT_EQ(v.to_mpz(), reference);
        EXPECT_EQ(mpz_class(v), reference);
        EXPECT_EQ(sgn(v), sgn(reference));
        EXPECT_EQ(v.to_i64(), e.i64);
        EXPECT_EQ(v.to_u64(), e.u64);
        EXPECT_EQ(v.fits_slong_p(), reference.fits_slong_p());
        EXPECT_EQ(v.fits_ulong_p(), reference.fits_ulong_p());
        EXPECT_EQ(v.get_si(), reference.get_si());
        EXPECT_EQ(v.get_ui(), reference.get_ui());
        EXPECT_EQ(v.magnitude_string(), mpz_class(abs(reference)).get_str());
        EXPECT_EQ(abs(v), BigInt(mpz_class(abs(reference))));
        EXPECT_EQ(-v, BigInt(mpz_class(-reference)));
        // Copies and moves keep the value; a moved-from value is zero.
        BigInt copy = v;
        EXPECT_EQ(copy, v);
        BigInt moved = std::move(copy);
        EXPECT_EQ(moved, v);
        EXPECT_EQ(copy, 0);  // NOLINT(bugprone-use-after-move): moved-from state is specified
    }
}

TEST(BigInt, OneValueHasOneFormWhereverItComesFrom) {
    const std::uint64_t max_u64 = std::numeric_limits<std::uint64_t>::max();
    const std::int64_t min_i64 = std::numeric_limits<std::int64_t>::min();
    const std::vector<std::pair<BigInt, BigInt>> same = {
        {BigInt(max_u64), BigInt(mpz_class("18446744073709551615"))},
        {BigInt(min_i64), BigInt(mpz_class("-9223372036854775808"))},
        {BigInt::from_magnitude(true, std::uint64_t{1} << 63), BigInt(min_i64)},
        // A value computed past 2^64 and back comes back to the inline form.
        {BigInt(max_u64) + BigInt(1) - BigInt(1), BigInt(max_u64)},
        {BigInt(mpz_class("18446744073709551616")) + BigInt(-1), BigInt(max_u64)},
        // Negative zero is zero.
        {BigInt::from_magnitude(true, std::uint64_t{0}), BigInt(0)},
        {BigInt(mpz_class("-0")), BigInt()},
        {-BigInt(0), BigInt(0)},
        {BigInt(-5) * BigInt(0), BigInt(0)},
    };
    for (const auto& [a, b] : same) {
        SCOPED_TRACE(a.to_string());
        EXPECT_EQ(a, b);
        EXPECT_EQ(a.is_small(), b.is_small());
        EXPECT_EQ(a <=> b, std::strong_ordering::equal);
        EXPECT_EQ(a.to_string(), b.to_string());
    }
    EXPECT_EQ(sgn(BigInt::from_magnitude(true, std::uint64_t{0})), 0);
    EXPECT_EQ(BigInt::from_magnitude(true, std::uint64_t{0}).to_string(), "0");
    EXPECT_EQ(BigDecimal(BigInt::from_magnitude(true, std::uint64_t{0}), 3).debug(),
              "BigDecimal(sign=NoSign, scale=3, digits=[])");
}

TEST(BigInt, OrderAndArithmeticMatchTheNumberLibrary) {
    for (const char* x : kBoundaryValues) {
        for (const char* y : kBoundaryValues) {
            SCOPED_TRACE(std::string(x) + " and " + y);
            const mpz_class a(x), b(y);
            const BigInt u(a), v(b);
            EXPECT_EQ(u == v, a == b);
            EXPECT_EQ(u < v, a < b);
            EXPECT_EQ(u > v, a > b);
            EXPECT_EQ(cmp(u, v), (cmp(a, b) > 0) - (cmp(a, b) < 0));
            EXPECT_EQ(u + v, BigInt(mpz_class(a + b)));
            EXPECT_EQ(u - v, BigInt(mpz_class(a - b)));
            EXPECT_EQ(u * v, BigInt(mpz_class(a * b)));
            EXPECT_EQ((u + v).is_small(), BigInt(mpz_class(a + b)).is_small());
        }
    }
    BigInt counter = std::numeric_limits<std::uint64_t>::max();
    counter += 1;
    EXPECT_FALSE(counter.is_small());
    EXPECT_EQ(counter.to_string(), "18446744073709551616");
    counter -= 1;
    EXPECT_TRUE(counter.is_small());
    EXPECT_GT(counter, std::numeric_limits<std::int64_t>::max());
    EXPECT_LT(BigInt(mpz_class("-18446744073709551616")), std::numeric_limits<std::int64_t>::min());
    EXPECT_GT(cmp(BigInt(4294967296u), 4294967295UL), 0);
    EXPECT_EQ(cmp(BigInt(-1), -1), 0);
}

TEST(IConst, BuiltFromIntegersOrNumbersAlike) {
    EXPECT_EQ(IConst(IType{64}, -7), IConst(IType{64}, mpz_class(-7)));
    EXPECT_EQ(IConst::from_u64(18446744073709551615ull),
              IConst(IType{64}, mpz_class("18446744073709551615")));
    // An expression of the number library is taken as mpz_class takes it.
    EXPECT_EQ(IConst(IType{8}, mpz_class("18446744073709551616") - 1), IConst(IType{8}, ~0ull));
    const IConst big(IType{128}, mpz_class("-18446744073709551616"));
    EXPECT_EQ(big.to_string(), "i128 -18446744073709551616");
    EXPECT_EQ(big.debug(), "IConst { ty: IType { num_bits: 128 }, value: -18446744073709551616 }");
    EXPECT_NE(big, IConst(IType{128}, mpz_class("18446744073709551616")));
}

}  // namespace
