#pragma once
// A slot map with generational keys. Slot 0 is reserved, so fresh slots are handed out from
// index 1; an occupied slot has an odd version, starting at 1. A key whose version no longer
// matches its slot (the value was removed) finds nothing.
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "kdinstr/utils/panic.hpp"

namespace kdcore::utils {

// Any key type with `index` and `version` members (u32) and a constructor from both.
template <typename Key, typename Value>
class SlotMap {
  public:
    static constexpr std::uint32_t MAX_ENTRIES = 0xFFFFFFFEu;

    SlotMap() { slots_.emplace_back(); }  // the reserved slot, never occupied

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    Key insert(Value value) {
        return insert_with_key([&](const Key&) { return std::move(value); });
    }

    // `make(key)` builds the value knowing the key it will be stored under.
    template <typename Make>
    Key insert_with_key(Make&& make) {
        if (count_ >= MAX_ENTRIES) kdinstr::utils::panic("SlotMap is full");
        if (free_head_ != 0) {
            std::uint32_t index = free_head_;
            Slot& slot = slots_[index];
            Key key(index, slot.version + 1);
            slot.value.emplace(make(key));
            free_head_ = slot.next_free;
            slot.version += 1;
            ++count_;
            return key;
        }
        auto index = static_cast<std::uint32_t>(slots_.size());
        Key key(index, 1);
        Slot slot;
        slot.version = 1;
        slot.value.emplace(make(key));
        slots_.push_back(std::move(slot));
        ++count_;
        return key;
    }

    const Value* get(const Key& key) const {
        const Slot* slot = find(key);
        return slot ? &*slot->value : nullptr;
    }
    Value* get(const Key& key) {
        const Slot* slot = find(key);
        return slot ? const_cast<Value*>(&*slot->value) : nullptr;
    }
    bool contains(const Key& key) const { return find(key) != nullptr; }

    std::optional<Value> remove(const Key& key) {
        if (!find(key)) return std::nullopt;
        Slot& slot = slots_[key.index];
        std::optional<Value> out = std::move(slot.value);
        slot.value.reset();
        slot.version += 1;
        slot.next_free = free_head_;
        free_head_ = key.index;
        --count_;
        return out;
    }

    // Visits (key, value) in slot order.
    template <typename F>
    void for_each(F&& f) const {
        for (std::uint32_t i = 1; i < slots_.size(); ++i)
            if (slots_[i].value) f(Key(i, slots_[i].version), *slots_[i].value);
    }

  private:
    struct Slot {
        std::optional<Value> value;
        std::uint32_t version = 0;
        std::uint32_t next_free = 0;
    };

    const Slot* find(const Key& key) const {
        if (key.index == 0 || key.index >= slots_.size()) return nullptr;
        const Slot& slot = slots_[key.index];
        if (!slot.value || slot.version != key.version) return nullptr;
        return &slot;
    }

    std::vector<Slot> slots_;
    std::uint32_t free_head_ = 0;
    std::size_t count_ = 0;
};

}  // namespace kdcore::utils
