#include "kdinstr/modules/function.hpp"

#include "kdinstr/utils/uuid_gen.hpp"

namespace kdinstr::modules {

Function Function::make_default() {
    Function f;
    f.uuid = utils::new_v4();
    f.body.emplace(Label{0}, BasicBlock{Label{0}, {}, KdTerminator(TerminatorTrap{})});
    return f;
}

void Function::remap_types(const TypeRemap& map) {
    const auto remap_one = [&](types::Typeref& t) {
        if (auto it = map.find(t); it != map.end()) t = it->second;
    };
    for (auto& [name, ty] : parameters) remap_one(ty);
    if (return_type) remap_one(*return_type);
    for (auto& [label, block] : body)
        for (auto& instr : block.instructions) instr.remap_types(map);
}

}  // namespace kdinstr::modules
