#pragma once
// A flat index from `Typeref` to a position, for identifiers that come from outside (decoded
// registries): slots come from the seeded hash, so crafted identifiers do not share a probe run.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "kdinstr/types/seeded_hash.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::types {

// Open-addressing map from `Typeref` to a 32-bit position, sized once for a known number of keys.
class TyperefIndex {
  public:
    explicit TyperefIndex(std::size_t expected_keys);

    // Adds `ref` -> `position` unless `ref` is already there; false when it was.
    bool insert(const Typeref& ref, std::uint32_t position);
    std::optional<std::uint32_t> find(const Typeref& ref) const;

  private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;
    struct Slot {
        Typeref key;
        std::uint32_t position = kEmpty;
    };
    std::size_t slot_of(const Typeref& ref) const { return SeededTyperefHash{}(ref)&mask_; }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

}  // namespace kdinstr::types
