#include <regex>

#include "kdcore/base/log_sites.hpp"
#include "kdcore/tests/test_support.hpp"
#include "kdcore/utils/unraisable.hpp"
#include "kdinstr/utils/panic.hpp"

namespace {

using namespace kdtest;
namespace sites = kdcore::base::log_sites;

struct ExpectedLine {
    LogLevelEXT level;
    std::string message;
    std::uint32_t line;
};

void expect_lines(const std::vector<LogMessageEXT>& got, const std::vector<ExpectedLine>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].level, want[i].level);
        EXPECT_EQ(got[i].message, want[i].message);
        EXPECT_EQ(got[i].module, "kdcore::base");
        EXPECT_EQ(got[i].file, std::optional<std::string>("kdcore/src/base/mod"));
        EXPECT_EQ(got[i].line, std::optional<std::uint32_t>(want[i].line));
        EXPECT_EQ(got[i].thread_name, std::nullopt);
    }
}

TEST(InstanceContext, CreationAndTeardownLines) {
    auto captured = std::make_shared<Captured>();
    auto info = make_info({LOGGER});
    info.application_info.application_name = "My \"App\"";
    info.ext.push_back(capture_to(captured));
    auto created = kdcore::base::api::create_instance(std::move(info));
    ASSERT_TRUE(created.has_value());
    std::string address = address_of(created->get());
    EXPECT_EQ((*created)->node(), (std::array<std::uint8_t, 6>{42, 0, 0, 0, 0, 0}));
    created->reset();

    expect_lines(
        captured->messages,
        {
            {LogLevelEXT::Trace, "Instance created successfully at " + address, 152},
            {LogLevelEXT::Info,
             "Application 'My \"App\"' v1.2.3 using engine 'eng' v9.8.7 (node ID: 42)", 157},
            {LogLevelEXT::Info, "Loaded 1 extensions: [\"__EXT_keldrane_logger\"]", 166},
            {LogLevelEXT::Info,
             "kdcore version: v0.1.2 (features: [\"default\", \"ext_all\", \"ext_kdlog\", "
             "\"pyo3\"]) -- aarch64-unknown-linux-gnu release",
             172},
            {LogLevelEXT::Info, "built from commit 00000000.. on branch '<unnamed>'", 180},
            {LogLevelEXT::Trace, "Tearing down InstanceContext at " + address, 73},
        });
}

TEST(InstanceContext, RecordFieldsAndVersions) {
    auto info = make_info({});
    info.node_id = 0x01020304;
    auto created = InstanceContext::create(std::move(info));
    ASSERT_TRUE(created.has_value());
    const InstanceContext& ctx = **created;
    EXPECT_EQ(ctx.application_name(), "app");
    EXPECT_EQ(ctx.engine_name(), "eng");
    EXPECT_EQ(ctx.engine_version().to_string(), "0.1.2");
    EXPECT_EQ(ctx.application_version().to_string(), "1.2.3");
    EXPECT_EQ(ctx.declared_engine_version().to_string(), "9.8.7");
    EXPECT_EQ(ctx.node_id(), 0x01020304u);
    EXPECT_EQ(ctx.node(), (std::array<std::uint8_t, 6>{4, 3, 2, 1, 0, 0}));
    EXPECT_TRUE(ctx.plugins().empty());
    EXPECT_EQ(ctx.module_count(), 0u);
    EXPECT_EQ(ctx.type_registry().len(), 0u);
    EXPECT_EQ(ctx.log_sink(), &kdcore::base::discard_log_message);
    std::uint16_t first = ctx.next_clock_sequence();
    EXPECT_EQ(ctx.next_clock_sequence(), static_cast<std::uint16_t>(first + 1));
}

TEST(InstanceContext, LifecycleFollowsUuidOrder) {
    register_test_plugins();
    lifecycle_events().clear();
    auto created = InstanceContext::create(make_info({"__test_C", "__test_A", "__test_B"}));
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ((*created)->plugins().size(), 3u);
    created->reset();
    EXPECT_EQ(lifecycle_events(),
              (std::vector<std::string>{"attach A", "attach B", "attach C", "initialize A",
                                        "initialize B", "initialize C", "teardown C", "teardown B",
                                        "teardown A"}));
}

TEST(InstanceContext, FailedCreationTearsDownWhatWasBuilt) {
    register_test_plugins();
    struct Case {
        std::vector<std::string> names;
        std::string error;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases = {
        {{"__test_B", "__test_A", "nope"},
         "Plugin with name 'nope' not found",
         {"teardown B", "teardown A"}},
        // Names match byte for byte.
        {{"__EXT_Keldrane_logger"}, "Plugin with name '__EXT_Keldrane_logger' not found", {}},
        {{"__test_A", "__test_failing", "__test_B"},
         "Failed to find config with key 'k'",
         {"teardown A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        lifecycle_events().clear();
        auto captured = std::make_shared<Captured>();
        auto info = make_info(c.names);
        info.ext.push_back(capture_to(captured));
        auto created = InstanceContext::create(std::move(info));
        ASSERT_FALSE(created.has_value());
        EXPECT_EQ(created.error().message(), c.error);
        EXPECT_EQ(lifecycle_events(), c.events);
        EXPECT_TRUE(captured->messages.empty());
    }
}

TEST(InstanceContext, FailedInitializeTearsDownThroughInstalledSink) {
    register_test_plugins();
    lifecycle_events().clear();
    PluginC::fail_initialize = true;
    auto captured = std::make_shared<Captured>();
    auto info = make_info({"__test_C", LOGGER, "__test_A"});
    info.ext.push_back(capture_to(captured));
    auto created = InstanceContext::create(std::move(info));
    PluginC::fail_initialize = false;
    ASSERT_FALSE(created.has_value());
    EXPECT_EQ(created.error().message(), "An unknown error occurred: init failed");
    EXPECT_EQ(lifecycle_events(),
              (std::vector<std::string>{"attach A", "attach C", "initialize A", "initialize C",
                                        "teardown C", "teardown A"}));
    // The logger (UUID between A and C) was initialised before C failed: it sees the teardown.
    ASSERT_EQ(captured->messages.size(), 1u);
    EXPECT_TRUE(std::regex_match(captured->messages[0].message,
                                 std::regex("Tearing down InstanceContext at 0x[0-9a-f]+")))
        << captured->messages[0].message;
}

void recording_sink(const InstanceContext&, LogMessageEXT message);
std::vector<std::string> sink_texts;
void recording_sink(const InstanceContext&, LogMessageEXT message) {
    sink_texts.push_back(message.message);
}

TEST(InstanceContext, SinkReplacement) {
    auto created = InstanceContext::create(make_info({}));
    ASSERT_TRUE(created.has_value());
    InstanceContext& ctx = **created;
    sink_texts.clear();
    ctx.log(sites::COMPILE_PRODUCED, 10);  // discarded
    ctx.set_log_sink(&recording_sink);
    EXPECT_EQ(ctx.log_sink(), &recording_sink);
    ctx.log(sites::COMPILE_PRODUCED, 20);
    ctx.log(sites::COMPILE_SOURCE, "a.kd");
    ctx.set_log_sink(nullptr);
    EXPECT_EQ(ctx.log_sink(), &kdcore::base::discard_log_message);
    ctx.log(sites::COMPILE_PRODUCED, 30);
    EXPECT_EQ(sink_texts, (std::vector<std::string>{"Produced 20 bytes of compiled module storage",
                                                    "Compiling source \"a.kd\""}));
}

// A sink set with a level is not handed the lines below it; one set without a level gets
// every line, and the default sink none.
TEST(InstanceContext, SinkLevelDecidesWhichLinesAreWritten) {
    struct Case {
        const char* what;
        void (*install)(InstanceContext&);
        std::vector<bool> shown;  // Trace, Debug, Info, Warn, Error
        std::vector<std::string> texts;
    };
    const std::vector<Case> cases = {
        {"default sink", [](InstanceContext&) {}, {false, false, false, false, false}, {}},
        {"sink without a level",
         [](InstanceContext& c) { c.set_log_sink(&recording_sink); },
         {true, true, true, true, true},
         {"Compiling source \"a.kd\"", "Produced 20 bytes of compiled module storage",
          "Module verification failed: x"}},
        {"sink from Info on",
         [](InstanceContext& c) { c.set_log_sink(&recording_sink, LogLevelEXT::Info); },
         {false, false, true, true, true},
         {"Produced 20 bytes of compiled module storage", "Module verification failed: x"}},
        {"sink from Error on",
         [](InstanceContext& c) { c.set_log_sink(&recording_sink, LogLevelEXT::Error); },
         {false, false, false, false, true},
         {"Module verification failed: x"}},
        {"null sink with a level",
         [](InstanceContext& c) { c.set_log_sink(nullptr, LogLevelEXT::Trace); },
         {false, false, false, false, false},
         {}},
        {"the default sink named with a level",
         [](InstanceContext& c) {
             c.set_log_sink(&recording_sink, LogLevelEXT::Trace);
             c.set_log_sink(&kdcore::base::discard_log_message, LogLevelEXT::Trace);
         },
         {false, false, false, false, false},
         {}},
    };
    for (const Case& c : cases) {
        auto created = InstanceContext::create(make_info({}));
        ASSERT_TRUE(created.has_value());
        InstanceContext& ctx = **created;
        sink_texts.clear();
        c.install(ctx);
        std::vector<bool> shown;
        for (std::uint32_t v = 0; v <= 4; ++v)
            shown.push_back(ctx.log_shown(*kdcore::ext::kdlog::log_level_from_value(v)));
        EXPECT_EQ(shown, c.shown) << c.what;
        ctx.log(sites::COMPILE_SOURCE, "a.kd");
        ctx.log(sites::COMPILE_PRODUCED, 20);
        ctx.log(sites::COMPILE_VERIFY_FAILED, "x");
        EXPECT_EQ(sink_texts, c.texts) << c.what;
        ctx.set_log_sink(nullptr);
    }
}

// The logger's sink reports the logger's level, so lines below it are never built.
TEST(InstanceContext, LoggerLevelIsTheSinksLevel) {
    for (const LogLevelEXT level : {LogLevelEXT::Trace, LogLevelEXT::Info, LogLevelEXT::Error}) {
        auto captured = std::make_shared<Captured>();
        auto info = make_info({LOGGER});
        info.ext.push_back(capture_to(captured, level));
        auto created = InstanceContext::create(std::move(info));
        ASSERT_TRUE(created.has_value());
        const InstanceContext& ctx = **created;
        for (std::uint32_t v = 0; v <= 4; ++v)
            EXPECT_EQ(ctx.log_shown(*kdcore::ext::kdlog::log_level_from_value(v)),
                      v >= kdcore::ext::kdlog::log_level_value(level))
                << v;
    }
}

TEST(InstanceContext, WritingSitesCarryTheirPlace) {
    auto captured = std::make_shared<Captured>();
    auto info = make_info({LOGGER});
    info.ext.push_back(capture_to(captured));
    auto created = InstanceContext::create(std::move(info));
    ASSERT_TRUE(created.has_value());
    captured->messages.clear();
    (*created)->log(sites::COMPILE_TYPE_CHECK_FAILED, "f", "boom");
    (*created)->log(sites::ADD_MODULE_INSERTED, kdcore::base::ModuleKey(1, 1));
    ASSERT_EQ(captured->messages.size(), 2u);
    const LogMessageEXT& a = captured->messages[0];
    EXPECT_EQ(a.message, "Type check failed for function 'f': boom");
    EXPECT_EQ(a.level, LogLevelEXT::Error);
    EXPECT_EQ(a.module, "kdcore::compiler");
    EXPECT_EQ(a.file, std::optional<std::string>("kdcore/src/compiler"));
    EXPECT_EQ(a.line, std::optional<std::uint32_t>(242));
    const LogMessageEXT& b = captured->messages[1];
    EXPECT_EQ(b.message, "ModuleContext inserted into InstanceContext with key ModuleKey(1v1)");
    EXPECT_EQ(b.module, "kdcore::base");
    EXPECT_EQ(b.line, std::optional<std::uint32_t>(266));
}

// A callback that throws on chosen messages, as the binding's does when the Python callable raises.
struct ThrowingSink {
    std::vector<std::string> seen;
    std::vector<std::string> throw_on_prefix;
};

std::vector<std::string> unraisable_reports;
void record_unraisable(std::exception_ptr error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        unraisable_reports.push_back(e.what());
    }
}

std::unique_ptr<LogCreateInfoEXT> throwing_logger(std::shared_ptr<ThrowingSink> sink) {
    return std::make_unique<LogCreateInfoEXT>(
        LogLevelEXT::Trace, LogCallbackEXT([sink](LogMessageEXT m) {
            sink->seen.push_back(m.message);
            for (const auto& prefix : sink->throw_on_prefix)
                if (m.message.rfind(prefix, 0) == 0)
                    throw std::runtime_error("raised on: " + prefix);
        }));
}

TEST(InstanceContext, ThrowingCallbackDuringCreation) {
    auto previous = kdcore::utils::set_unraisable_hook(&record_unraisable);
    unraisable_reports.clear();
    auto sink = std::make_shared<ThrowingSink>();
    sink->throw_on_prefix = {"Loaded ", "Tearing down"};
    auto info = make_info({LOGGER});
    info.ext.push_back(throwing_logger(sink));
    std::string first;
    try {
        (void)InstanceContext::create(std::move(info));
        ADD_FAILURE() << "creation did not throw";
    } catch (const std::runtime_error& e) {
        first = e.what();
    }
    kdcore::utils::set_unraisable_hook(previous);
    EXPECT_EQ(first, "raised on: Loaded ");
    EXPECT_EQ(unraisable_reports, (std::vector<std::string>{"raised on: Tearing down"}));
    ASSERT_EQ(sink->seen.size(), 4u);
    const std::string created_prefix = "Instance created successfully at ";
    ASSERT_EQ(sink->seen[0].substr(0, created_prefix.size()), created_prefix);
    std::string address = sink->seen[0].substr(created_prefix.size());
    EXPECT_EQ(sink->seen[2], "Loaded 1 extensions: [\"__EXT_keldrane_logger\"]");
    EXPECT_EQ(sink->seen[3], "Tearing down InstanceContext at " + address);
}

TEST(InstanceContext, ThrowingCallbackLeavesInstanceUsable) {
    auto sink = std::make_shared<ThrowingSink>();
    auto info = make_info({LOGGER});
    info.ext.push_back(throwing_logger(sink));
    auto created = InstanceContext::create(std::move(info));
    ASSERT_TRUE(created.has_value());
    InstanceContext& ctx = **created;
    std::string address = address_of(&ctx);
    sink->seen.clear();
    sink->throw_on_prefix = {"Compiling"};
    EXPECT_THROW(ctx.log(sites::COMPILE_SOURCE, "x"), std::runtime_error);
    sink->throw_on_prefix.clear();
    ctx.log(sites::COMPILE_VERIFYING);
    // The sink's lock is free again: taking it for writing does not wait.
    ctx.set_log_sink(ctx.log_sink());
    EXPECT_EQ(ctx.module_count(), 0u);
    created->reset();
    EXPECT_EQ(sink->seen,
              (std::vector<std::string>{"Compiling source \"x\"", "Verifying compiled module",
                                        "Tearing down InstanceContext at " + address}));
}

TEST(InstanceContext, PanicInTeardownGoesToUnraisableHook) {
    auto previous = kdcore::utils::set_unraisable_hook(&record_unraisable);
    unraisable_reports.clear();
    auto sink = std::make_shared<ThrowingSink>();
    auto info = make_info({LOGGER});
    info.ext.push_back(throwing_logger(sink));
    auto created = InstanceContext::create(std::move(info));
    ASSERT_TRUE(created.has_value());
    sink->throw_on_prefix = {"Tearing down"};
    created->reset();
    kdcore::utils::set_unraisable_hook(previous);
    EXPECT_EQ(unraisable_reports, (std::vector<std::string>{"raised on: Tearing down"}));
}

}  // namespace

#include "kdcore/base/module/module_context.hpp"

namespace {

TEST(InstanceContext, ModuleTableHandsOutKeysInOrder) {
    auto created = kdtest::InstanceContext::create(kdtest::make_info({}));
    ASSERT_TRUE(created.has_value());
    kdtest::InstanceContext& ctx = **created;
    std::vector<std::string> keys;
    for (int i = 0; i < 2; ++i) {
        auto module = std::make_unique<kdcore::base::module::ModuleContext>();
        module->instance = *created;
        module->uuid.bytes[0] = static_cast<std::uint8_t>(i + 1);
        kdcore::base::ModuleKey key = ctx.insert_module(std::move(module));
        keys.push_back(key.to_string());
        auto stored = ctx.module(key);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored->key, key);
        EXPECT_EQ(stored->uuid.bytes[0], i + 1);
        EXPECT_TRUE(stored->theorems.empty());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"ModuleKey(1v1)", "ModuleKey(2v1)"}));
    EXPECT_EQ(ctx.module_count(), 2u);
    EXPECT_EQ(ctx.module(kdcore::base::ModuleKey::null()), nullptr);
}

}  // namespace
