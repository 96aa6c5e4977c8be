#include "kdinstr/modules/name_table.hpp"

#include <cstddef>

#include "kdinstr/modules/function.hpp"

namespace kdinstr::modules {

NameTable name_table_for(const Function& function) {
    // An upper bound, counted without visiting the instructions; the array grows if names run
    // past the first guess.
    std::size_t count = function.parameters.size();
    for (const auto& [label, block] : function.body) count += block.instructions.size();
    return name_table_for_names(count);
}

}  // namespace kdinstr::modules
