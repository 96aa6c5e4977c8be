#include "kdinstr/modules/name.hpp"

#include <gtest/gtest.h>

using kdinstr::modules::Label;
using kdinstr::modules::Name;

TEST(NameAndLabel, TextForms) {
    EXPECT_EQ(fmt::format("{}", Name{0}), "%0");
    EXPECT_EQ(fmt::format("{}", Name{12}), "%12");
    EXPECT_EQ(fmt::format("{}", Label{0}), "block_0");
    EXPECT_EQ(fmt::format("{:#}", Label{0}), "label block_0");
    EXPECT_EQ(fmt::format("{:#}", Label{4294967295u}), "label block_4294967295");
}
