#pragma once
// Integer and boolean arithmetic, comparison and shifts.
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

struct IAdd {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;
    OverflowSignednessPolicy variant;

    bool operator==(const IAdd&) const = default;
    std::string debug() const;
};

struct ISub {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;
    OverflowSignednessPolicy variant;

    bool operator==(const ISub&) const = default;
    std::string debug() const;
};

struct IMul {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;
    OverflowSignednessPolicy variant;

    bool operator==(const IMul&) const = default;
    std::string debug() const;
};

struct IDiv {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;
    IntegerSignedness signedness;

    bool operator==(const IDiv&) const = default;
    std::string debug() const;
};

struct IRem {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;
    IntegerSignedness signedness;

    bool operator==(const IRem&) const = default;
    std::string debug() const;
};

struct ICmp {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;
    ICmpVariant variant;

    bool operator==(const ICmp&) const = default;
    std::string debug() const;
};

struct ISht {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;
    IShiftVariant variant;

    bool operator==(const ISht&) const = default;
    std::string debug() const;
};

struct INeg {
    Name dest;
    Typeref ty;
    Operand value;

    bool operator==(const INeg&) const = default;
    std::string debug() const;
};

struct IAnd {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const IAnd&) const = default;
    std::string debug() const;
};

struct IOr {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const IOr&) const = default;
    std::string debug() const;
};

struct IXor {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const IXor&) const = default;
    std::string debug() const;
};

struct INot {
    Name dest;
    Typeref ty;
    Operand value;

    bool operator==(const INot&) const = default;
    std::string debug() const;
};

struct IImplies {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const IImplies&) const = default;
    std::string debug() const;
};

struct IEquiv {
    Name dest;
    Typeref ty;
    Operand lhs;
    Operand rhs;

    bool operator==(const IEquiv&) const = default;
    std::string debug() const;
};

}  // namespace kdinstr::modules::instructions
