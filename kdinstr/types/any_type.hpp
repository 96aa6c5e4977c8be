#pragma once
// A type value: primary, array or struct (variant order is the encoding's tag).
#include <fmt/format.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "kdinstr/types/aggregate.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/seeded_hash.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::types {

struct AnyTypeFmt;

struct AnyType {
    using Primary = primary::PrimaryType;
    using Array = aggregate::ArrayType;
    using Struct = aggregate::StructType;
    using Variant = std::variant<Primary, Array, Struct>;  // tag 0..2

    Variant value;

    AnyType() = default;
    AnyType(Primary p) : value(std::move(p)) {}
    AnyType(Array a) : value(a) {}
    AnyType(Struct s) : value(std::move(s)) {}
    // Convenience for the primary payloads: AnyType(primary::IType{32}).
    AnyType(primary::IType t) : value(Primary(t)) {}
    AnyType(primary::FType t) : value(Primary(t)) {}
    AnyType(primary::ExtType t) : value(Primary(std::move(t))) {}
    AnyType(primary::Ptr t) : value(Primary(t)) {}
    AnyType(primary::Wildcard t) : value(Primary(t)) {}
    AnyType(Primary::Vector t) : value(Primary(std::move(t))) {}
    AnyType(Primary::Label t) : value(Primary(t)) {}

    bool operator==(const AnyType&) const = default;

    const Primary* as_primary() const { return std::get_if<Primary>(&value); }
    const Array* as_array() const { return std::get_if<Array>(&value); }
    const Struct* as_struct() const { return std::get_if<Struct>(&value); }
    // Calls `f` on each element an aggregate names: an array's element, a struct's fields in
    // order; a primary type names none.
    template <class F>
    void for_each_element(F&& f) const {
        if (const auto* a = as_array()) {
            f(a->element);
        } else if (const auto* s = as_struct()) {
            for (const auto& e : s->elements) f(e);
        }
    }
    template <class F>
    void for_each_element(F&& f) {
        if (auto* a = std::get_if<Array>(&value)) {
            f(a->element);
        } else if (auto* s = std::get_if<Struct>(&value)) {
            for (auto& e : s->elements) f(e);
        }
    }
    // The index when this is a primary wildcard.
    std::optional<std::uint16_t> wildcard_index() const;

    // Text adapter: primary text, "[ {} x {} ]" for arrays, the struct text; element types are
    // looked up in `types`. Borrows both: keep the registry read-locked while it is used.
    AnyTypeFmt internal_fmt(const TypeMap& types) const;

    // "Primary(Int(IType { num_bits: 32 }))", "Array(ArrayType { .. })", "Struct(StructType { ..
    // })"
    std::string debug() const;
};

// 64-bit content hash (SipHash-1-3, zero keys) over the variant index and the fields in
// declaration order, list lengths before elements: equal values hash equal, in every run.
std::uint64_t content_hash(const AnyType& type);

// The text for an identifier that a type map does not hold: "<unknown type {}>" with its UUID
// text. The registry's adapter and the aggregate printers share it.
std::string unknown_type_text(const Typeref& ref);
// What the printer writes where an aggregate reaches itself again: "<recursive type {}>" with the
// UUID text. Shared with the measure of text lengths, which must count what is written.
std::string recursive_type_text(const Typeref& ref);

// The text of the type that `ref` names in `types`: a wildcard `Typeref` prints its letter
// ("A", "_26"), an identifier missing from `types` prints `unknown_type_text`, and an aggregate
// that contains itself (possible only in decoded data) prints "<recursive type {}>" with the
// UUID text at the point of recursion. Iterative: deep nesting cannot exhaust the stack.
std::string type_text(const TypeMap& types, const Typeref& ref);
// The same rules for a value that need not be stored in `types`.
std::string type_text(const TypeMap& types, const AnyType& type);

struct AnyTypeFmt {
    const AnyType& value;
    const TypeMap& types;
    std::string to_string() const { return type_text(types, value); }
};

}  // namespace kdinstr::types

template <>
struct fmt::formatter<kdinstr::types::AnyTypeFmt> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::types::AnyTypeFmt& f, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(f.to_string(), ctx);
    }
};

// A text or a storage chooses its types, and content hashes are fixed and known: a table keyed by
// type remixes them with the seed.
template <>
struct kdinstr::types::SeededHash<kdinstr::types::AnyType> {
    std::size_t operator()(const kdinstr::types::AnyType& t) const noexcept {
        return SeededU64Hash{}(content_hash(t));
    }
};
