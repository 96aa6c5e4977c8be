#include "kdinstr/modules/parser/type_cache.hpp"

#include <optional>
#include <variant>

namespace kdinstr::modules::parser {

namespace {

using types::primary::PrimaryType;

// The basic type in 32 bits: a kind in the top bits, the payload below; none for the kinds the
// grammar never reads (extension and wildcard types). Works on both the basic and the primary
// variant, which share these alternatives.
template <typename Variant>
std::optional<std::uint64_t> basic_key(const Variant& v) {
    if (const auto* i = std::get_if<types::primary::IType>(&v)) return (1ull << 28) | i->num_bits;
    if (const auto* f = std::get_if<types::primary::FType>(&v))
        return (2ull << 28) | static_cast<std::uint64_t>(*f);
    if (std::holds_alternative<types::primary::Ptr>(v)) return 3ull << 28;
    return std::nullopt;
}

std::optional<std::uint64_t> primary_key(const types::AnyType& type) {
    const PrimaryType* p = type.as_primary();
    if (p == nullptr) return std::nullopt;
    if (const auto* vec = std::get_if<PrimaryType::Vector>(&p->value)) {
        const auto element = basic_key(vec->element.value);
        if (!element) return std::nullopt;
        return (std::uint64_t{1} << 63) | (std::uint64_t{vec->size.is_scalable()} << 62) |
               (std::uint64_t{vec->size.count()} << 32) | *element;
    }
    return basic_key(p->value);
}

}  // namespace

types::Typeref TypeCache::intern(const types::AnyType& type) {
    if (const auto key = primary_key(type)) {
        auto [it, inserted] = primaries_.try_emplace(*key);
        if (inserted) it->second = registry_.search_or_insert(type);
        return it->second;
    }
    if (auto it = others_.find(type); it != others_.end()) return it->second;
    const types::Typeref ref = registry_.search_or_insert(type);
    others_.emplace(type, ref);
    return ref;
}

}  // namespace kdinstr::modules::parser
