#include "kdinstr/analysis/dest_map.hpp"

#include <algorithm>

namespace kdinstr::analysis {

DestMap::DestMap(std::initializer_list<value_type> entries) {
    for (const auto& [name, place] : entries) add(name, place);
    finish();
}

void DestMap::finish() {
    if (sorted_) return;
    // Stable: the places of one name stay in definition order, and the last of them wins.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const value_type& a, const value_type& b) { return a.first < b.first; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i + 1 < entries_.size() && entries_[i + 1].first == entries_[i].first) continue;
        entries_[kept++] = entries_[i];
    }
    entries_.resize(kept);
    sorted_ = true;
}

DestMap derive_dest_map(const modules::Function& function) {
    DestMap map;
    std::size_t count = 0;
    for (const auto& [label, block] : function.body) count += block.instructions.size();
    map.reserve(count);
    for (const auto& [label, block] : function.body) {
        std::uint32_t index = 0;
        for (const modules::KdInstr& instruction : block.instructions) {
            if (const auto dest = instruction.destination())
                map.add(*dest, InstructionPlace{label, index});
            ++index;
        }
    }
    map.finish();
    return map;
}

}  // namespace kdinstr::analysis
