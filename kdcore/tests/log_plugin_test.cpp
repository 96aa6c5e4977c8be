#include <regex>
#include <sstream>

#include "kdcore/base/log_sites.hpp"
#include "kdcore/tests/test_support.hpp"
#include "kdcore/utils/local_time.hpp"

namespace {

using namespace kdtest;
using kdcore::ext::kdlog::impl::LogPluginEXT;
using kdcore::ext::kdlog::impl::stdout_line;
using kdcore::utils::LocalDateTime;
namespace sites = kdcore::base::log_sites;

// Splits captured standard output into (level, text) after checking each line's time stamp.
std::vector<std::pair<std::string, std::string>> parse_stdout(const std::string& out) {
    static const std::regex line_form(
        R"(\[(\w+)\] \d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}(\.\d{3}|\.\d{6}|\.\d{9})? - (.*))");
    std::vector<std::pair<std::string, std::string>> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, line_form)) {
            ADD_FAILURE() << "unexpected stdout line: " << line;
            continue;
        }
        lines.emplace_back(m[1], m[3]);
    }
    if (!out.empty() && out.back() != '\n') ADD_FAILURE() << "output does not end with a newline";
    return lines;
}

TEST(LogPlugin, StdoutLineForm) {
    struct Case {
        LogLevelEXT level;
        std::uint32_t nanosecond;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {LogLevelEXT::Trace, 0, "[Trace] 2024-03-05 04:07:09 - hello\n"},
        {LogLevelEXT::Debug, 500'000'000, "[Debug] 2024-03-05 04:07:09.500 - hello\n"},
        {LogLevelEXT::Info, 123'456'000, "[Info] 2024-03-05 04:07:09.123456 - hello\n"},
        {LogLevelEXT::Warn, 1, "[Warn] 2024-03-05 04:07:09.000000001 - hello\n"},
        {LogLevelEXT::Error, 120'000, "[Error] 2024-03-05 04:07:09.000120 - hello\n"},
    };
    for (const Case& c : cases) {
        LogMessageEXT m;
        m.message = "hello";
        m.level = c.level;
        m.timepoint = LocalDateTime{2024, 3, 5, 4, 7, 9, c.nanosecond};
        EXPECT_EQ(stdout_line(m), c.expected);
    }
}

TEST(LogPlugin, WithoutConfigurationPrintsEveryLine) {
    StdoutCapture capture;
    {
        auto created = InstanceContext::create(make_info({LOGGER}));
        ASSERT_TRUE(created.has_value());
        std::string address = address_of(created->get());
        created->reset();
        auto lines = parse_stdout(capture.finish());
        using Line = std::pair<std::string, std::string>;
        EXPECT_EQ(
            lines,
            (std::vector<Line>{
                {"Trace", "Instance created successfully at " + address},
                {"Info", "Application 'app' v1.2.3 using engine 'eng' v9.8.7 (node ID: 42)"},
                {"Info", "Loaded 1 extensions: [\"__EXT_keldrane_logger\"]"},
                {"Info",
                 "kdcore version: v0.1.2 (features: [\"default\", \"ext_all\", \"ext_kdlog\", "
                 "\"pyo3\"]) -- aarch64-unknown-linux-gnu release"},
                {"Info", "built from commit 00000000.. on branch '<unnamed>'"},
                {"Trace", "Tearing down InstanceContext at " + address},
            }));
    }
}

TEST(LogPlugin, LevelFiltering) {
    const std::vector<LogLevelEXT> levels = {LogLevelEXT::Trace, LogLevelEXT::Debug,
                                             LogLevelEXT::Info, LogLevelEXT::Warn,
                                             LogLevelEXT::Error};
    for (LogLevelEXT threshold : levels) {
        SCOPED_TRACE(std::string(kdcore::ext::kdlog::log_level_name(threshold)));
        auto captured = std::make_shared<Captured>();
        auto info = make_info({LOGGER});
        info.ext.push_back(capture_to(captured, threshold));
        auto created = InstanceContext::create(std::move(info));
        ASSERT_TRUE(created.has_value());
        captured->messages.clear();
        std::vector<std::string> expected;
        for (LogLevelEXT level : levels) {
            kdcore::base::LogSite site = sites::COMPILE_PRODUCED;
            site.level = level;
            (*created)->log(site, static_cast<int>(level));
            if (level >= threshold)
                expected.push_back(fmt::format("Produced {} bytes of compiled module storage",
                                               static_cast<int>(level)));
        }
        EXPECT_EQ(captured->texts(), expected);
    }
}

TEST(LogPlugin, InfoLevelSeesCreationInfoLinesOnly) {
    auto captured = std::make_shared<Captured>();
    auto info = make_info({LOGGER});
    info.ext.push_back(capture_to(captured, LogLevelEXT::Info));
    auto created = InstanceContext::create(std::move(info));
    ASSERT_TRUE(created.has_value());
    created->reset();
    EXPECT_EQ(captured->texts(),
              (std::vector<std::string>{
                  "Application 'app' v1.2.3 using engine 'eng' v9.8.7 (node ID: 42)",
                  "Loaded 1 extensions: [\"__EXT_keldrane_logger\"]",
                  "kdcore version: v0.1.2 (features: [\"default\", \"ext_all\", \"ext_kdlog\", "
                  "\"pyo3\"]) -- aarch64-unknown-linux-gnu release",
                  "built from commit 00000000.. on branch '<unnamed>'"}));
}

std::expected<kdcore::ext::OwnedPlugin, KdError> error_level_logger(
    kdcore::utils::opaque::OpaqueList&) {
    return std::make_unique<LogPluginEXT>(LogLevelEXT::Error, std::nullopt);
}

TEST(LogPlugin, ErrorLevelWithoutCallbackPrintsErrorsOnly) {
    // The records always carry a callback; this entry builds the logger without one.
    static std::once_flag once;
    std::call_once(once, [] {
        kdcore::ext::register_plugin({.name = "__test_error_logger",
                                      .description = "",
                                      .constructor = &error_level_logger,
                                      .uuid = LogPluginEXT::UUID.bytes});
    });
    StdoutCapture capture;
    auto created = InstanceContext::create(make_info({"__test_error_logger"}));
    ASSERT_TRUE(created.has_value());
    (*created)->log(sites::COMPILE_VERIFYING);
    (*created)->log(sites::COMPILE_VERIFY_FAILED, "bad");
    (*created)->log(sites::COMPILE_PRODUCED, 7);
    created->reset();
    using Line = std::pair<std::string, std::string>;
    EXPECT_EQ(parse_stdout(capture.finish()),
              (std::vector<Line>{{"Error", "Module verification failed: bad"}}));
}

TEST(LogPlugin, NamedTwiceWithOneConfiguration) {
    auto captured = std::make_shared<Captured>();
    auto info = make_info({LOGGER, LOGGER});
    info.ext.push_back(capture_to(captured));
    StdoutCapture capture;
    auto created = InstanceContext::create(std::move(info));
    ASSERT_TRUE(created.has_value());
    ASSERT_EQ((*created)->plugins().size(), 1u);
    const auto* logger = (*created)->plugins().begin()->second->as<LogPluginEXT>();
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->level(), LogLevelEXT::Trace);
    EXPECT_FALSE(logger->has_callback());
    created->reset();
    auto lines = parse_stdout(capture.finish());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2].second,
              "Loaded 1 extensions: [\"__EXT_keldrane_logger\", \"__EXT_keldrane_logger\"]");
    // The first logger, which took the callback, was dropped unannounced.
    EXPECT_TRUE(captured->messages.empty());
}

TEST(LogPlugin, FirstOfTwoConfigurationsWins) {
    auto first = std::make_shared<Captured>();
    auto second = std::make_shared<Captured>();
    auto info = make_info({LOGGER});
    info.ext.push_back(capture_to(first, LogLevelEXT::Error));
    info.ext.push_back(capture_to(second));
    auto created = InstanceContext::create(std::move(info));
    ASSERT_TRUE(created.has_value());
    (*created)->log(sites::COMPILE_VERIFY_FAILED, "bad");
    created->reset();
    EXPECT_EQ(first->texts(), (std::vector<std::string>{"Module verification failed: bad"}));
    EXPECT_TRUE(second->messages.empty());
}

TEST(LogPlugin, CreateTakesFirstConfigurationOnly) {
    struct Other final : kdcore::utils::opaque::OpaqueObject {
        std::string debug() const override { return "Other"; }
    };
    kdcore::utils::opaque::OpaqueList list;
    list.push_back(std::make_unique<Other>());
    list.push_back(capture_to(std::make_shared<Captured>(), LogLevelEXT::Warn));
    list.push_back(std::make_unique<Other>());
    list.push_back(capture_to(std::make_shared<Captured>(), LogLevelEXT::Info));
    LogPluginEXT plugin = LogPluginEXT::create(list);
    EXPECT_EQ(plugin.level(), LogLevelEXT::Warn);
    EXPECT_TRUE(plugin.has_callback());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.objects[0]->debug(), "Other");
    EXPECT_EQ(list.objects[1]->debug(), "Other");
    ASSERT_TRUE(list.objects[2]->is<LogCreateInfoEXT>());
    EXPECT_EQ(list.objects[2]->as<LogCreateInfoEXT>()->level, LogLevelEXT::Info);
}

TEST(LogPlugin, CreateInfoDebugText) {
    LogCreateInfoEXT info(LogLevelEXT::Info, LogCallbackEXT([](LogMessageEXT) {}));
    EXPECT_EQ(
        info.debug(),
        fmt::format("LogCreateInfoEXT {{ level: Info, callback: LogCallbackEXT {{ 0: \"{}\" }} }}",
                    info.callback.address()));
}

TEST(LogPlugin, SinkWithoutLoggerInMapDropsMessages) {
    auto created = InstanceContext::create(make_info({}));
    ASSERT_TRUE(created.has_value());
    (*created)->set_log_sink(&LogPluginEXT::log_message);
    StdoutCapture capture;
    (*created)->log(sites::COMPILE_VERIFYING);
    EXPECT_EQ(capture.finish(), "");
}

TEST(LogLevel, NamesAndValues) {
    struct Case {
        std::uint32_t value;
        std::string result;
    };
    const std::vector<Case> cases = {{0, "Trace"},
                                     {1, "Debug"},
                                     {2, "Info"},
                                     {3, "Warn"},
                                     {4, "Error"},
                                     {5, "Invalid LogLevelEXT value: 5"},
                                     {4294967295u, "Invalid LogLevelEXT value: 4294967295"}};
    for (const Case& c : cases) {
        auto level = kdcore::ext::kdlog::log_level_from_value(c.value);
        EXPECT_EQ(level ? std::string(kdcore::ext::kdlog::log_level_name(*level)) : level.error(),
                  c.result);
    }
}

}  // namespace
