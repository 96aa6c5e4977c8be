#include "kdcore/tests/test_support.hpp"
#include "kdcore/utils/load_time_registry.hpp"

namespace {

using namespace kdtest;

struct Entry {
    std::string_view name;
    int id;
};

TEST(LoadTimeRegistry, LatestEntryComesFirst) {
    // Like the real registries, these live as long as the process: their nodes are never freed.
    static constinit kdcore::utils::LoadTimeRegistry<Entry> empty;
    EXPECT_EQ(empty.begin(), empty.end());
    static constinit kdcore::utils::LoadTimeRegistry<Entry> registry;
    static std::once_flag filled;
    std::call_once(filled, [] {
        registry.push({"a", 1});
        registry.push({"b", 2});
        registry.push({"a", 3});
    });
    std::vector<int> order;
    for (const Entry& e : registry) order.push_back(e.id);
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));
    auto find = [&](std::string_view name) {
        const Entry* e = registry.find_if([&](const Entry& x) { return x.name == name; });
        return e ? e->id : 0;
    };
    EXPECT_EQ(find("a"), 3);
    EXPECT_EQ(find("b"), 2);
    EXPECT_EQ(find("A"), 0);
}

TEST(PluginRegistry, BuiltinLoggerEntry) {
    kdcore::register_load_time_entries();
    kdcore::register_load_time_entries();  // idempotent
    int count = 0;
    for (const auto& entry : kdcore::ext::plugin_registry())
        if (entry.name == LOGGER) ++count;
    EXPECT_EQ(count, 1);
    const auto* entry = kdcore::ext::find_plugin(LOGGER);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->description, "Keldrane Logger Extension");
    EXPECT_EQ(kdinstr::utils::Uuid{entry->uuid}.to_string(),
              "20189b61-7279-46fa-9ba2-5f0360bf5b51");
    EXPECT_EQ(kdcore::ext::find_plugin("__ext_keldrane_logger"), nullptr);

    kdcore::utils::opaque::OpaqueList ext;
    auto plugin = entry->constructor(ext);
    ASSERT_TRUE(plugin.has_value());
    EXPECT_EQ((*plugin)->uuid().to_string(), "20189b61-7279-46fa-9ba2-5f0360bf5b51");
    EXPECT_EQ((*plugin)->name(), LOGGER);
    EXPECT_EQ((*plugin)->description(), "Keldrane Logger Extension");
    EXPECT_TRUE((*plugin)->is<kdcore::ext::kdlog::impl::LogPluginEXT>());
}

TEST(PluginRegistry, SameNameRegisteredLaterWins) {
    register_test_plugins();
    static std::once_flag once;
    std::call_once(once, [] {
        auto first = kdcore::ext::plugin_entry<PluginA>();
        first.name = "__test_dup";
        auto second = kdcore::ext::plugin_entry<PluginB>();
        second.name = "__test_dup";
        kdcore::ext::register_plugin(first);
        kdcore::ext::register_plugin(second);
    });
    lifecycle_events().clear();
    auto created = InstanceContext::create(make_info({"__test_dup"}));
    ASSERT_TRUE(created.has_value());
    created->reset();
    EXPECT_EQ(lifecycle_events(),
              (std::vector<std::string>{"attach B", "initialize B", "teardown B"}));
}

}  // namespace
