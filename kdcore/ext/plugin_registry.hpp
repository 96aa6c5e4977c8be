#pragma once
// The process-wide plugin registry: filled at load time, read afterwards without locks.
#include <array>
#include <cstdint>
#include <expected>
#include <string_view>

#include "kdcore/ext/plugin.hpp"
#include "kdcore/utils/load_time_registry.hpp"

namespace kdcore::ext {

// One registry entry.
struct PluginRegistry {
    std::string_view name;  // matched byte for byte against enabled_extensions
    std::string_view description;
    std::expected<OwnedPlugin, kdcore::utils::KdError> (*constructor)(
        kdcore::utils::opaque::OpaqueList& ext);
    std::array<std::uint8_t, 16> uuid;
};

using PluginRegistryList = kdcore::utils::LoadTimeRegistry<PluginRegistry>;

// The registry itself; walking it yields the most recently registered entry first.
const PluginRegistryList& plugin_registry();

// Adds an entry at the head of the registry. Meant for load-time registration only.
void register_plugin(const PluginRegistry& entry);

// The first entry, from the head, whose name equals `name` byte for byte; null when none does.
const PluginRegistry* find_plugin(std::string_view name);

// The registry entry for the plugin type `Self` (see StaticPluginEXT).
template <typename Self>
PluginRegistry plugin_entry() {
    return PluginRegistry{
        .name = Self::NAME,
        .description = Self::DESCRIPTION,
        .constructor = [](kdcore::utils::opaque::OpaqueList& ext)
            -> std::expected<OwnedPlugin, kdcore::utils::KdError> {
            auto built = Self::create(ext);
            if constexpr (requires { built.has_value(); }) {
                if (!built) return std::unexpected(std::move(built.error()));
                return std::make_unique<Self>(std::move(*built));
            } else {
                return std::make_unique<Self>(std::move(built));
            }
        },
        .uuid = Self::UUID.bytes,
    };
}

// Registers the system's own plugins (the logger) once; later calls do nothing.
void register_builtin_plugins();

}  // namespace kdcore::ext
