#include "kdcore/compiler/load_module.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kdcore/base/module/module_context.hpp"
#include "kdcore/tests/sample_storages.hpp"
#include "kdcore/tests/test_support.hpp"
#include "kdinstr/utils/panic.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace {

using namespace kdtest;
using kdcore::base::ModuleKey;
using kdcore::compiler::CompiledModuleStorage;
using kdcore::compiler::load_module;
using Bytes = std::vector<std::uint8_t>;

// One log line as the tests compare it: everything but the time stamp.
struct Line {
    LogLevelEXT level;
    std::string module;
    std::string file;
    std::uint32_t line;
    std::string text;

    bool operator==(const Line&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Line& l) {
        return out << static_cast<int>(l.level) << " " << l.module << " " << l.file << ":" << l.line
                   << " " << l.text;
    }
};

Line base(std::uint32_t line, LogLevelEXT level, std::string text) {
    return {level, "kdcore::base", "kdcore/src/base/mod", line, std::move(text)};
}
Line compiler(std::uint32_t line, LogLevelEXT level, std::string text) {
    return {level, "kdcore::compiler", "kdcore/src/compiler", line, std::move(text)};
}

// An instance whose logger hands every line to `on_line` (after recording it), which a test
// may set to act from inside the sink.
struct HookedInstance {
    std::shared_ptr<std::vector<Line>> lines = std::make_shared<std::vector<Line>>();
    std::shared_ptr<std::function<void(const Line&)>> on_line =
        std::make_shared<std::function<void(const Line&)>>();
    std::shared_ptr<InstanceContext> instance;

    explicit HookedInstance(std::uint32_t node_id = 42, LogLevelEXT level = LogLevelEXT::Trace) {
        auto info = make_info({LOGGER});
        info.node_id = node_id;
        info.ext.push_back(std::make_unique<LogCreateInfoEXT>(
            level, LogCallbackEXT([lines = lines, on_line = on_line](LogMessageEXT m) {
                EXPECT_FALSE(m.thread_name.has_value());
                Line line{m.level, m.module, m.file.value_or("<none>"), m.line.value_or(0),
                          m.message};
                lines->push_back(line);
                if (*on_line) (*on_line)(line);
            })));
        auto created = kdcore::base::api::create_instance(std::move(info));
        if (!created) {
            ADD_FAILURE() << created.error().message();
            return;
        }
        instance = *created;
        lines->clear();
    }

    std::vector<Line> take() { return std::exchange(*lines, {}); }
};

Bytes encode(const CompiledModuleStorage& storage) {
    auto instance = kdcore::base::api::create_instance(make_info({}));
    EXPECT_TRUE(instance.has_value());
    auto bytes = CompiledModuleStorage::encode(storage, **instance);
    EXPECT_TRUE(bytes.has_value());
    return bytes.value_or(Bytes{});
}

// The lines of a load up to and including the merge line.
std::vector<Line> load_start(std::size_t functions, std::size_t bytes, std::string files,
                             std::size_t stored_types, std::size_t instance_types) {
    return {
        compiler(154, LogLevelEXT::Trace,
                 fmt::format("Deserializing compiled module storage ({} bytes)", bytes)),
        compiler(284, LogLevelEXT::Trace,
                 fmt::format("Loaded compiled module with {} functions from {} bytes", functions,
                             bytes)),
        compiler(290, LogLevelEXT::Trace, "Module originally compiled from: " + files),
        compiler(297, LogLevelEXT::Trace,
                 fmt::format("Merging type registry ({} types) into instance's registry ({} types)",
                             stored_types, instance_types)),
    };
}

std::vector<Line> concat(std::vector<Line> a, const std::vector<Line>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Kills the test binary if a case deadlocks instead of hanging the run.
struct Watchdog {
    explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
    ~Watchdog() { ::alarm(0); }
};

TEST(LoadModule, LoadingTwiceGivesTwoKeysUuidsAndTheLinesInOrder) {
    HookedInstance hi(0x0A0B0C0D);
    const Bytes bytes = encode(samples::two_functions());

    auto first = load_module(hi.instance, bytes);
    ASSERT_TRUE(first.has_value()) << first.error().message();
    EXPECT_EQ(first->to_string(), "ModuleKey(1v1)");
    const auto context = hi.instance->module(*first);
    ASSERT_NE(context, nullptr);
    const std::size_t types_after_first = hi.instance->type_registry().len();

    const std::vector<Line> added = {
        base(209, LogLevelEXT::Trace, "Verifying module before adding to instance"),
        base(213, LogLevelEXT::Trace, "Type checking function 'helper'"),
        base(213, LogLevelEXT::Trace, "Type checking function 'main'"),
        base(252, LogLevelEXT::Info,
             fmt::format("Module with UUID {} added to instance. Contains functions: "
                         "[\"helper\", \"main\"]",
                         context->uuid.to_string())),
        base(266, LogLevelEXT::Trace,
             "ModuleContext inserted into InstanceContext with key ModuleKey(1v1)"),
    };
    EXPECT_EQ(hi.take(),
              concat(load_start(2, bytes.size(), "helper.kdasm, main.kdasm", 4, 0), added));

    auto second = load_module(hi.instance, bytes);
    ASSERT_TRUE(second.has_value()) << second.error().message();
    EXPECT_EQ(second->to_string(), "ModuleKey(2v1)");
    const auto second_context = hi.instance->module(*second);
    ASSERT_NE(second_context, nullptr);
    const auto lines = hi.take();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[3], load_start(2, bytes.size(), "", 4, types_after_first)[3]);
    EXPECT_EQ(lines[8].text, "ModuleContext inserted into InstanceContext with key ModuleKey(2v1)");
    // The second merge finds every type already there.
    EXPECT_EQ(hi.instance->type_registry().len(), types_after_first);
    EXPECT_EQ(hi.instance->module_count(), 2u);

    // Version 6, time-ordered, ending in the node id little-endian and two zero bytes.
    for (const auto* c : {context.get(), second_context.get()}) {
        EXPECT_EQ(c->uuid.bytes[6] >> 4, 6);
        EXPECT_EQ(c->uuid.to_string().substr(24), "0d0c0b0a0000");
    }
    EXPECT_NE(context->uuid, second_context->uuid);
    EXPECT_LE(kdinstr::utils::v6_timestamp(context->uuid),
              kdinstr::utils::v6_timestamp(second_context->uuid));
}

// Above Trace only the line naming the module and its functions comes, as it reads at Trace.
TEST(LoadModule, ALoggerAtInfoSeesOnlyTheAddedLine) {
    HookedInstance hi(0x0A0B0C0D, LogLevelEXT::Info);
    auto key = load_module(hi.instance, encode(samples::two_functions()));
    ASSERT_TRUE(key.has_value()) << key.error().message();
    const auto context = hi.instance->module(*key);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(hi.take(),
              (std::vector<Line>{base(252, LogLevelEXT::Info,
                                      fmt::format("Module with UUID {} added to instance. "
                                                  "Contains functions: [\"helper\", \"main\"]",
                                                  context->uuid.to_string()))}));
}

TEST(LoadModule, TheContextHoldsTheRemappedModuleAndOneAnalysisPerFunction) {
    HookedInstance hi;
    auto key = load_module(hi.instance, encode(samples::two_functions()));
    ASSERT_TRUE(key.has_value()) << key.error().message();
    const auto context = hi.instance->module(*key);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->key, *key);
    EXPECT_EQ(context->instance.lock(), hi.instance);
    EXPECT_TRUE(context->theorems.empty());
    ASSERT_EQ(context->module.functions.size(), 2u);
    EXPECT_EQ(context->functions.size(), 2u);

    const auto i32 =
        hi.instance->type_registry().search_or_insert(kdinstr::types::primary::IType{32});
    for (const auto& [uuid, function] : context->module.functions) {
        ASSERT_TRUE(context->functions.read(uuid, [&](const auto& fc) {
            EXPECT_EQ(fc.uuid, uuid);
            EXPECT_EQ(fc.function, function);  // the module's own function, shared
            EXPECT_EQ(fc.analysis.function, function);
            EXPECT_EQ(fc.analysis.flow_graph.node_count(), function->body.size());
            std::lock_guard lock(fc.attached.mutex);
            EXPECT_TRUE(fc.attached.functions.empty());
        }));
        // The signature now names the instance's types.
        EXPECT_EQ(function->parameters.at(0).second, i32);
        EXPECT_EQ(function->return_type, i32);
    }
}

struct FailingLoad {
    std::string name;
    Bytes bytes;
    std::string error;
    std::vector<Line> lines;  // beyond the deserialising line
};

TEST(LoadModule, FailuresUseNoKeyAndLeaveTheTableAlone) {
    const Bytes unmergeable = encode(samples::unmergeable_registry());
    const Bytes cyclic = encode(samples::cyclic_registry());
    const Bytes unverifiable = encode(samples::failing_verification());
    const Bytes mistyped = encode(samples::failing_type_check());
    // Ending with the merge line: no line of its own for an unmergeable registry.
    auto unmergeable_lines = load_start(0, unmergeable.size(), "", 2, 0);
    unmergeable_lines.erase(unmergeable_lines.begin());
    const std::string mismatch_text =
        "Type mismatch in instruction `%1: i16 = iadd.wrap %0, i32 1`: expected type `i16`, but "
        "found type `i32`.";
    const std::vector<FailingLoad> cases = {
        {"magic",
         Bytes{'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'd', 'u', 'l', 'e'},
         "An unknown error occurred: Failed to read compiled module storage header: Invalid "
         "magic bytes in compiled module storage",
         {compiler(174, LogLevelEXT::Error,
                   "Failed to read compiled module storage header: Invalid magic bytes in "
                   "compiled module storage")}},
        {"unmergeable", unmergeable,
         "An unknown error occurred: cannot merge type registry: unresolvable types (an element "
         "neither stored nor a wildcard, or a cycle): [" +
             kdinstr::tests::ty(0x33).to_string() + "]",
         unmergeable_lines},
        {"cyclic",
         cyclic,
         "An unknown error occurred: cannot merge type registry: unresolvable types (an element "
         "neither stored nor a wildcard, or a cycle): [" +
             kdinstr::tests::ty(0x21).to_string() + ", " + kdinstr::tests::ty(0x22).to_string() +
             "]",
         {}},
        {"verification",
         unverifiable,
         "By convention, the entrypoint basic block of a function must have label `label_0`. No "
         "such basic block was found.",
         {}},
        {"type check", mistyped, mismatch_text, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HookedInstance hi;
        auto key = load_module(hi.instance, c.bytes);
        ASSERT_FALSE(key.has_value());
        EXPECT_EQ(key.error().message(), c.error);
        const auto lines = hi.take();
        if (!c.lines.empty()) {
            EXPECT_EQ(std::vector<Line>(lines.begin() + 1, lines.end()), c.lines);
        }
        EXPECT_EQ(hi.instance->module_count(), 0u);
        // The instance goes on working, and the failed load used no key.
        auto next = load_module(hi.instance, encode(samples::two_functions()));
        ASSERT_TRUE(next.has_value()) << next.error().message();
        EXPECT_EQ(next->to_string(), "ModuleKey(1v1)");
    }
}

TEST(LoadModule, CheckFailuresLogAfterTheMergeAndKeepTheMergedTypes) {
    {
        HookedInstance hi;
        const Bytes bytes = encode(samples::failing_verification());
        ASSERT_FALSE(load_module(hi.instance, bytes).has_value());
        // No Error line for a verification failure.
        EXPECT_EQ(
            hi.take(),
            concat(load_start(1, bytes.size(), "", 1, 0),
                   {base(209, LogLevelEXT::Trace, "Verifying module before adding to instance")}));
        EXPECT_EQ(hi.instance->type_registry().len(), 1u);
    }
    {
        HookedInstance hi;
        const Bytes bytes = encode(samples::failing_type_check());
        ASSERT_FALSE(load_module(hi.instance, bytes).has_value());
        const auto lines = hi.take();
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(
            std::vector<Line>(lines.begin() + 4, lines.end()),
            (std::vector<Line>{
                base(209, LogLevelEXT::Trace, "Verifying module before adding to instance"),
                base(213, LogLevelEXT::Trace, "Type checking function 'fine'"),
                base(213, LogLevelEXT::Trace, "Type checking function 'mistyped'"),
                base(221, LogLevelEXT::Error,
                     "Type check failed for function 'mistyped': Type mismatch in instruction "
                     "`%1: i16 = iadd.wrap %0, i32 1`: expected type `i16`, but found type "
                     "`i32`."),
            }));
        EXPECT_GE(hi.instance->type_registry().len(), 1u);
    }
}

TEST(LoadModule, UndefOperandsFollowTheirTypesIntoTheInstance) {
    HookedInstance hi;
    // Shift the instance's registry so that stored and instance Typerefs cannot coincide.
    hi.instance->type_registry().search_or_insert(kdinstr::types::primary::IType{3});
    auto key = load_module(hi.instance, encode(samples::undef_operands()));
    ASSERT_TRUE(key.has_value()) << key.error().message();
    const auto lines = hi.take();
    const std::string uuid = hi.instance->module(*key)->uuid.to_string();
    EXPECT_EQ(lines.at(lines.size() - 2).text, "Module with UUID " + uuid +
                                                   " added to instance. Contains functions: [\"@" +
                                                   kdinstr::tests::uuid(7).to_string() + "\"]");
    EXPECT_EQ(lines.at(5).text,
              "Type checking function '@" + kdinstr::tests::uuid(7).to_string() + "'");
}

// A storage may name a registry type by what reads as a wildcard's reference: the verification
// sees the instance's type it is merged into, as when the whole module is remapped first (and
// the function, which declares no wildcard, loads).
TEST(LoadModule, AStoredTypeUnderAWildcardsReferenceIsRemappedBeforeTheVerification) {
    namespace ib = kdinstr::tests;
    CompiledModuleStorage storage;
    const kdinstr::types::Typeref odd = kdinstr::types::Typeref::wildcard(3);
    storage.type_registry.insert_decoded(odd, kdinstr::types::primary::IType{32});
    storage.module = ib::module_of({ib::FunctionBuilder()
                                        .uuid(ib::uuid(9))
                                        .name("odd")
                                        .param(0, odd)
                                        .returns(odd)
                                        .block(0, {}, ib::ret(ib::reg(0)))
                                        .build()});
    HookedInstance hi;
    auto key = load_module(hi.instance, encode(storage));
    ASSERT_TRUE(key.has_value()) << key.error().message();
    const auto& loaded = *hi.instance->module(*key)->module.functions.at(ib::uuid(9));
    const auto i32 = hi.instance->type_registry().search_or_insert(kdinstr::types::primary::IType{32});
    EXPECT_EQ(loaded.parameters.at(0).second, i32);
    EXPECT_EQ(loaded.return_type, i32);
}

TEST(LoadModule, EveryInstructionFamilyLoads) {
    HookedInstance hi;
    // Shift the instance's registry so that stored and instance Typerefs cannot coincide.
    hi.instance->type_registry().search_or_insert(kdinstr::types::primary::IType{3});
    auto key = load_module(hi.instance, encode(samples::every_family()));
    ASSERT_TRUE(key.has_value()) << key.error().message();
    const auto context = hi.instance->module(*key);
    EXPECT_EQ(context->functions.size(), 5u);
    std::set<kdinstr::modules::KdInstrOp> opcodes;
    for (const auto& [uuid, function] : context->module.functions) {
        for (const auto& [label, block] : function->body) {
            for (const auto& instruction : block.instructions) opcodes.insert(instruction.opcode());
        }
    }
    EXPECT_EQ(opcodes.size(), 37u);
}

TEST(LoadModule, TwoKeysOfOneFunctionUuidLeaveTheLaterContext) {
    HookedInstance hi;
    auto key = load_module(hi.instance, encode(samples::duplicate_function_uuid()));
    ASSERT_TRUE(key.has_value()) << key.error().message();
    const auto context = hi.instance->module(*key);
    EXPECT_EQ(context->module.functions.size(), 2u);
    EXPECT_EQ(context->functions.size(), 1u);
    ASSERT_TRUE(context->functions.read(kdinstr::tests::uuid(9), [](const auto& fc) {
        EXPECT_EQ(fc.function->name, std::optional<std::string>("second"));
    }));
}

// A sink that loads into its own instance, on its own thread or on another one, while it
// receives each line of a load: no engine lock but the sink's read lock is held meanwhile.
TEST(LoadModule, TheSinkMayLoadAgainAtEveryLine) {
    Watchdog watchdog(60);
    const Bytes bytes = encode(samples::two_functions());
    for (bool other_thread : {false, true}) {
        for (std::size_t at = 0; at < 9; ++at) {
            SCOPED_TRACE(
                fmt::format("line {} on {} thread", at, other_thread ? "another" : "the same"));
            HookedInstance hi;
            std::size_t seen = 0;
            bool nested = false;
            std::optional<std::expected<ModuleKey, KdError>> inner;
            *hi.on_line = [&](const Line&) {
                if (nested || seen++ != at) return;
                nested = true;
                if (other_thread) {
                    std::thread([&] { inner = load_module(hi.instance, bytes); }).join();
                } else {
                    inner = load_module(hi.instance, bytes);
                }
            };
            auto outer = load_module(hi.instance, bytes);
            ASSERT_TRUE(outer.has_value()) << outer.error().message();
            ASSERT_TRUE(inner.has_value());
            ASSERT_TRUE(inner->has_value()) << inner->error().message();
            EXPECT_EQ(hi.instance->module_count(), 2u);
            // Before the outer insertion the nested load takes the first key.
            EXPECT_EQ((*inner)->index, at < 8 ? 1u : 2u);
            EXPECT_EQ(outer->index, at < 8 ? 2u : 1u);
        }
    }
}

// A sink that throws at one line of a load ends that load; the instance goes on working, and a
// module whose insertion line threw stays registered.
TEST(LoadModule, APanickingSinkAtAnyLineLeavesAWorkingInstance) {
    const Bytes bytes = encode(samples::two_functions());
    for (std::size_t at = 0; at < 9; ++at) {
        SCOPED_TRACE(at);
        HookedInstance hi;
        std::size_t seen = 0;
        *hi.on_line = [&](const Line&) {
            if (seen++ == at) throw kdinstr::utils::Panic("sink failed");
        };
        EXPECT_THROW((void)load_module(hi.instance, bytes), kdinstr::utils::Panic);
        *hi.on_line = nullptr;
        const std::size_t registered = at == 8 ? 1 : 0;
        EXPECT_EQ(hi.instance->module_count(), registered);
        auto next = load_module(hi.instance, bytes);
        ASSERT_TRUE(next.has_value()) << next.error().message();
        EXPECT_EQ(next->index, registered + 1);
    }
}

}  // namespace
