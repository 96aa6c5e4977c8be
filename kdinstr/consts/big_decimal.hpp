#pragma once
// An arbitrary-precision decimal: unscaled x 10^-scale. Keeps the digits and the scale it was
// made with (1.5 and 1.50 are two representations of one number).
#include <fmt/format.h>
#include <gmpxx.h>

#include <cstdint>
#include <string>
#include <utility>

#include "kdinstr/consts/big_int.hpp"

namespace kdinstr::consts {

struct BigDecimal {
    // Holds unscaled values of magnitude below 2^64 without an allocation.
    BigInt unscaled;
    // Byte-aligned, like `unscaled`, so that a floating-point constant fits the operand's
    // compact layout. Read and assign it as any int64_t; a non-const reference cannot bind to
    // it (copy it first, e.g. to format it).
    [[gnu::packed]] std::int64_t scale = 0;

    BigDecimal() = default;
    // `unscaled_value` may be an `mpz_class`, a BigInt or any built-in integer.
    BigDecimal(BigInt unscaled_value, std::int64_t scale_value)
        : unscaled(std::move(unscaled_value)), scale(scale_value) {}

    // Numeric equality, whatever the scales: 1.5 == 1.50.
    friend bool operator==(const BigDecimal& a, const BigDecimal& b);
    // Same unscaled value and same scale.
    bool same_representation(const BigDecimal& other) const {
        return scale == other.scale && unscaled == other.unscaled;
    }

    // Standard text: keeps the scale (1.5, 1.0, -2500); exponent form beyond 5 leading zeros
    // (1E-7, 1.2345E-16) and beyond 15 trailing zeros (1e+16). Zero is "0" at any scale.
    std::string to_string() const;
    // BigDecimal(sign=Plus, scale=1, digits=[15]): the sign, the scale and the magnitude's
    // 64-bit limbs, least significant first.
    std::string debug() const;
};

}  // namespace kdinstr::consts

template <>
struct fmt::formatter<kdinstr::consts::BigDecimal> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::consts::BigDecimal& d, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(d.to_string(), ctx);
    }
};
