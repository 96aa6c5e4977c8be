#pragma once
// Where each register defined by an instruction is defined.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/name.hpp"

namespace kdinstr::analysis {

// The block (its key in the body) and the instruction's position in it, counted from 0 over
// all instructions of the block, those without a destination included.
struct InstructionPlace {
    modules::Label block;
    std::uint32_t index = 0;
    bool operator==(const InstructionPlace&) const = default;
};

// An ordered map from register to place, held as one sorted array: built once and only read
// afterwards, and a function renumbered in SSA form defines its registers in ascending order,
// so it fills without sorting. Iterates in ascending register order.
class DestMap {
  public:
    using value_type = std::pair<modules::Name, InstructionPlace>;
    using const_iterator = std::vector<value_type>::const_iterator;
    using iterator = const_iterator;

    DestMap() = default;
    // Later entries of one name replace earlier ones, as insert_or_assign in this order would.
    DestMap(std::initializer_list<value_type> entries);

    void reserve(std::size_t entries) { entries_.reserve(entries); }
    // Appends in definition order; `finish` makes the map ready to read.
    void add(modules::Name name, InstructionPlace place) {
        if (!entries_.empty() && !(entries_.back().first < name)) sorted_ = false;
        entries_.emplace_back(name, place);
    }
    // Sorts by name if the names came out of order, keeping the last place of a name.
    void finish();

    const InstructionPlace* find(modules::Name name) const {
        const auto it = std::lower_bound(
            entries_.begin(), entries_.end(), name,
            [](const value_type& entry, modules::Name key) { return entry.first < key; });
        return it != entries_.end() && it->first == name ? &it->second : nullptr;
    }
    bool contains(modules::Name name) const { return find(name) != nullptr; }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

    friend bool operator==(const DestMap& a, const DestMap& b) { return a.entries_ == b.entries_; }

  private:
    std::vector<value_type> entries_;
    bool sorted_ = true;
};

// Blocks in ascending label order; a name defined twice keeps its later place.
DestMap derive_dest_map(const modules::Function& function);

}  // namespace kdinstr::analysis
