#include "kdcore/ext/plugin_registry.hpp"

namespace kdcore::ext {

namespace {

constinit PluginRegistryList registry;

}  // namespace

const PluginRegistryList& plugin_registry() { return registry; }

void register_plugin(const PluginRegistry& entry) { registry.push(entry); }

const PluginRegistry* find_plugin(std::string_view name) {
    return registry.find_if([&](const PluginRegistry& entry) { return entry.name == name; });
}

}  // namespace kdcore::ext
