#include "kdcore/utils/kd_error.hpp"

#include <gtest/gtest.h>

namespace {

using kdcore::utils::KdError;

TEST(KdError, Messages) {
    kdinstr::utils::Error ir = kdinstr::utils::Error::MissingEntryBlock{};
    struct Case {
        KdError error;
        std::string message;
    };
    const std::vector<Case> cases = {
        {KdError::Io{"No such file or directory (os error 2)"},
         "I/O error: No such file or directory (os error 2)"},
        {KdError::ManifestParse{"expected `=`", "kd.toml"},
         "Failed to parse manifest file 'kd.toml': expected `=`"},
        {KdError::Unknown{"Failed to read compiled module storage header: x"},
         "An unknown error occurred: Failed to read compiled module storage header: x"},
        {KdError::PluginNotFound{"nope"}, "Plugin with name 'nope' not found"},
        {KdError::Utf8{"invalid utf-8 sequence of 1 bytes from index 0"},
         "UTF-8 conversion error: invalid utf-8 sequence of 1 bytes from index 0"},
        {KdError::Instr{ir}, ir.message()},
        {KdError::NotFound{"module", "k1"}, "Failed to find module with key 'k1'"},
        {KdError::Duplicated{"plugin", "p"}, "Duplicated plugin with key 'p'"},
    };
    ASSERT_EQ(cases.size(), std::variant_size_v<KdError::Variant>);
    for (const Case& c : cases) {
        EXPECT_EQ(c.error.message(), c.message);
        EXPECT_EQ(fmt::format("{}", c.error), c.message);
    }
    EXPECT_FALSE(ir.message().empty());
}

}  // namespace
