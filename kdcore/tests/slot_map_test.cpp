#include "kdcore/utils/slot_map.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdcore/base/module_key.hpp"

namespace {

using kdcore::base::ModuleKey;

TEST(SlotMap, KeysAndGenerations) {
    kdcore::utils::SlotMap<ModuleKey, std::string> map;
    ModuleKey a = map.insert("a");
    ModuleKey b = map.insert_with_key([](const ModuleKey& key) { return key.to_string(); });
    EXPECT_EQ(a.to_string(), "ModuleKey(1v1)");
    EXPECT_EQ(b.to_string(), "ModuleKey(2v1)");
    EXPECT_EQ(*map.get(b), "ModuleKey(2v1)");
    EXPECT_EQ(map.size(), 2u);
    EXPECT_EQ(map.get(ModuleKey::null()), nullptr);
    EXPECT_EQ(map.get(ModuleKey(0, 1)), nullptr);

    EXPECT_EQ(map.remove(a), std::optional<std::string>("a"));
    EXPECT_EQ(map.get(a), nullptr);
    EXPECT_EQ(map.remove(a), std::nullopt);
    ModuleKey c = map.insert("c");
    EXPECT_EQ(c.to_string(), "ModuleKey(1v3)");
    EXPECT_EQ(map.get(a), nullptr);
    EXPECT_EQ(*map.get(c), "c");
    std::vector<std::string> seen;
    map.for_each(
        [&](const ModuleKey& k, const std::string& v) { seen.push_back(k.to_string() + "=" + v); });
    EXPECT_EQ(seen,
              (std::vector<std::string>{"ModuleKey(1v3)=c", "ModuleKey(2v1)=ModuleKey(2v1)"}));
}

TEST(ModuleKey, TextForm) {
    EXPECT_EQ(ModuleKey::null().to_string(), "ModuleKey(null)");
    EXPECT_EQ(fmt::format("{}", ModuleKey(7, 1)), "ModuleKey(7v1)");
    EXPECT_TRUE(ModuleKey().is_null());
    EXPECT_EQ(ModuleKey().version, 1u);
}

}  // namespace
