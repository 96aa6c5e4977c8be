#pragma once
// Hashing of identifiers that come from outside (decoded registries, function identifiers of a
// module), and a flat index from `Typeref` to a position. Keys chosen by an attacker must not pile
// into one bucket, so the hash mixes every key with a random per-process seed; `std::hash<Uuid>`
// and `std::hash<Typeref>` are cheap but unseeded.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::types {

// Seeded 64-bit hash of a UUID; differs between processes.
struct SeededUuidHash {
    std::size_t operator()(const utils::Uuid& uuid) const noexcept;
};

// Seeded 64-bit hash of a `Typeref`: that of its UUID.
struct SeededTyperefHash {
    std::size_t operator()(const Typeref& ref) const noexcept { return SeededUuidHash{}(ref.uuid); }
};

// Seeded remix of a 64-bit value (content hashes are fixed and known, so table slots must not be
// taken from them directly).
struct SeededU64Hash {
    std::size_t operator()(std::uint64_t value) const noexcept;
};

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
