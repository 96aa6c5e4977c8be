#pragma once
// One engine instance: the application's identity, its plugins, its log sink, its type registry
// and its table of loaded modules. Shared by reference counting; the binding's handle holds the
// only strong reference, everything else holds weak ones. Releasing the last strong reference
// tears the instance down.
#include <fmt/format.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>

#include "kdcore/base/api.hpp"
#include "kdcore/base/log_sites.hpp"
#include "kdcore/base/module_key.hpp"
#include "kdcore/compiler/semver.hpp"
#include "kdcore/ext/kdlog/log_message.hpp"
#include "kdcore/ext/plugin.hpp"
#include "kdcore/utils/foreign_references.hpp"
#include "kdcore/utils/kd_error.hpp"
#include "kdcore/utils/slot_map.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::modules {
struct Module;
// As kdinstr/modules/instructions/instruction.hpp has it.
using TypeRemap = std::map<types::Typeref, types::Typeref>;
}

namespace kdcore::base {

namespace module {
struct ModuleContext;
}

class InstanceContext;

// The instance's log sink: a plain function that receives every message of the instance.
using LogSinkFn = void (*)(const InstanceContext& instance,
                           kdcore::ext::kdlog::LogMessageEXT message);

// The default sink: drops the message.
void discard_log_message(const InstanceContext& instance,
                         kdcore::ext::kdlog::LogMessageEXT message);

// A message for `site` with `text`, stamped `timepoint`; no thread name (the system names none).
kdcore::ext::kdlog::LogMessageEXT make_log_message(const LogSite& site, std::string text,
                                                   kdcore::utils::LocalDateTime timepoint);

class InstanceContext {
    struct Token {};

  public:
    // Ordered by the UUID's bytes, compared unsigned.
    using PluginMap = std::map<kdinstr::utils::Uuid, kdcore::ext::OwnedPlugin>;
    using ModuleTable =
        kdcore::utils::SlotMap<ModuleKey, std::shared_ptr<const module::ModuleContext>>;

    // Builds the instance and its plugins, attaches and initialises them, writes the creation
    // lines. A missing plugin, a failing plugin constructor or `initialize` returns its error
    // after the half-built instance was torn down. An exception from a log sink or plugin (a
    // panic) propagates after the same teardown.
    static std::expected<std::shared_ptr<InstanceContext>, kdcore::utils::KdError> create(
        api::InstanceCreateInfo info);

    InstanceContext(Token, std::string application_name, std::string engine_name,
                    kdcore::compiler::Version application_version,
                    kdcore::compiler::Version declared_engine_version, std::uint32_t node_id);
    InstanceContext(const InstanceContext&) = delete;
    InstanceContext& operator=(const InstanceContext&) = delete;

    // Teardown: the teardown line through the current sink while every plugin is in place,
    // then each plugin's `teardown`, highest UUID first. An exception thrown meanwhile goes to
    // kdcore::utils::report_unraisable and the teardown goes on.
    ~InstanceContext();

    const std::string& application_name() const { return application_name_; }
    const std::string& engine_name() const { return engine_name_; }
    // The build record's version: what compiled module storage is written with and matched to.
    const kdcore::compiler::Version& engine_version() const { return engine_version_; }
    const kdcore::compiler::Version& application_version() const { return application_version_; }
    // The caller's declared engine version: only shown, never compared.
    const kdcore::compiler::Version& declared_engine_version() const {
        return declared_engine_version_;
    }
    std::uint32_t node_id() const { return node_id_; }
    // node_id little-endian, then two zero bytes.
    const std::array<std::uint8_t, 6>& node() const { return node_; }

    // Filled during creation, emptied during teardown, never changed in between: read freely.
    const PluginMap& plugins() const { return plugins_; }
    // Shows the host objects the plugins keep alive to `visit`, in ascending UUID order; the
    // first nonzero result ends the walk and is returned. Takes no lock.
    int visit_foreign(kdcore::utils::ForeignVisitFn visit, void* arg) const;

    kdinstr::types::TypeRegistry& type_registry() const { return type_registry_; }

    // The next clock-sequence value for a loaded module's version-6 UUID (only its low 14 bits
    // are meant to be used); the counter starts at a random value.
    std::uint16_t next_clock_sequence() const {
        return uuid_context_.fetch_add(1, std::memory_order_relaxed);
    }

    // --- Log sink ---
    // Replaces the sink under the sink's write lock. Never call it from inside a sink. The sink
    // drops every message below `lowest_shown`: set without a level it may show every level; the
    // default sink (or null) shows none.
    void set_log_sink(LogSinkFn sink, kdcore::ext::kdlog::LogLevelEXT lowest_shown =
                                          kdcore::ext::kdlog::LogLevelEXT::Trace);
    LogSinkFn log_sink() const;
    // Whether the current sink may show a line of `level`. A line it would drop is not built:
    // no time stamp, no text, no call of the sink. Callers ask it before making costly
    // arguments of a line.
    bool log_shown(kdcore::ext::kdlog::LogLevelEXT level) const {
        // Written under the sink's write lock together with the sink; a reader that sees an
        // older value is ordered before that replacement.
        return kdcore::ext::kdlog::log_level_value(level) >=
               log_threshold_.load(std::memory_order_relaxed);
    }
    // Hands `message` to the sink under the sink's read lock (held for the whole call).
    void write_log(kdcore::ext::kdlog::LogMessageEXT message) const;
    // Writes one engine line: the time stamp first, then the text from the site's template;
    // nothing when the sink would drop the line.
    template <typename... Args>
    void log(const LogSite& site, Args&&... args) const {
        if (!log_shown(site.level)) [[likely]]
            return;
        auto timepoint = kdcore::utils::LocalDateTime::now();
        std::string text = fmt::format(fmt::runtime(site.text), std::forward<Args>(args)...);
        write_log(make_log_message(site, std::move(text), timepoint));
    }

    // --- Module table ---
    // Stores `context` under the next key (written into its `key` field) under the table's write
    // lock, released before returning; returns the key.
    ModuleKey insert_module(std::unique_ptr<module::ModuleContext> context);
    // The module stored under `key`; null when there is none.
    std::shared_ptr<const module::ModuleContext> module(ModuleKey key) const;
    std::size_t module_count() const;

    // Verifies and type-checks an IR module whose types are in this instance's registry, gives
    // it a version-6 UUID, analyses its functions and stores it under the next key. A failed
    // check returns KdError::Instr and uses no key. No engine lock is held while a line is
    // written, so the sink may load into this instance again.
    static std::expected<ModuleKey, kdcore::utils::KdError> add_module(
        const std::shared_ptr<InstanceContext>& instance, kdinstr::modules::Module module);
    // The same for a module whose types are still those of another registry, as
    // `module.remap_types(remap)` and then `add_module(instance, module)` would do, `remap` being
    // a merge's mapping into this instance's registry.
    static std::expected<ModuleKey, kdcore::utils::KdError> add_module(
        const std::shared_ptr<InstanceContext>& instance, kdinstr::modules::Module module,
        const kdinstr::modules::TypeRemap& remap);

  private:
    std::string application_name_;
    std::string engine_name_;
    kdcore::compiler::Version engine_version_;
    kdcore::compiler::Version application_version_;
    kdcore::compiler::Version declared_engine_version_;

    mutable std::shared_mutex modules_mutex_;
    ModuleTable modules_;

    PluginMap plugins_;

    mutable std::shared_mutex log_sink_mutex_;
    LogSinkFn log_sink_ = &discard_log_message;
    static constexpr std::uint32_t kShowsNothing =
        kdcore::ext::kdlog::log_level_value(kdcore::ext::kdlog::LogLevelEXT::Error) + 1;
    // The lowest level value the sink may show; past every level for the default sink.
    std::atomic<std::uint32_t> log_threshold_{kShowsNothing};

    mutable kdinstr::types::TypeRegistry type_registry_;
    std::uint32_t node_id_;
    mutable std::atomic<std::uint16_t> uuid_context_;
    std::array<std::uint8_t, 6> node_;
};

}  // namespace kdcore::base
