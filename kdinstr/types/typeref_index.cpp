#include "kdinstr/types/typeref_index.hpp"

#include <algorithm>
#include <bit>

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::types {

TyperefIndex::TyperefIndex(std::size_t expected_keys) {
    // At most half full: probes stay short.
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(expected_keys * 2, 16));
    slots_.resize(capacity);
    mask_ = capacity - 1;
}

bool TyperefIndex::insert(const Typeref& ref, std::uint32_t position) {
    if (position == kEmpty || (size_ + 1) * 2 > slots_.size())
        utils::panic("TyperefIndex filled beyond the size it was made for");
    for (std::size_t i = slot_of(ref);; i = (i + 1) & mask_) {
        Slot& slot = slots_[i];
        if (slot.position == kEmpty) {
            slot.key = ref;
            slot.position = position;
            ++size_;
            return true;
        }
        if (slot.key == ref) return false;
    }
}

std::optional<std::uint32_t> TyperefIndex::find(const Typeref& ref) const {
    for (std::size_t i = slot_of(ref);; i = (i + 1) & mask_) {
        const Slot& slot = slots_[i];
        if (slot.position == kEmpty) return std::nullopt;
        if (slot.key == ref) return slot.position;
    }
}

}  // namespace kdinstr::types
