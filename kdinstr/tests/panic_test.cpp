#include "kdinstr/utils/panic.hpp"

#include <gtest/gtest.h>

TEST(Panic, CarriesFormattedText) {
    try {
        kdinstr::utils::panic("index {} out of range for {}", 3, "list");
        FAIL() << "panic returned";
    } catch (const kdinstr::utils::Panic& p) {
        EXPECT_STREQ(p.what(), "index 3 out of range for list");
    }
}
