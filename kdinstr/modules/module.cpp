#include "kdinstr/modules/module.hpp"

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules {

std::optional<FunctionPointer> Module::find_function_uuid_by_name(std::string_view name,
                                                                  bool external) const {
    if (external) {
        for (const auto& [key, ext] : external_functions)
            if (ext.name == name) return FunctionPointer::external(ext.uuid);
        return std::nullopt;
    }
    for (const auto& [key, function] : functions)
        if (function && function->name && *function->name == name)
            return FunctionPointer::internal(function->uuid);
    return std::nullopt;
}

void Module::remap_types(const TypeRemap& map) {
    for (auto& [key, function] : functions) {
        if (!function) continue;
        if (function.use_count() != 1)
            utils::panic(
                "Cannot remap types in function behind Arc; no other references should exist");
        // The function may have been created const; rewriting a copy and swapping it in is
        // sound either way, and nobody else can observe the old one.
        auto rewritten = std::make_shared<Function>(*function);
        rewritten->remap_types(map);
        function = std::move(rewritten);
    }
    for (auto& [key, ext] : external_functions) ext.remap_types(map);
}

}  // namespace kdinstr::modules
