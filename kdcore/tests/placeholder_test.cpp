#include <gtest/gtest.h>

#include "kdcore/utils/build_info.hpp"

TEST(BuildInfo, EngineVersionIsFixedAtBuild) { EXPECT_STREQ(kdcore::utils::engine_version(), "0.1.2"); }
