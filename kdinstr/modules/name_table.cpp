#include "kdinstr/modules/name_table.hpp"

#include "kdinstr/modules/function.hpp"

namespace kdinstr::modules {

NameTable name_table_for(const Function& function) {
    std::size_t count = 0;
    std::uint32_t max = 0;
    const auto add = [&](Name name) {
        ++count;
        if (name.value > max) max = name.value;
    };
    for (const auto& [name, type] : function.parameters) add(name);
    for (const auto& [label, block] : function.body)
        for (const KdInstr& instruction : block.instructions)
            if (const auto dest = instruction.destination()) add(*dest);
    return NameTable(count, max);
}

}  // namespace kdinstr::modules
