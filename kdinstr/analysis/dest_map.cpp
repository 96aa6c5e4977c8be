#include "kdinstr/analysis/dest_map.hpp"

#include <algorithm>
#include <cstddef>

#include "kdinstr/modules/name_table.hpp"

namespace kdinstr::analysis {

DestMap::DestMap(std::initializer_list<value_type> entries) {
    for (const auto& [name, place] : entries) add(name, place);
    finish();
}

void DestMap::finish() {
    if (sorted_) return;
    // The last place of each name wins: walk backwards keeping first sightings, then sort the
    // names, which are distinct by then.
    modules::NameTable seen(entries_.size());
    std::size_t kept = entries_.size();
    for (std::size_t i = entries_.size(); i-- > 0;)
        if (seen.insert(entries_[i].first.value)) entries_[--kept] = entries_[i];
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(kept));
    std::sort(entries_.begin(), entries_.end(),
              [](const value_type& a, const value_type& b) { return a.first < b.first; });
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
