#include "kdinstr/modules/parser/name_numbering.hpp"

#include <cstring>

#include "kdinstr/utils/byte_loads.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace kdinstr::modules::parser {

namespace {

using utils::load4;
using utils::load8;

// The last 1..7 bytes without a loop (two overlapping words, or three single bytes).
std::uint64_t load_tail(const char* p, std::size_t n) {
    if (n >= 4) return (load4(p) << 32) | load4(p + n - 4);
    return utils::load1to3(p, n);
}

// Register and label names are short words; eight bytes at a time with a multiply-xorshift mix.
std::uint32_t hash_of(std::string_view name, std::uint64_t seed) {
    std::uint64_t h = seed ^ name.size();
    const char* p = name.data();
    std::size_t n = name.size();
    for (; n >= 8; p += 8, n -= 8) {
        h = (h ^ load8(p)) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    if (n > 0) {
        h = (h ^ load_tail(p, n)) * 0x94D049BB133111EBull;
        h ^= h >> 29;
    }
    h *= 0xBF58476D1CE4E5B9ull;
    return static_cast<std::uint32_t>(h >> 32);
}

}  // namespace

NameNumbering::NameNumbering() {
    slots_.resize(initial_capacity);
    std::uint8_t bytes[sizeof seed_];
    utils::random_bytes(bytes);
    std::memcpy(&seed_, bytes, sizeof seed_);
}

std::size_t NameNumbering::probe(std::string_view name, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.generation != generation_) return i;
        if (s.hash == hash && s.length == name.size() &&
            std::memcmp(s.data, name.data(), name.size()) == 0)
            return i;
    }
}

std::uint32_t NameNumbering::number(std::string_view name) {
    const std::uint32_t hash = hash_of(name, seed_);
    Slot& s = slots_[probe(name, hash)];
    if (s.generation == generation_) return s.value;
    s = Slot{name.data(), static_cast<std::uint32_t>(name.size()), count_, hash, generation_};
    const std::uint32_t value = count_++;
    // At most half full, so probing always ends at an empty slot.
    if (std::size_t{count_} * 2 > slots_.size()) grow();
    return value;
}

std::optional<std::uint32_t> NameNumbering::find(std::string_view name) const {
    const Slot& s = slots_[probe(name, hash_of(name, seed_))];
    if (s.generation != generation_) return std::nullopt;
    return s.value;
}

void NameNumbering::clear() {
    count_ = 0;
    if (++generation_ == 0) {
        // After 2^32 - 1 functions the generations start again from a clean table.
        for (Slot& s : slots_) s.generation = 0;
        generation_ = 1;
    }
}

void NameNumbering::grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (s.generation != generation_) continue;
        std::size_t i = s.hash & mask;
        while (slots_[i].generation == generation_) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

}  // namespace kdinstr::modules::parser
