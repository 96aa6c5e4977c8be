#pragma once
// The types one parse has interned, in front of the registry: a program names the same few
// types over and over, and a lookup here takes no lock and hashes little. A registry never drops
// a type, so an answer from the cache is always the registry's own.
#include <cstdint>
#include <unordered_map>

#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdinstr::modules::parser {

class TypeCache {
  public:
    explicit TypeCache(types::TypeRegistry& registry) : registry_(registry) {}

    // The registry's `Typeref` of `type` (interned there on first sight).
    types::Typeref intern(const types::AnyType& type);

  private:
    types::TypeRegistry& registry_;
    // Integer, floating-point, pointer and vector types, under a packed 64-bit key.
    std::unordered_map<std::uint64_t, types::Typeref> primaries_;
    // Every other type, by value.
    std::unordered_map<types::AnyType, types::Typeref> others_;
};

}  // namespace kdinstr::modules::parser
