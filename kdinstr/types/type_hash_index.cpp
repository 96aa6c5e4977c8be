#include "kdinstr/types/type_hash_index.hpp"

#include <algorithm>
#include <bit>
#include <utility>

namespace kdinstr::types {

void TypeHashIndex::reserve(std::size_t hashes) {
    if (hashes * 2 > slots_.size()) grow(std::bit_ceil(hashes * 2));
}

void TypeHashIndex::grow(std::size_t capacity) {
    std::vector<Slot> old =
        std::exchange(slots_, std::vector<Slot>(std::max<std::size_t>(capacity, 16)));
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (!slot.used) continue;
        std::size_t i = SeededU64Hash{}(slot.hash) & mask;
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

const TypeHashIndex::Slot* TypeHashIndex::find_slot(std::uint64_t hash) const {
    if (slots_.empty()) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = SeededU64Hash{}(hash)&mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (!slot.used) return nullptr;
        if (slot.hash == hash) return &slot;
    }
}

TypeHashIndex::Slot& TypeHashIndex::slot_for(std::uint64_t hash) {
    // At most half full: probe runs stay short.
    if ((used_ + 1) * 2 > slots_.size()) grow(slots_.size() * 2);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = SeededU64Hash{}(hash)&mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (slot.used && slot.hash == hash) return slot;
        if (!slot.used) {
            slot.used = true;
            slot.hash = hash;
            ++used_;
            return slot;
        }
    }
}

void TypeHashIndex::list(std::uint64_t hash, const Entry* entry) {
    Slot& slot = slot_for(hash);
    // An empty first place means the rest is empty too (`unlist` moves the next one up).
    if (slot.first == nullptr) {
        slot.first = entry;
        return;
    }
    if (slot.more == 0) {
        more_.emplace_back();
        slot.more = static_cast<std::uint32_t>(more_.size());
    }
    more_[slot.more - 1].push_back(entry);
}

void TypeHashIndex::unlist(std::uint64_t hash, const Entry* entry) {
    Slot* slot = const_cast<Slot*>(find_slot(hash));
    if (slot == nullptr) return;
    std::vector<const Entry*>* rest = slot->more != 0 ? &more_[slot->more - 1] : nullptr;
    if (slot->first != entry) {
        if (rest != nullptr) std::erase(*rest, entry);
        return;
    }
    if (rest == nullptr || rest->empty()) {
        slot->first = nullptr;
        return;
    }
    slot->first = rest->front();
    rest->erase(rest->begin());
}

}  // namespace kdinstr::types
