#include "kdcore/compiler/compiler.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/tests/storage_test_support.hpp"
#include "kdcore/tests/test_support.hpp"
#include "kdinstr/modules/parser/driver.hpp"

namespace {

using namespace kdtest;
using kdcore::base::api::ModuleCompileInfo;
using kdcore::base::api::ModuleSourceInfo;
using kdcore::base::api::ModuleSourceType;
using kdcore::compiler::compile_sources;
using kdcore::compiler::CompiledModuleStorage;

struct CompilingInstance : LoggedInstance {
    explicit CompilingInstance(LogLevelEXT level = LogLevelEXT::Trace) : LoggedInstance(level) {}

    // (level, file:line, text) of every line so far.
    std::vector<std::string> lines() {
        std::vector<std::string> out;
        for (const auto& m : take()) {
            EXPECT_EQ(m.module, "kdcore::compiler");
            out.push_back(fmt::format("{} {}:{} {}", kdcore::ext::kdlog::log_level_name(m.level),
                                      m.file.value_or(""), m.line.value_or(0), m.message));
        }
        return out;
    }
};

ModuleSourceInfo source(std::optional<std::string> filename, std::string data) {
    return ModuleSourceInfo{ModuleSourceType::Assembly, std::move(filename), std::move(data),
                            std::nullopt};
}

TEST(CompileSources, NoSourcesGiveAnEmptyModule) {
    CompilingInstance ci;
    auto bytes = compile_sources(*ci.instance, ModuleCompileInfo{});
    ASSERT_TRUE(bytes.has_value()) << bytes.error().message();
    EXPECT_EQ(ci.lines(),
              (std::vector<std::string>{
                  "Trace kdcore/src/compiler:227 Verifying compiled module",
                  "Trace kdcore/src/compiler:232 Type checking compiled module",
                  "Trace kdcore/src/compiler:117 Serializing compiled module storage (module has "
                  "0 functions)",
                  "Info kdcore/src/compiler:262 Compiled successful, module has 0 functions: []",
                  fmt::format("Info kdcore/src/compiler:273 Produced {} bytes of compiled module "
                              "storage",
                              bytes->size()),
              }));
    auto decoded = CompiledModuleStorage::decode(*ci.instance, *bytes);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
    EXPECT_TRUE(decoded->source_names.empty());
    EXPECT_TRUE(decoded->module.functions.empty());
    EXPECT_EQ(decoded->type_registry.len(), 0u);
    EXPECT_EQ(ci.instance->type_registry().len(), 0u);
}

// The parser's own error comes back unchanged, its source is named in the Error line, and the
// sources after it are never read.
TEST(CompileSources, AParseFailureEndsTheCompilation) {
    const std::string broken = "define ??? {";
    kdinstr::modules::Module scratch;
    kdinstr::types::TypeRegistry registry;
    auto parsed = kdinstr::modules::parser::extend_module_from_string(scratch, registry, broken);
    ASSERT_FALSE(parsed.has_value());
    const std::string message = parsed.error().message();

    for (const std::optional<std::string>& name :
         {std::optional<std::string>("broken.kdasm"), std::optional<std::string>()}) {
        CompilingInstance ci;
        ModuleCompileInfo info;
        info.sources = {source(name, broken), source("never.kdasm", "")};
        auto bytes = compile_sources(*ci.instance, std::move(info));
        ASSERT_FALSE(bytes.has_value());
        ASSERT_TRUE(bytes.error().is<KdError::Instr>());
        EXPECT_EQ(bytes.error().message(), message);
        const std::string label = name.value_or("<unnamed>");
        EXPECT_EQ(ci.lines(),
                  (std::vector<std::string>{
                      "Trace kdcore/src/compiler:200 Compiling source \"" + label + "\"",
                      "Error kdcore/src/compiler:211 Failed to compile assembly "
                      "source \"" +
                          label + "\": " + message,
                  }));
    }
}

// A logger's level decides which lines come; those that come read the same at every level,
// the list of every function's label included.
TEST(CompileSources, LinesBelowTheLoggersLevelAreLeftOut) {
    const std::string text =
        "define void beta() { entry: ret void }\ndefine void alpha() { entry: ret void }\n";
    struct Case {
        LogLevelEXT level;
        std::vector<std::string> prefixes;  // the level and place of each line, in order
    };
    const std::vector<Case> cases = {
        {LogLevelEXT::Trace,
         {"Trace kdcore/src/compiler:200", "Trace kdcore/src/compiler:227",
          "Trace kdcore/src/compiler:232", "Trace kdcore/src/compiler:234",
          "Trace kdcore/src/compiler:234", "Trace kdcore/src/compiler:117",
          "Info kdcore/src/compiler:262", "Info kdcore/src/compiler:273"}},
        {LogLevelEXT::Info, {"Info kdcore/src/compiler:262", "Info kdcore/src/compiler:273"}},
        {LogLevelEXT::Error, {}},
    };
    for (const Case& c : cases) {
        CompilingInstance ci(c.level);
        ModuleCompileInfo info;
        info.sources = {source("two.kdasm", text)};
        auto bytes = compile_sources(*ci.instance, std::move(info));
        ASSERT_TRUE(bytes.has_value()) << bytes.error().message();
        const std::vector<std::string> lines = ci.lines();
        auto decoded = CompiledModuleStorage::decode(*ci.instance, *bytes);
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
        // Functions come in the module's (uuid) order.
        std::vector<std::string> names;
        for (const auto& [uuid, function] : decoded->module.functions)
            names.push_back(function->name.value_or("?"));
        ASSERT_EQ(names.size(), 2u);
        const std::map<std::string, std::string> texts = {
            {"Trace kdcore/src/compiler:200", "Compiling source \"two.kdasm\""},
            {"Trace kdcore/src/compiler:227", "Verifying compiled module"},
            {"Trace kdcore/src/compiler:232", "Type checking compiled module"},
            {"Trace kdcore/src/compiler:117",
             "Serializing compiled module storage (module has 2 functions)"},
            {"Info kdcore/src/compiler:262",
             fmt::format("Compiled successful, module has 2 functions: [\"{}\", \"{}\"]", names[0],
                         names[1])},
            {"Info kdcore/src/compiler:273",
             fmt::format("Produced {} bytes of compiled module storage", bytes->size())},
        };
        std::vector<std::string> expected;
        std::size_t checked = 0;
        for (const std::string& prefix : c.prefixes) {
            const std::string body = prefix == "Trace kdcore/src/compiler:234"
                                         ? "Type checking function '" + names[checked++] + "'"
                                         : texts.at(prefix);
            expected.push_back(prefix + " " + body);
        }
        EXPECT_EQ(lines, expected) << kdcore::ext::kdlog::log_level_name(c.level);
    }
}

}  // namespace
