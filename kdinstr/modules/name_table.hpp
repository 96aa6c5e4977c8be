#pragma once
// A map from register number to register number, sized once for a known number of keys.
//
// The checks over a function look up every definition and every use of a register. Register
// numbers are dense in practice (the parser and the SSA renumbering hand them out from 0), so
// keys up to a small multiple of the key count index a plain array, which grows by doubling up
// to that bound; any other spread of numbers falls back to an open-addressing table. Both keep
// a pass linear. Most functions define a few names: an array of up to 64 sits inside the table
// itself, so checking such a function allocates nothing.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "kdinstr/types/seeded_hash.hpp"

namespace kdinstr::modules {

struct Function;

class NameTable {
  public:
    // Room for `expected_keys` distinct keys of any spread.
    explicit NameTable(std::size_t expected_keys) : NameTable(expected_keys, UINT32_MAX) {}
    // Room for `expected_keys` distinct keys, the largest of them `max_key`. Both are hints:
    // more keys, or larger ones, still work.
    NameTable(std::size_t expected_keys, std::uint32_t max_key) : expected_(expected_keys) {
        if (std::uint64_t{max_key} < kInlineKeys) {
            dense_size_ = kInlineKeys;
        } else if (std::uint64_t{max_key} < dense_bound(expected_keys)) {
            dense_size_ = std::size_t{max_key} + 1;
            dense_values_.resize(dense_size_);
            dense_used_.resize(std::size_t{max_key} / 64 + 1);
        } else {
            make_hashed(expected_keys);
        }
    }

    // Inserts key -> value; false (and nothing changed) when the key is present.
    bool insert(std::uint32_t key, std::uint32_t value = 0) {
        if (is_dense() && !dense_fits(key)) make_room(key);
        if (is_dense()) {
            if (dense_has(key)) return false;
            dense_set(key, value);
            return true;
        }
        Slot& s = probe(key);
        if (s.used) return false;
        s = Slot{key, value, true};
        grow_if_full();
        return true;
    }

    // Inserts key -> value or replaces the value of a present key.
    void assign(std::uint32_t key, std::uint32_t value) {
        if (is_dense() && !dense_fits(key)) make_room(key);
        if (is_dense()) return dense_set(key, value);
        Slot& s = probe(key);
        const bool fresh = !s.used;
        s = Slot{key, value, true};
        if (fresh) grow_if_full();
    }

    bool contains(std::uint32_t key) const { return find(key).has_value(); }

    std::optional<std::uint32_t> find(std::uint32_t key) const {
        if (is_dense()) {
            if (!dense_fits(key) || !dense_has(key)) return std::nullopt;
            return values()[key];
        }
        const Slot& s = probe(key);
        if (!s.used) return std::nullopt;
        return s.value;
    }

    // Whether keys index an array (true) or go through the hash table.
    bool is_dense() const { return slots_.empty(); }

  private:
    struct Slot {
        std::uint32_t key = 0;
        std::uint32_t value = 0;
        bool used = false;
    };

    // Keys below this index the array inside the table.
    static constexpr std::size_t kInlineKeys = 64;

    // Up to four array entries per expected key: still no larger than the hash table. Never
    // below the inline array.
    static std::uint64_t dense_bound(std::size_t expected_keys) {
        return std::uint64_t{expected_keys} * 4 + kInlineKeys;
    }

    // The array: inside the table until it outgrows it. Looked up on each use, since a moved
    // table holds its inline array at another address.
    bool dense_inline() const { return dense_values_.empty(); }
    std::uint32_t* values() {
        return dense_inline() ? inline_values_.data() : dense_values_.data();
    }
    const std::uint32_t* values() const {
        return dense_inline() ? inline_values_.data() : dense_values_.data();
    }
    std::uint64_t* used() { return dense_inline() ? &inline_used_ : dense_used_.data(); }
    const std::uint64_t* used() const {
        return dense_inline() ? &inline_used_ : dense_used_.data();
    }

    bool dense_fits(std::uint32_t key) const { return key < dense_size_; }
    bool dense_has(std::uint32_t key) const { return (used()[key / 64] >> (key % 64)) & 1; }
    void dense_set(std::uint32_t key, std::uint32_t value) {
        used()[key / 64] |= std::uint64_t{1} << (key % 64);
        values()[key] = value;
    }

    // A key beyond the array: a larger array while the key stays within the dense bound, else
    // a hash table.
    void make_room(std::uint32_t key) {
        const std::uint64_t bound = dense_bound(expected_);
        if (key >= bound) return to_hashed();
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(
            bound, std::max<std::uint64_t>(std::uint64_t{key} + 1, 2 * dense_size_)));
        if (dense_inline()) {
            dense_values_.assign(inline_values_.begin(), inline_values_.end());
            dense_used_.assign(1, inline_used_);
        }
        dense_values_.resize(size);
        dense_used_.resize((size + 63) / 64);
        dense_size_ = size;
    }

    void make_hashed(std::size_t expected_keys) {
        slots_.assign(std::bit_ceil(expected_keys * 2 + 2), Slot{});
        mask_ = slots_.size() - 1;
    }

    // A key beyond the array: move what it holds into a hash table. The heap array is taken
    // over and the inline one read where it is, so neither is copied first.
    void to_hashed() {
        std::vector<std::uint32_t> heap_values;
        std::vector<std::uint64_t> heap_used;
        heap_values.swap(dense_values_);
        heap_used.swap(dense_used_);
        const bool was_inline = heap_values.empty();
        const std::uint32_t* values = was_inline ? inline_values_.data() : heap_values.data();
        const std::uint64_t* used = was_inline ? &inline_used_ : heap_used.data();
        const std::size_t keys = dense_size_;
        const std::size_t words = (keys + 63) / 64;
        dense_size_ = 0;
        std::size_t held = 0;
        for (std::size_t w = 0; w < words; ++w)
            held += static_cast<std::size_t>(std::popcount(used[w]));
        make_hashed(expected_ > held ? expected_ : held + 1);
        size_ = 0;
        for (std::size_t k = 0; k < keys; ++k)
            if ((used[k / 64] >> (k % 64)) & 1) {
                probe(static_cast<std::uint32_t>(k)) =
                    Slot{static_cast<std::uint32_t>(k), values[k], true};
                ++size_;
            }
    }

    // Seeded: a storage numbers registers as it likes, and crafted numbers must not share a
    // probe run.
    std::size_t home(std::uint32_t key) const { return mask_ & types::SeededU64Hash{}(key); }

    Slot& probe(std::uint32_t key) {
        return const_cast<Slot&>(static_cast<const NameTable*>(this)->probe(key));
    }

    const Slot& probe(std::uint32_t key) const {
        std::size_t i = home(key);
        while (slots_[i].used && slots_[i].key != key) i = (i + 1) & mask_;
        return slots_[i];
    }

    // Keeps the load at most one half, so probing always finds a free slot.
    void grow_if_full() {
        if (++size_ * 2 <= slots_.size()) return;
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        for (const Slot& s : old)
            if (s.used) probe(s.key) = s;
    }

    std::size_t expected_;
    // Keys the array holds (0 in hash mode); the inline array while the vectors are empty.
    std::size_t dense_size_ = 0;
    std::array<std::uint32_t, kInlineKeys> inline_values_{};
    std::uint64_t inline_used_ = 0;
    std::vector<std::uint32_t> dense_values_;
    std::vector<std::uint64_t> dense_used_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    // Keys held, counted in hash mode only.
    std::size_t size_ = 0;
};

// A table sized for `count` names, arranged for names numbered densely from 0.
inline NameTable name_table_for_names(std::size_t count) {
    return NameTable(count, static_cast<std::uint32_t>(std::min<std::size_t>(count, UINT32_MAX)));
}

// A table sized for the names the function can define (its parameters and one per
// instruction), arranged for names numbered densely from 0.
NameTable name_table_for(const Function& function);

}  // namespace kdinstr::modules
