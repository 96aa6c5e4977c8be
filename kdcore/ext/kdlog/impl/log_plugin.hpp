#pragma once
// The logger extension: installs its own sink into the instance, which passes messages at or
// above a level to a callback, or prints them on standard output when there is none.
#include <memory>
#include <optional>
#include <string_view>

#include "kdcore/ext/kdlog/log_callback.hpp"
#include "kdcore/ext/kdlog/log_level.hpp"
#include "kdcore/ext/kdlog/log_message.hpp"
#include "kdcore/ext/plugin.hpp"
#include "kdcore/utils/opaque.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdcore::ext::kdlog::impl {

class LogPluginEXT final : public StaticPluginEXT<LogPluginEXT> {
  public:
    static constexpr std::string_view NAME = "__EXT_keldrane_logger";
    static constexpr std::string_view DESCRIPTION = "Keldrane Logger Extension";
    static constexpr kdinstr::utils::Uuid UUID{{0x20, 0x18, 0x9b, 0x61, 0x72, 0x79, 0x46, 0xfa,
                                                0x9b, 0xa2, 0x5f, 0x03, 0x60, 0xbf, 0x5b, 0x51}};

    // Takes the first LogCreateInfoEXT out of `ext` (the rest keep their order); without one
    // the logger passes every level and prints. Never fails.
    static LogPluginEXT create(kdcore::utils::opaque::OpaqueList& ext);

    LogPluginEXT(LogLevelEXT level, std::optional<LogCallbackEXT> callback)
        : callback_(std::move(callback)), level_(level) {}

    void attach_to(std::weak_ptr<kdcore::base::InstanceContext> instance) override;
    // Installs log_message as the instance's sink. Panics when not attached to a live instance.
    std::expected<void, kdcore::utils::KdError> initialize() const override;
    void teardown() override {}
    int visit_foreign(kdcore::utils::ForeignVisitFn visit, void* arg) const override {
        return callback_ ? callback_->visit_foreign(visit, arg) : 0;
    }

    // The installed sink: finds the logger in the instance's plugins (none: the message is
    // dropped), filters by level, then calls the callback or prints "[{}] {} - {}\n".
    static void log_message(const kdcore::base::InstanceContext& instance, LogMessageEXT message);

    LogLevelEXT level() const { return level_; }
    bool has_callback() const { return callback_.has_value(); }

  private:
    std::optional<std::weak_ptr<kdcore::base::InstanceContext>> instance_;
    std::optional<LogCallbackEXT> callback_;
    LogLevelEXT level_;
};

// The registry constructor: LogPluginEXT::create on `ext`, owned; never fails.
std::expected<OwnedPlugin, kdcore::utils::KdError> construct_log_plugin(
    kdcore::utils::opaque::OpaqueList& ext);

// The standard-output line for `message`: "[Info] 2024-03-05 14:07:09.5 - text\n".
std::string stdout_line(const LogMessageEXT& message);

// Writes `text` to file descriptor 1 with one write() when the system takes it whole (retrying
// the rest otherwise); failures are dropped, since logging must not end engine work.
void write_stdout(std::string_view text);

}  // namespace kdcore::ext::kdlog::impl
