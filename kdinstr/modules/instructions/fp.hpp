#pragma once
// Floating-point arithmetic and comparison.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/modules/instructions/qualifiers.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::modules::instructions {

using types::Typeref;

struct FAdd {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const FAdd&) const = default;
    std::string debug() const;
};

struct FSub {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const FSub&) const = default;
    std::string debug() const;
};

struct FMul {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const FMul&) const = default;
    std::string debug() const;
};

struct FDiv {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const FDiv&) const = default;
    std::string debug() const;
};

struct FRem {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const FRem&) const = default;
    std::string debug() const;
};

struct FCmp {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;
    FCmpVariant variant;

    bool operator==(const FCmp&) const = default;
    std::string debug() const;
};

struct FNeg {
    Name dest;
    Typeref ty;
    Operand value;

    bool operator==(const FNeg&) const = default;
    std::string debug() const;
};

}  // namespace kdinstr::modules::instructions
