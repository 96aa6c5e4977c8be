#include "kdinstr/modules/parser/module_names.hpp"

namespace kdinstr::modules::parser {

std::optional<utils::Uuid> ModuleNames::find(const Module& module, std::string_view name,
                                             bool external) {
    auto& table = external ? external_ : internal_;
    if (!table) table = build(module, external);
    if (auto it = table->find(name); it != table->end()) return it->second;
    return std::nullopt;
}

void ModuleNames::added(const Function& function, bool replaced) {
    if (!internal_) return;
    // The function it replaced may have had another name, and its name's view goes with it.
    if (replaced) return internal_.reset();
    if (!function.name) return;
    auto [it, inserted] = internal_->try_emplace(*function.name, function.uuid);
    if (!inserted && function.uuid < it->second) it->second = function.uuid;
}

ModuleNames::Table ModuleNames::build(const Module& module, bool external) {
    Table table;
    if (external) {
        for (const auto& [key, declaration] : module.external_functions)
            table.try_emplace(declaration.name, declaration.uuid);
    } else {
        for (const auto& [key, function] : module.functions)
            if (function && function->name) table.try_emplace(*function->name, function->uuid);
    }
    return table;
}

}  // namespace kdinstr::modules::parser
