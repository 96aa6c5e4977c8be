#include "kdcore/ext/kdlog/impl/log_plugin.hpp"

#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>

#include "kdcore/base/instance_context.hpp"
#include "kdcore/ext/kdlog/log_create_info.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdcore::ext::kdlog::impl {

LogPluginEXT LogPluginEXT::create(kdcore::utils::opaque::OpaqueList& ext) {
    auto info = ext.take_first<LogCreateInfoEXT>();
    if (!info) return LogPluginEXT(LogLevelEXT::Trace, std::nullopt);
    return LogPluginEXT(info->level, std::move(info->callback));
}

void LogPluginEXT::attach_to(std::weak_ptr<kdcore::base::InstanceContext> instance) {
    instance_ = std::move(instance);
}

std::expected<void, kdcore::utils::KdError> LogPluginEXT::initialize() const {
    if (!instance_)
        kdinstr::utils::panic("LogPluginEXT initialized before being attached to an instance");
    std::shared_ptr<kdcore::base::InstanceContext> instance = instance_->lock();
    if (!instance) kdinstr::utils::panic("LogPluginEXT initialized after its instance was dropped");
    // The sink drops every line below the logger's level, which never changes.
    instance->set_log_sink(&LogPluginEXT::log_message, level_);
    return {};
}

void LogPluginEXT::log_message(const kdcore::base::InstanceContext& instance,
                               LogMessageEXT message) {
    const auto& plugins = instance.plugins();
    auto found = plugins.find(UUID);
    if (found == plugins.end()) return;
    const auto* self = found->second->as<LogPluginEXT>();
    if (self == nullptr) return;
    if (log_level_value(message.level) < log_level_value(self->level_)) return;
    if (self->callback_) {
        (*self->callback_)(std::move(message));
        return;
    }
    write_stdout(stdout_line(message));
}

std::expected<OwnedPlugin, kdcore::utils::KdError> construct_log_plugin(
    kdcore::utils::opaque::OpaqueList& ext) {
    return std::make_unique<LogPluginEXT>(LogPluginEXT::create(ext));
}

std::string stdout_line(const LogMessageEXT& message) {
    return fmt::format("[{}] {} - {}\n", log_level_name(message.level),
                       message.timepoint.to_string(), message.message);
}

void write_stdout(std::string_view text) {
    while (!text.empty()) {
        ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace kdcore::ext::kdlog::impl
