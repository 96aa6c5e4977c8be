#include "kdcore/utils/sharded_map.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ShardedMap, InsertReplaceRemove) {
    kdcore::utils::ShardedMap<int, std::string> map;
    EXPECT_EQ(map.shard_count(), kdcore::utils::default_shard_count());
    EXPECT_EQ(map.shard_count() & (map.shard_count() - 1), 0u);
    EXPECT_EQ(map.insert(1, "one"), std::nullopt);
    EXPECT_EQ(map.insert(1, "uno"), std::optional<std::string>("one"));
    EXPECT_EQ(map.get(1), std::optional<std::string>("uno"));
    EXPECT_EQ(map.get(2), std::nullopt);
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(map.remove(1), std::optional<std::string>("uno"));
    EXPECT_TRUE(map.empty());
}

TEST(ShardedMap, ConcurrentInserts) {
    kdcore::utils::ShardedMap<int, int> map(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i) map.insert(t * 1000 + i, i);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(map.size(), 4000u);
    EXPECT_EQ(map.get(3999), std::optional<int>(999));
}

// Room made while entries are held keeps them; entries beyond the room still go in.
TEST(ShardedMap, ReserveKeepsEntries) {
    kdcore::utils::ShardedMap<int, int> map(4);
    for (int i = 0; i < 100; ++i) map.insert(i, -i);
    map.reserve(1000);
    for (int i = 100; i < 5000; ++i) map.insert(i, -i);
    EXPECT_EQ(map.size(), 5000u);
    for (int i = 0; i < 5000; i += 499) EXPECT_EQ(map.get(i), std::optional<int>(-i)) << i;
}

}  // namespace
