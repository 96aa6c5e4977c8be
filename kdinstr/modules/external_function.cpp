#include "kdinstr/modules/external_function.hpp"

namespace kdinstr::modules {

namespace {

void remap_one(types::Typeref& t, const TypeRemap& map) {
    if (auto it = map.find(t); it != map.end()) t = it->second;
}

}  // namespace

void ExternalFunction::remap_types(const TypeRemap& map) {
    for (auto& t : parameter_types) remap_one(t, map);
    if (return_type) remap_one(*return_type, map);
}

}  // namespace kdinstr::modules
