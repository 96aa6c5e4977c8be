#include "kdinstr/modules/function.hpp"

#include <type_traits>
#include <variant>

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
    // An undef operand's type is a type the function holds like any other: left behind, it
    // would name a type of the old registry, and a loaded module using undef could never pass
    // the type check against the new one.
    const auto remap_operand = [&](Operand& operand) {
        if (types::Typeref* undef = operand.as_undef()) remap_one(*undef);
    };
    for (auto& [name, ty] : parameters) remap_one(ty);
    if (return_type) remap_one(*return_type);
    for (auto& [label, block] : body) {
        for (auto& instr : block.instructions) {
            instr.remap_types(map);
            instr.for_each_operand_mut(remap_operand);
        }
        std::visit(
            [&](auto& terminator) {
                using T = std::decay_t<decltype(terminator)>;
                if constexpr (std::is_same_v<T, TerminatorBranch>) {
                    remap_operand(terminator.condition);
                } else if constexpr (std::is_same_v<T, TerminatorRet>) {
                    if (terminator.value) remap_operand(*terminator.value);
                }
            },
            block.terminator.as_variant());
    }
}

}  // namespace kdinstr::modules
