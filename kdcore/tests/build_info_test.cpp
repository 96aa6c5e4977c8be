#include "kdcore/utils/build_info.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

TEST(BuildInfo, FixedRecord) {
    const auto& b = kdcore::utils::build_info();
    EXPECT_STREQ(kdcore::utils::engine_version(), "0.1.2");
    EXPECT_EQ(b.version.to_string(), "0.1.2");
    EXPECT_EQ(b.features,
              (std::vector<std::string_view>{"default", "ext_all", "ext_kdlog", "pyo3"}));
    EXPECT_EQ(b.target, "aarch64-unknown-linux-gnu");
    EXPECT_EQ(b.profile, "release");
    EXPECT_FALSE(b.vcs.has_value());
}

}  // namespace
