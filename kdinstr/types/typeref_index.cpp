#include "kdinstr/types/typeref_index.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "kdinstr/utils/panic.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace kdinstr::types {

namespace {

struct Seed {
    std::uint64_t a, b, c;
};

const Seed& seed() {
    static const Seed s = [] {
        Seed out{};
        std::uint8_t bytes[sizeof(Seed)];
        utils::random_bytes(bytes);
        std::memcpy(&out, bytes, sizeof(Seed));
        return out;
    }();
    return s;
}

// Folded 64x64->128-bit multiply: each output bit depends on many bits of both inputs.
inline std::uint64_t mum(std::uint64_t x, std::uint64_t y) {
    const unsigned __int128 p = static_cast<unsigned __int128>(x) * y;
    return static_cast<std::uint64_t>(p) ^ static_cast<std::uint64_t>(p >> 64);
}

constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ull;

}  // namespace

std::size_t SeededUuidHash::operator()(const utils::Uuid& uuid) const noexcept {
    const Seed& s = seed();
    std::uint64_t lo, hi;
    std::memcpy(&lo, uuid.bytes.data(), 8);
    std::memcpy(&hi, uuid.bytes.data() + 8, 8);
    return static_cast<std::size_t>(mum(mum(lo ^ s.a, hi ^ s.b) ^ s.c, kOdd));
}

std::size_t SeededU64Hash::operator()(std::uint64_t value) const noexcept {
    const Seed& s = seed();
    return static_cast<std::size_t>(mum(value ^ s.a, s.b | 1) ^ s.c);
}

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
