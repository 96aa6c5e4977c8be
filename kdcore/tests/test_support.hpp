#pragma once
// Helpers shared by the engine's tests: instance records, a capturing log callback, test
// plugins that record their lifecycle, and a capture of file descriptor 1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/ext/kdlog/impl/log_plugin.hpp"
#include "kdcore/ext/kdlog/log_create_info.hpp"
#include "kdcore/ext/plugin_registry.hpp"
#include "kdcore/load_time.hpp"

namespace kdtest {

using kdcore::base::InstanceContext;
using kdcore::base::api::InstanceCreateInfo;
using kdcore::ext::kdlog::LogCallbackEXT;
using kdcore::ext::kdlog::LogCreateInfoEXT;
using kdcore::ext::kdlog::LogLevelEXT;
using kdcore::ext::kdlog::LogMessageEXT;
using kdcore::utils::KdError;

inline constexpr const char* LOGGER = "__EXT_keldrane_logger";

inline InstanceCreateInfo make_info(std::vector<std::string> extensions) {
    kdcore::register_load_time_entries();
    InstanceCreateInfo info;
    info.application_info.application_name = "app";
    info.application_info.application_version = {1, 2, 3};
    info.application_info.engine_name = "eng";
    info.application_info.engine_version = {9, 8, 7};
    info.enabled_extensions = std::move(extensions);
    info.node_id = 42;
    return info;
}

// Collects the messages a logger passes on.
struct Captured {
    std::mutex mutex;
    std::vector<LogMessageEXT> messages;

    std::vector<std::string> texts() {
        std::lock_guard lock(mutex);
        std::vector<std::string> out;
        for (const auto& m : messages) out.push_back(m.message);
        return out;
    }
};

inline std::unique_ptr<LogCreateInfoEXT> capture_to(std::shared_ptr<Captured> sink,
                                                    LogLevelEXT level = LogLevelEXT::Trace) {
    return std::make_unique<LogCreateInfoEXT>(level, LogCallbackEXT([sink](LogMessageEXT m) {
                                                  std::lock_guard lock(sink->mutex);
                                                  sink->messages.push_back(std::move(m));
                                              }));
}

inline std::string address_of(const void* p) { return fmt::format("{}", p); }

// Every lifecycle call of the test plugins, in order: "attach A", "initialize B", "teardown C".
inline std::vector<std::string>& lifecycle_events() {
    static std::vector<std::string> events;
    return events;
}

// A plugin type with UUID first byte `First` that records its lifecycle and can be told to fail.
template <std::uint8_t First, char Tag>
class RecordingPlugin final : public kdcore::ext::StaticPluginEXT<RecordingPlugin<First, Tag>> {
  public:
    static constexpr kdinstr::utils::Uuid UUID{
        {First, 0, 0, 0, 0, 0, 0x40, 0, 0x80, 0, 0, 0, 0, 0, 0, 1}};
    static constexpr char NAME_TEXT[] = {'_', '_', 't', 'e', 's', 't', '_', Tag, '\0'};
    static constexpr std::string_view NAME = NAME_TEXT;
    static constexpr std::string_view DESCRIPTION = "test plugin";

    static inline bool fail_initialize = false;

    static RecordingPlugin create(kdcore::utils::opaque::OpaqueList&) { return {}; }

    void attach_to(std::weak_ptr<InstanceContext>) override { record("attach"); }
    std::expected<void, KdError> initialize() const override {
        record("initialize");
        if (fail_initialize) return std::unexpected(KdError(KdError::Unknown{"init failed"}));
        return {};
    }
    void teardown() override { record("teardown"); }

  private:
    static void record(const char* what) {
        lifecycle_events().push_back(fmt::format("{} {}", what, Tag));
    }
};

// UUIDs sort A < (logger 0x20..) < B < C.
using PluginA = RecordingPlugin<0x01, 'A'>;
using PluginB = RecordingPlugin<0x80, 'B'>;
using PluginC = RecordingPlugin<0xf0, 'C'>;

inline std::expected<kdcore::ext::OwnedPlugin, KdError> failing_constructor(
    kdcore::utils::opaque::OpaqueList&) {
    return std::unexpected(KdError(KdError::NotFound{"config", "k"}));
}

inline void register_test_plugins() {
    static std::once_flag once;
    std::call_once(once, [] {
        kdcore::register_load_time_entries();
        kdcore::ext::register_plugin(kdcore::ext::plugin_entry<PluginA>());
        kdcore::ext::register_plugin(kdcore::ext::plugin_entry<PluginB>());
        kdcore::ext::register_plugin(kdcore::ext::plugin_entry<PluginC>());
        kdcore::ext::register_plugin({.name = "__test_failing",
                                      .description = "fails to build",
                                      .constructor = &failing_constructor,
                                      .uuid = {}});
    });
}

// Redirects file descriptor 1 into a pipe until `finish` is called.
class StdoutCapture {
  public:
    StdoutCapture() {
        std::fflush(stdout);
        if (::pipe(fds_) != 0) ADD_FAILURE() << "pipe failed";
        saved_ = ::dup(1);
        ::dup2(fds_[1], 1);
    }
    ~StdoutCapture() { finish(); }

    std::string finish() {
        if (saved_ < 0) return text_;
        ::dup2(saved_, 1);
        ::close(saved_);
        ::close(fds_[1]);
        saved_ = -1;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds_[0], buffer, sizeof buffer)) > 0)
            text_.append(buffer, static_cast<std::size_t>(n));
        ::close(fds_[0]);
        return text_;
    }

  private:
    int fds_[2] = {-1, -1};
    int saved_ = -1;
    std::string text_;
};

}  // namespace kdtest
