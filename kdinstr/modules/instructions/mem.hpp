#pragma once
// Memory access and address computation. The alignment fields keep the IR's own spelling.
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

struct MLoad {
    Name dest;
    Typeref ty;
    Operand addr;
    std::optional<std::uint32_t> alignement;
    std::optional<MemoryOrdering> ordering;
    // Written `volatile` in debug text; the word is reserved in C++.
    bool volatile_ = false;

    bool operator==(const MLoad&) const = default;
    std::string debug() const;
};

struct MStore {
    Operand addr;
    Operand value;
    std::optional<std::uint32_t> alignement;
    std::optional<MemoryOrdering> ordering;
    // Written `volatile` in debug text; the word is reserved in C++.
    bool volatile_ = false;

    bool operator==(const MStore&) const = default;
    std::string debug() const;
};

struct MAlloca {
    Name dest;
    Typeref ty;
    Operand count;
    std::optional<std::uint32_t> alignement;

    bool operator==(const MAlloca&) const = default;
    std::string debug() const;
};

struct MGetElementPtr {
    Name dest;
    Typeref ty;
    Typeref in_ty;
    Operand base;
    std::vector<Operand> indices;

    bool operator==(const MGetElementPtr&) const = default;
    std::string debug() const;
};

}  // namespace kdinstr::modules::instructions
