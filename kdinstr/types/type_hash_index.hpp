#pragma once
// The type registry's index from a type's content hash to the stored entries with that hash, in
// the order they were listed. Open addressing over a seeded remix of the hash (content hashes
// are fixed and known, so crafted types must not be able to crowd one probe run); the common
// single entry per hash lives in its slot, without an allocation of its own.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kdinstr/types/aggregate.hpp"
#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/seeded_hash.hpp"

namespace kdinstr::types {

class TypeHashIndex {
  public:
    // An entry of the registry's types map; its node never moves.
    using Entry = TypeMap::value_type;

    void reserve(std::size_t hashes);
    // Appends `entry` to the list of `hash`.
    void list(std::uint64_t hash, const Entry* entry);
    // Removes `entry` from the list of `hash`, keeping the order of the rest.
    void unlist(std::uint64_t hash, const Entry* entry);

    // The first entry listed under `hash` for which `pred(entry)` holds, or nullptr.
    template <class Pred>
    const Entry* find_if(std::uint64_t hash, Pred&& pred) const {
        const Slot* slot = find_slot(hash);
        if (slot == nullptr) return nullptr;
        if (slot->first != nullptr && pred(*slot->first)) return slot->first;
        if (slot->more != 0) {
            for (const Entry* entry : more_[slot->more - 1])
                if (pred(*entry)) return entry;
        }
        return nullptr;
    }

  private:
    struct Slot {
        std::uint64_t hash = 0;
        // The first entry listed; nullptr once every entry of a used slot was removed.
        const Entry* first = nullptr;
        // 1 + the index of the entries after the first in `more_`, or 0.
        std::uint32_t more = 0;
        bool used = false;
    };

    const Slot* find_slot(std::uint64_t hash) const;
    Slot& slot_for(std::uint64_t hash);
    void grow(std::size_t capacity);

    std::vector<Slot> slots_;
    std::vector<std::vector<const Entry*>> more_;
    std::size_t used_ = 0;
};

}  // namespace kdinstr::types
