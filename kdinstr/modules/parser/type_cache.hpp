#pragma once
// The types one parse has interned, in front of the registry: a program names the same few
// types over and over, and a lookup here takes no lock and hashes little. A registry never drops
// a type, so an answer from the cache is always the registry's own.
#include <cstdint>
#include <unordered_map>

#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/types/seeded_hash.hpp"

namespace kdinstr::modules::parser {

class TypeCache {
  public:
    explicit TypeCache(types::TypeRegistry& registry) : registry_(registry) {}

    // The registry's `Typeref` of `type` (interned there on first sight).
    types::Typeref intern(const types::AnyType& type);

  private:
    types::TypeRegistry& registry_;
    // The text chooses its types, so neither packed keys nor content hashes (both fixed and
    // known) may choose the buckets: both tables remix them with the seed.

    // Integer, floating-point, pointer and vector types, under a packed 64-bit key.
    std::unordered_map<std::uint64_t, types::Typeref, types::SeededU64Hash> primaries_;
    // Every other type, by value.
    std::unordered_map<types::AnyType, types::Typeref, types::SeededHash<types::AnyType>> others_;
};

}  // namespace kdinstr::modules::parser
