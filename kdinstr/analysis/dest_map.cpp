#include "kdinstr/analysis/dest_map.hpp"

namespace kdinstr::analysis {

DestMap derive_dest_map(const modules::Function& function) {
    DestMap map;
    for (const auto& [label, block] : function.body) {
        std::uint32_t index = 0;
        for (const modules::KdInstr& instruction : block.instructions) {
            if (const auto dest = instruction.destination())
                map.insert_or_assign(*dest, InstructionPlace{label, index});
            ++index;
        }
    }
    return map;
}

}  // namespace kdinstr::analysis
