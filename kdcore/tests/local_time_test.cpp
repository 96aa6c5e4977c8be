#include "kdcore/utils/local_time.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using kdcore::utils::LocalDateTime;

TEST(LocalDateTime, TextForm) {
    struct Case {
        LocalDateTime time;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{2024, 12, 31, 23, 59, 59, 0}, "2024-12-31 23:59:59"},
        {{999, 1, 2, 3, 4, 5, 10'000'000}, "0999-01-02 03:04:05.010"},
        {{2024, 1, 2, 3, 4, 5, 999'999'000}, "2024-01-02 03:04:05.999999"},
        {{2024, 1, 2, 3, 4, 5, 999'999'999}, "2024-01-02 03:04:05.999999999"},
        {{12345, 1, 2, 3, 4, 5, 0}, "+12345-01-02 03:04:05"},
        {{-1, 1, 2, 3, 4, 5, 0}, "-0001-01-02 03:04:05"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.time.to_string(), c.text);
}

TEST(LocalDateTime, FollowsTimeZoneChanges) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    ::setenv("TZ", "UTC0", 1);
    LocalDateTime utc_before = LocalDateTime::now();
    ::setenv("TZ", "<+05>-5", 1);
    LocalDateTime plus5 = LocalDateTime::now();
    ::setenv("TZ", "UTC0", 1);
    LocalDateTime utc_after = LocalDateTime::now();
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    // The hour may roll over between two readings; one of them matches.
    EXPECT_TRUE(plus5.hour == (utc_before.hour + 5) % 24 || plus5.hour == (utc_after.hour + 5) % 24)
        << utc_before.to_string() << " / " << plus5.to_string();
}

}  // namespace
