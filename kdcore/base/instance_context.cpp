#include "kdcore/base/instance_context.hpp"

#include "kdcore/base/module/module_context.hpp"
#include "kdcore/ext/plugin_registry.hpp"
#include "kdcore/utils/build_info.hpp"
#include "kdcore/utils/unraisable.hpp"
#include "kdinstr/utils/debug_text.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace kdcore::base {

using kdcore::ext::kdlog::LogMessageEXT;
using kdcore::utils::KdError;

void discard_log_message(const InstanceContext&, LogMessageEXT) {}

LogMessageEXT make_log_message(const LogSite& site, std::string text,
                               kdcore::utils::LocalDateTime timepoint) {
    LogMessageEXT message;
    message.message = std::move(text);
    message.module = std::string(site.module);
    message.file = std::string(site.file);
    message.thread_name = std::nullopt;
    message.line = site.line;
    message.level = site.level;
    message.timepoint = timepoint;
    return message;
}

namespace {

std::array<std::uint8_t, 6> node_bytes(std::uint32_t node_id) {
    return {static_cast<std::uint8_t>(node_id),
            static_cast<std::uint8_t>(node_id >> 8),
            static_cast<std::uint8_t>(node_id >> 16),
            static_cast<std::uint8_t>(node_id >> 24),
            0,
            0};
}

// "0x" and lower-case hexadecimal.
std::string address_text(const void* address) { return fmt::format("{}", address); }

}  // namespace

InstanceContext::InstanceContext(Token, std::string application_name, std::string engine_name,
                                 kdcore::compiler::Version application_version,
                                 kdcore::compiler::Version declared_engine_version,
                                 std::uint32_t node_id)
    : application_name_(std::move(application_name)),
      engine_name_(std::move(engine_name)),
      engine_version_(kdcore::utils::build_info().version),
      application_version_(std::move(application_version)),
      declared_engine_version_(std::move(declared_engine_version)),
      type_registry_(0, node_bytes(node_id)),
      node_id_(node_id),
      uuid_context_(kdinstr::utils::random_u16()),
      node_(node_bytes(node_id)) {}

std::expected<std::shared_ptr<InstanceContext>, KdError> InstanceContext::create(
    api::InstanceCreateInfo info) {
    api::ApplicationInfo& app = info.application_info;
    // From here on, every way out (an error or an exception) releases `instance`, which tears
    // it down: the teardown line, then the plugins built so far, highest UUID first.
    auto instance = std::make_shared<InstanceContext>(
        Token{}, std::move(app.application_name), std::move(app.engine_name),
        app.application_version.to_version(), app.engine_version.to_version(), info.node_id);

    for (const std::string& name : info.enabled_extensions) {
        const ext::PluginRegistry* entry = ext::find_plugin(name);
        if (entry == nullptr) return std::unexpected(KdError(KdError::PluginNotFound{name}));
        auto plugin = entry->constructor(info.ext);
        if (!plugin) return std::unexpected(std::move(plugin.error()));
        kdinstr::utils::Uuid uuid = (*plugin)->uuid();
        // A second build of one plugin type replaces the first, which is dropped unannounced.
        instance->plugins_.insert_or_assign(uuid, std::move(*plugin));
    }

    for (auto& [uuid, plugin] : instance->plugins_) plugin->attach_to(instance);

    for (const auto& [uuid, plugin] : instance->plugins_) {
        auto initialized = plugin->initialize();
        if (!initialized) return std::unexpected(std::move(initialized.error()));
    }

    const auto& build = kdcore::utils::build_info();
    const InstanceContext& self = *instance;
    self.log(log_sites::INSTANCE_CREATED, address_text(&self));
    self.log(log_sites::INSTANCE_APPLICATION, self.application_name_, self.application_version_,
             self.engine_name_, self.declared_engine_version_, self.node_id_);
    self.log(log_sites::INSTANCE_EXTENSIONS, self.plugins_.size(),
             kdinstr::utils::debug_text_list(info.enabled_extensions));
    self.log(log_sites::INSTANCE_CORE_VERSION, build.version,
             kdinstr::utils::debug_text_list(build.features), build.target, build.profile);
    std::string_view commit = "00000000";
    std::string_view dirty;
    std::string_view branch = "<unnamed>";
    if (build.vcs) {
        commit = build.vcs->short_commit;
        if (build.vcs->dirty) dirty = " (dirty)";
        if (build.vcs->branch) branch = *build.vcs->branch;
    }
    self.log(log_sites::INSTANCE_BUILT_FROM, commit, dirty, branch);
    return instance;
}

InstanceContext::~InstanceContext() {
    // A destructor must not throw: what a sink or a plugin throws here has no caller to go to.
    try {
        log(log_sites::INSTANCE_TEARDOWN, address_text(this));
    } catch (...) {
        kdcore::utils::report_unraisable(std::current_exception());
    }
    while (!plugins_.empty()) {
        auto node = plugins_.extract(std::prev(plugins_.end()));
        try {
            node.mapped()->teardown();
        } catch (...) {
            kdcore::utils::report_unraisable(std::current_exception());
        }
    }
}

int InstanceContext::visit_foreign(kdcore::utils::ForeignVisitFn visit, void* arg) const {
    for (const auto& [uuid, plugin] : plugins_) {
        if (int result = plugin->visit_foreign(visit, arg); result != 0) return result;
    }
    return 0;
}

void InstanceContext::set_log_sink(LogSinkFn sink, kdcore::ext::kdlog::LogLevelEXT lowest_shown) {
    std::unique_lock lock(log_sink_mutex_);
    log_sink_ = sink ? sink : &discard_log_message;
    log_threshold_.store(log_sink_ == &discard_log_message
                             ? kShowsNothing
                             : kdcore::ext::kdlog::log_level_value(lowest_shown),
                         std::memory_order_relaxed);
}

LogSinkFn InstanceContext::log_sink() const {
    std::shared_lock lock(log_sink_mutex_);
    return log_sink_;
}

void InstanceContext::write_log(LogMessageEXT message) const {
    std::shared_lock lock(log_sink_mutex_);
    log_sink_(*this, std::move(message));
}

ModuleKey InstanceContext::insert_module(std::unique_ptr<module::ModuleContext> context) {
    if (!context) kdinstr::utils::panic("insert_module called without a module context");
    std::unique_lock lock(modules_mutex_);
    return modules_.insert_with_key([&](const ModuleKey& key) {
        context->key = key;
        return std::shared_ptr<const module::ModuleContext>(std::move(context));
    });
}

std::shared_ptr<const module::ModuleContext> InstanceContext::module(ModuleKey key) const {
    std::shared_lock lock(modules_mutex_);
    const auto* found = modules_.get(key);
    return found ? *found : nullptr;
}

std::size_t InstanceContext::module_count() const {
    std::shared_lock lock(modules_mutex_);
    return modules_.size();
}

}  // namespace kdcore::base
