#include <mutex>

#include "kdcore/ext/kdlog/impl/log_plugin.hpp"
#include "kdcore/ext/plugin_registry.hpp"

namespace kdcore::ext {

void register_builtin_plugins() {
    static std::once_flag once;
    std::call_once(once, [] {
        using kdlog::impl::LogPluginEXT;
        register_plugin({.name = LogPluginEXT::NAME,
                         .description = LogPluginEXT::DESCRIPTION,
                         .constructor = &kdlog::impl::construct_log_plugin,
                         .uuid = LogPluginEXT::UUID.bytes});
    });
}

}  // namespace kdcore::ext
