#include "kdcore/utils/opaque.hpp"

#include <gtest/gtest.h>

namespace {

using kdcore::utils::opaque::OpaqueList;
using kdcore::utils::opaque::OpaqueObject;

struct Config : OpaqueObject {
    explicit Config(int v) : value(v) {}
    int value;
    std::string debug() const override { return "Config(" + std::to_string(value) + ")"; }
};
struct DerivedConfig final : Config {
    using Config::Config;
    std::string debug() const override { return "DerivedConfig(" + std::to_string(value) + ")"; }
};

TEST(OpaqueList, TakeFirstMatchesExactTypeAndKeepsOrder) {
    OpaqueList list;
    list.push_back(std::make_unique<DerivedConfig>(1));
    list.push_back(std::make_unique<Config>(2));
    list.push_back(std::make_unique<Config>(3));
    auto taken = list.take_first<Config>();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->value, 2);
    std::vector<std::string> rest;
    for (const auto& o : list.objects) rest.push_back(o->debug());
    EXPECT_EQ(rest, (std::vector<std::string>{"DerivedConfig(1)", "Config(3)"}));
    EXPECT_EQ(list.take_first<DerivedConfig>()->value, 1);
    EXPECT_EQ(list.take_first<DerivedConfig>(), nullptr);
    EXPECT_EQ(list.size(), 1u);
}

TEST(OpaqueObject, IntoKeepsObjectOnMismatch) {
    kdcore::utils::opaque::OwnedOpaqueObject object = std::make_unique<Config>(5);
    EXPECT_EQ(kdcore::utils::opaque::into<DerivedConfig>(object), nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->as<DerivedConfig>(), nullptr);
    EXPECT_EQ(object->as<Config>()->value, 5);
    auto back = kdcore::utils::opaque::into<Config>(object);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(back->value, 5);
}

}  // namespace
