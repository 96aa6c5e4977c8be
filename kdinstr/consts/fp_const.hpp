#pragma once
// A floating-point constant: a format and an exact decimal, not rounded to the format.
#include <fmt/format.h>

#include <string>
#include <utility>

#include "kdinstr/consts/big_decimal.hpp"
#include "kdinstr/types/primary.hpp"

namespace kdinstr::consts {

struct FConst {
    types::primary::FType ty;
    BigDecimal value;

    FConst(types::primary::FType type, BigDecimal v) : ty(type), value(std::move(v)) {}

    // Numeric equality of the values (1.5 == 1.50), same format.
    friend bool operator==(const FConst& a, const FConst& b) {
        return a.ty == b.ty && a.value == b.value;
    }

    // "fp32 1.5"
    std::string to_string() const;
    // FConst { ty: Fp32, value: <BigDecimal debug> }
    std::string debug() const;
};

}  // namespace kdinstr::consts

template <>
struct fmt::formatter<kdinstr::consts::FConst> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::consts::FConst& c, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(c.to_string(), ctx);
    }
};
