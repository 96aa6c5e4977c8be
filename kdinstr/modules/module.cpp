#include "kdinstr/modules/module.hpp"

#include <algorithm>

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
    for (auto& [key, function] : functions) remap_function_types(function, map);
    remap_external_types(map);
}

void Module::remap_function_types(std::shared_ptr<const Function>& function, const TypeRemap& map) {
    if (!function) return;
    if (function.use_count() != 1)
        utils::panic("Cannot remap types in function behind Arc; no other references should exist");
    // Functions are made as non-const objects and only held read-only (see `functions`), and
    // nobody else holds this one: rewriting it in place is sound and spares a copy of every
    // block of the module.
    std::const_pointer_cast<Function>(function)->remap_types(map);
}

void Module::remap_external_types(const TypeRemap& map) {
    for (auto& [key, ext] : external_functions) ext.remap_types(map);
}

std::uint64_t Module::longest_named_type_text(const types::TypeTextLengths& lengths) const {
    const std::uint64_t cap = lengths.cap();
    std::uint64_t longest = 0;
    std::uint64_t place = 0;
    // Neighbouring instructions mostly name the same type: the last answer is kept.
    std::optional<types::Typeref> last;
    std::uint64_t length = 0;
    const auto add = [&](const types::Typeref& type) {
        if (last != type) {
            last = type;
            length = lengths.longest_of(type);
        }
        place = types::saturating_add(place, length, cap);
        longest = std::max(longest, place);
    };
    const auto next_place = [&] { place = 0; };
    for (const auto& [key, function] : functions)
        if (function) function->for_each_type(add, next_place);
    for (const auto& [key, ext] : external_functions) {
        next_place();
        for (const auto& type : ext.parameter_types) add(type);
        if (ext.return_type) add(*ext.return_type);
    }
    return longest;
}

}  // namespace kdinstr::modules
