#pragma once
// Calls, phis, selection, casts and aggregate access.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/modules/calling_convention.hpp"
#include "kdinstr/modules/instructions/qualifiers.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::modules::instructions {

using types::Typeref;

struct Invoke {
    Operand function;
    std::vector<Operand> args;
    std::optional<Name> dest;
    std::optional<Typeref> ty;
    std::optional<CallingConvention> cconv;

    bool operator==(const Invoke&) const = default;
    std::string debug() const;
};

struct Phi {
    Name dest;
    Typeref ty;
    std::vector<std::pair<Operand, Label>> values;

    bool operator==(const Phi&) const = default;
    std::string debug() const;
};

struct Select {
    Name dest;
    Operand condition;
    Operand true_value;
    Operand false_value;
    Typeref ty;

    bool operator==(const Select&) const = default;
    std::string debug() const;
};

struct Cast {
    Name dest;
    Typeref ty;
    Operand value;
    CastVariant variant;

    bool operator==(const Cast&) const = default;
    std::string debug() const;
};

struct InsertValue {
    Name dest;
    Typeref ty;
    Operand aggregate;
    Operand value;
    std::vector<std::uint32_t> indices;

    bool operator==(const InsertValue&) const = default;
    std::string debug() const;
};

struct ExtractValue {
    Name dest;
    Typeref ty;
    Operand aggregate;
    std::vector<std::uint32_t> indices;

    bool operator==(const ExtractValue&) const = default;
    std::string debug() const;
};

}  // namespace kdinstr::modules::instructions
