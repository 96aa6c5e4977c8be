#pragma once
// Small random type maps whose elements point anywhere: at entries (so cycles and shared
// elements), at wildcards, at identifiers not held; some entries sit under wildcard
// identifiers, as only decoded data can hold them. For tests of what prints types.
#include <cstdint>
#include <random>
#include <utility>

#include "kdinstr/types/any_type.hpp"

namespace kdinstr::tests {

// Version 6, numbered in bytes 12, 13 and 15.
inline types::Typeref numbered_ref(std::uint32_t n) {
    types::Typeref t;
    t.uuid.bytes[6] = 0x60;
    t.uuid.bytes[12] = static_cast<std::uint8_t>(n >> 16);
    t.uuid.bytes[13] = static_cast<std::uint8_t>(n >> 8);
    t.uuid.bytes[15] = static_cast<std::uint8_t>(n);
    return t;
}

class RandomTypeMaps {
  public:
    explicit RandomTypeMaps(std::uint32_t seed) : random_(seed) {}

    // Up to `most` entries, each with up to three elements.
    types::TypeMap next(std::uint32_t most) {
        using namespace types;
        const std::uint32_t n = 1 + pick(most);
        const auto key = [&](std::uint32_t i) {
            return i % 5 == 4 ? Typeref::wildcard(static_cast<std::uint16_t>(i)) : numbered_ref(i);
        };
        const auto element = [&]() {
            switch (pick(8)) {
                case 0:
                    return Typeref::wildcard(static_cast<std::uint16_t>(pick(40)));
                case 1:
                    return numbered_ref(100 + pick(3));
                default:
                    return key(pick(n));
            }
        };
        TypeMap types;
        for (std::uint32_t i = 0; i < n; ++i) {
            AnyType value;
            switch (pick(4)) {
                case 0:
                    value = AnyType(primary::IType{1 + pick(100000)});
                    break;
                case 1:
                    value = AnyType(
                        aggregate::ArrayType{element(), static_cast<std::uint16_t>(pick(2000))});
                    break;
                default: {
                    aggregate::StructType s{{}, pick(2) == 0};
                    for (std::uint32_t e = pick(4); e > 0; --e) s.elements.push_back(element());
                    value = AnyType(std::move(s));
                }
            }
            types.emplace(key(i), std::move(value));
        }
        return types;
    }

    std::uint32_t pick(std::uint32_t below) {
        return std::uniform_int_distribution<std::uint32_t>(0, below - 1)(random_);
    }

  private:
    std::mt19937 random_;
};

}  // namespace kdinstr::tests
