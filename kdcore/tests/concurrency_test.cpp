// The engine's shared state used from several threads at once: instances made and torn down,
// one instance's log sink, module table and type registry, and storage written and read through
// it. Each test checks what the threads got; CI also runs them under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kdcore/base/module/module_context.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/tests/test_support.hpp"
#include "kdinstr/tests/ir_builder.hpp"

namespace {

using namespace kdtest;
namespace kt = kdinstr::types;
namespace sites = kdcore::base::log_sites;
using kdcore::compiler::CompiledModuleStorage;

constexpr int kThreads = 8;

// Runs `work(t)` on kThreads threads at once and waits for all of them.
template <typename Work>
void on_threads(Work work) {
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) pool.emplace_back(work, t);
    for (auto& th : pool) th.join();
}

std::shared_ptr<InstanceContext> logged_instance(std::shared_ptr<Captured> captured,
                                                 std::string application = "app") {
    auto info = make_info({LOGGER});
    info.application_info.application_name = std::move(application);
    info.ext.push_back(capture_to(std::move(captured)));
    auto created = kdcore::base::api::create_instance(std::move(info));
    if (!created) {
        ADD_FAILURE() << created.error().message();
        return nullptr;
    }
    return *created;
}

TEST(Concurrency, InstancesMadeAndTornDownOnManyThreads) {
    constexpr int kPerThread = 20;
    std::vector<std::shared_ptr<Captured>> captured(kThreads);
    for (auto& c : captured) c = std::make_shared<Captured>();
    on_threads([&](int t) {
        for (int i = 0; i < kPerThread; ++i) {
            auto instance = logged_instance(captured[t], fmt::format("app{}", t));
            ASSERT_NE(instance, nullptr);
        }
    });
    // Every thread's logger saw its own instances' lines, and only those.
    for (int t = 0; t < kThreads; ++t) {
        const std::string own = fmt::format("Application 'app{}' v1.2.3", t);
        int applications = 0, teardowns = 0;
        for (const auto& text : captured[t]->texts()) {
            if (text.starts_with("Application '")) {
                EXPECT_TRUE(text.starts_with(own)) << text;
                ++applications;
            }
            if (text.starts_with("Tearing down InstanceContext at ")) ++teardowns;
        }
        EXPECT_EQ(applications, kPerThread);
        EXPECT_EQ(teardowns, kPerThread);
    }
}

TEST(Concurrency, OneInstanceLogsAndStoresModulesFromManyThreads) {
    constexpr int kPerThread = 200;
    auto captured = std::make_shared<Captured>();
    auto instance = logged_instance(captured);
    ASSERT_NE(instance, nullptr);
    {
        std::lock_guard lock(captured->mutex);
        captured->messages.clear();
    }

    std::vector<std::vector<kdcore::base::ModuleKey>> keys(kThreads);
    on_threads([&](int t) {
        for (int i = 0; i < kPerThread; ++i) {
            instance->log(sites::STORAGE_DESERIALIZING, t * kPerThread + i);
            auto context = std::make_unique<kdcore::base::module::ModuleContext>();
            context->instance = instance;
            context->uuid.bytes[0] = static_cast<std::uint8_t>(t);
            context->uuid.bytes[1] = static_cast<std::uint8_t>(i);
            const auto key = instance->insert_module(std::move(context));
            auto stored = instance->module(key);
            ASSERT_NE(stored, nullptr);
            EXPECT_EQ(stored->key, key);
            EXPECT_EQ(stored->uuid.bytes[0], t);
            EXPECT_EQ(stored->uuid.bytes[1], i);
            keys[t].push_back(key);
        }
    });

    std::set<std::string> lines;
    for (const auto& text : captured->texts()) lines.insert(text);
    EXPECT_EQ(lines.size(), std::size_t{kThreads * kPerThread});
    for (int n = 0; n < kThreads * kPerThread; ++n)
        EXPECT_TRUE(lines.count(fmt::format("Deserializing compiled module storage ({} bytes)", n)))
            << n;
    // Slots are handed out in order, once each.
    std::set<std::string> all_keys;
    for (const auto& per_thread : keys)
        for (const auto& key : per_thread) all_keys.insert(key.to_string());
    EXPECT_EQ(all_keys.size(), std::size_t{kThreads * kPerThread});
    EXPECT_EQ(instance->module_count(), std::size_t{kThreads * kPerThread});
    EXPECT_TRUE(all_keys.count(fmt::format("ModuleKey({}v1)", kThreads * kPerThread)));
}

// A storage of one function over i32, a struct of (i32, ptr) and a thread-specific vector.
CompiledModuleStorage storage_for(int t) {
    namespace ib = kdinstr::tests;
    CompiledModuleStorage storage;
    auto& reg = storage.type_registry;
    const kt::Typeref i32 = reg.search_or_insert(kt::primary::IType{32});
    const kt::Typeref ptr = reg.search_or_insert(kt::primary::Ptr{});
    reg.search_or_insert(kt::aggregate::StructType{{i32, ptr}, false});
    reg.search_or_insert(kt::primary::PrimaryType::vector(
        kt::primary::IType{32}, kt::primary::VcSize::fixed(static_cast<std::uint16_t>(t + 1))));
    storage.source_names = {fmt::format("thread{}.kd", t)};
    storage.module = ib::module_of(
        {ib::FunctionBuilder()
             .uuid(ib::uuid(static_cast<std::uint8_t>(t + 1)))
             .name(fmt::format("f{}", t))
             .param(0, i32)
             .returns(i32)
             .block(0, {ib::iadd(1, i32, ib::reg(0), ib::reg(0))}, ib::ret(ib::reg(1)))
             .build()});
    return storage;
}

TEST(Concurrency, StorageWrittenReadAndMergedIntoOneInstanceFromManyThreads) {
    constexpr int kRounds = 10;
    auto captured = std::make_shared<Captured>();
    auto instance = logged_instance(captured);
    ASSERT_NE(instance, nullptr);
    auto& registry = instance->type_registry();

    // Per thread and round: the instance's Typeref of i32 and of the struct.
    std::vector<std::vector<std::pair<kt::Typeref, kt::Typeref>>> seen(kThreads);
    on_threads([&](int t) {
        for (int round = 0; round < kRounds; ++round) {
            auto bytes = CompiledModuleStorage::encode(storage_for(t), *instance);
            ASSERT_TRUE(bytes.has_value()) << bytes.error().message();
            auto decoded = CompiledModuleStorage::decode(*instance, *bytes);
            ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
            auto map = registry.merge_with(decoded->type_registry);
            ASSERT_TRUE(map.has_value()) << map.error().message();
            decoded->module.remap_types(*map);
            const auto& function = *decoded->module.functions.begin()->second;
            ASSERT_TRUE(function.type_check(registry).has_value());
            const kt::Typeref i32 = function.parameters[0].second;
            const kt::Typeref ptr = registry.search_or_insert(kt::primary::Ptr{});
            const kt::Typeref pair =
                registry.search_or_insert(kt::aggregate::StructType{{i32, ptr}, false});
            EXPECT_EQ(registry.fmt(pair).to_string(), "{i32, ptr}");
            seen[t].emplace_back(i32, pair);

            auto context = std::make_unique<kdcore::base::module::ModuleContext>();
            context->instance = instance;
            context->module = std::move(decoded->module);
            instance->insert_module(std::move(context));
        }
    });

    for (const auto& per_thread : seen)
        for (const auto& pair : per_thread) EXPECT_EQ(pair, seen[0][0]);
    // i32, ptr, the struct and one vector per thread.
    EXPECT_EQ(registry.len(), std::size_t{3 + kThreads});
    EXPECT_EQ(instance->module_count(), std::size_t{kThreads * kRounds});
    const auto texts = captured->texts();
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string& s) {
                                return s.starts_with("Deserializing compiled module storage (");
                            }),
              kThreads * kRounds);
}

}  // namespace
