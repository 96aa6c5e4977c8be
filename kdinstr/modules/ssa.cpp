#include "kdinstr/modules/ssa.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <variant>

#include "kdinstr/modules/name_table.hpp"

namespace kdinstr::modules {

namespace {

// The register an instruction defines, writable; null when it defines none.
Name* destination_mut(KdInstr& instruction) {
    return std::visit(
        [](auto& record) -> Name* {
            if constexpr (requires { record.dest; }) {
                if constexpr (std::is_same_v<std::remove_cvref_t<decltype(record.dest)>, Name>)
                    return &record.dest;
                else
                    return record.dest ? &*record.dest : nullptr;
            } else {
                return nullptr;
            }
        },
        instruction.as_variant());
}

}  // namespace

std::expected<void, utils::Error> normalize_ssa(Function& function) {
    NameTable renamed = name_table_for(function);
    std::uint32_t next = 0;
    for (auto& [name, type] : function.parameters) {
        renamed.assign(name.value, next);
        name = Name{next++};
    }
    for (auto& [label, block] : function.body)
        for (KdInstr& instruction : block.instructions)
            if (Name* dest = destination_mut(instruction)) {
                renamed.assign(dest->value, next);
                *dest = Name{next++};
            }

    std::optional<Name> undefined;
    const auto rename = [&](Operand& operand) {
        Name* reg = operand.as_reg();
        if (!reg || undefined) return;
        if (const auto mapped = renamed.find(reg->value))
            *reg = Name{*mapped};
        else
            undefined = *reg;
    };
    for (auto& [label, block] : function.body) {
        for (KdInstr& instruction : block.instructions) {
            for (Operand& operand : instruction.operands_mut()) rename(operand);
            if (undefined) return std::unexpected(utils::Error::UndefinedName{*undefined});
        }
        block.terminator.for_each_operand_mut(rename);
        if (undefined) return std::unexpected(utils::Error::UndefinedName{*undefined});
    }
    return {};
}

}  // namespace kdinstr::modules
