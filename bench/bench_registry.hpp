#pragma once
// Type registries of a given size for the benchmarks: a realistic mix, and the hostile shape
// in which every aggregate sorts before the element it waits for.
#include <cstdint>
#include <vector>

#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdbench {

// `n` distinct types interned in creation order, as a compiler's registry holds them: a third
// integers, a third arrays of earlier types, a third two- and three-field structs of earlier
// types.
inline void fill_mixed(kdinstr::types::TypeRegistry& registry, std::uint32_t n) {
    using namespace kdinstr::types;
    std::vector<Typeref> made;
    made.reserve(n);
    std::uint32_t x = 12345;
    const auto pick = [&] {
        x = x * 1103515245u + 12345u;
        return made[(x >> 8) % made.size()];
    };
    for (std::uint32_t i = 0; made.size() < n; ++i) {
        const std::uint32_t width = i / 3 + 1;
        if (i % 3 == 0 || made.empty()) {
            made.push_back(registry.search_or_insert(primary::IType{width}));
        } else if (i % 3 == 1) {
            made.push_back(registry.search_or_insert(
                aggregate::ArrayType{pick(), static_cast<std::uint16_t>(width)}));
        } else {
            std::vector<Typeref> fields{pick(), pick()};
            if (i % 2 == 0) fields.push_back(pick());
            made.push_back(
                registry.search_or_insert(aggregate::StructType{std::move(fields), (i & 4) != 0}));
        }
    }
}

// A chain of `n` array types over i32 whose every element sorts after the array that uses it,
// as a decoded registry may hold them: a merge that retries whole passes needs `n` of them.
inline void fill_reversed_chain(kdinstr::types::TypeRegistry& registry, std::uint32_t n) {
    using namespace kdinstr::types;
    const auto key = [](std::uint32_t i) {
        Typeref t;
        t.uuid.bytes[0] = 0x10;
        t.uuid.bytes[1] = static_cast<std::uint8_t>(i >> 24);
        t.uuid.bytes[2] = static_cast<std::uint8_t>(i >> 16);
        t.uuid.bytes[3] = static_cast<std::uint8_t>(i >> 8);
        t.uuid.bytes[4] = static_cast<std::uint8_t>(i);
        t.uuid.bytes[6] = 0x60;
        return t;
    };
    for (std::uint32_t i = 0; i < n; ++i)
        registry.insert_decoded(key(i), aggregate::ArrayType{key(i + 1), 2});
    registry.insert_decoded(key(n), primary::IType{32});
}

}  // namespace kdbench
