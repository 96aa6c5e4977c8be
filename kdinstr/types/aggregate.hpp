#pragma once
// Aggregate types: their elements are other types, named by `Typeref`, so their text needs the
// registry's map (see `AnyType::internal_fmt`).
#include <fmt/format.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kdinstr/types/typeref.hpp"

namespace kdinstr::types {
struct AnyType;
// The registry's map from identifier to type value, ordered by `Typeref`.
using TypeMap = std::map<Typeref, AnyType>;
}  // namespace kdinstr::types

namespace kdinstr::types::aggregate {

struct ArrayType {
    Typeref element;
    std::uint16_t count = 0;

    bool operator==(const ArrayType&) const = default;

    // "ArrayType { element: Typeref(..), count: 4 }"
    std::string debug() const;
};

struct StructFmt;

struct StructType {
    std::vector<Typeref> elements;
    bool packed = false;

    bool operator==(const StructType&) const = default;

    // "{i32, ptr}", "packed {i8, i16}", "{}": element types looked up in `types`. The adapter
    // borrows both; the caller keeps the registry read-locked while it is used.
    StructFmt internal_fmt(const TypeMap& types) const;

    // "StructType { elements: [Typeref(..), ..], packed: false }"
    std::string debug() const;
};

// Text adapter of a struct type against a type map.
struct StructFmt {
    const StructType& value;
    const TypeMap& types;
    std::string to_string() const;
};

}  // namespace kdinstr::types::aggregate

template <>
struct fmt::formatter<kdinstr::types::aggregate::StructFmt> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::types::aggregate::StructFmt& f, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(f.to_string(), ctx);
    }
};
