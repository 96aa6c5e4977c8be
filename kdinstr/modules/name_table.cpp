#include "kdinstr/modules/name_table.hpp"

#include <algorithm>
#include <cstdint>

#include "kdinstr/modules/function.hpp"

namespace kdinstr::modules {

NameTable name_table_for(const Function& function) {
    // An upper bound, counted without visiting the instructions; the array grows if names run
    // past the first guess.
    std::size_t count = function.parameters.size();
    for (const auto& [label, block] : function.body) count += block.instructions.size();
    return NameTable(count, static_cast<std::uint32_t>(std::min<std::size_t>(count, UINT32_MAX)));
}

}  // namespace kdinstr::modules
