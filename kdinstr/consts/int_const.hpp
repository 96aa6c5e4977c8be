#pragma once
// An integer constant: a width and an arbitrary-precision value, which is not reduced to the
// width.
#include <fmt/format.h>
#include <gmpxx.h>

#include <cstdint>
#include <string>
#include <utility>

#include "kdinstr/consts/big_int.hpp"
#include "kdinstr/types/primary.hpp"

namespace kdinstr::consts {

struct IConst {
    types::primary::IType ty;
    // Holds values of magnitude below 2^64 without an allocation; converts to `mpz_class`.
    BigInt value;

    // `v` may be an `mpz_class` (or an expression of it), a BigInt or any built-in integer.
    IConst(types::primary::IType type, BigInt v) : ty(type), value(std::move(v)) {}
    // An i64 holding `v` unchanged: 2^64 - 1 stays positive.
    static IConst from_u64(std::uint64_t v);

    friend bool operator==(const IConst& a, const IConst& b) {
        return a.ty == b.ty && a.value == b.value;
    }

    // "i32 -7"
    std::string to_string() const;
    // IConst { ty: IType { num_bits: 32 }, value: -7 }
    std::string debug() const;
};

// The decimal text of an arbitrary-precision integer, "-" for negative values.
std::string to_decimal_string(const mpz_class& value);
std::string to_decimal_string(const BigInt& value);

}  // namespace kdinstr::consts

template <>
struct fmt::formatter<kdinstr::consts::IConst> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::consts::IConst& c, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(c.to_string(), ctx);
    }
};
