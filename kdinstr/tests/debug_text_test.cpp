#include "kdinstr/utils/debug_text.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace kdinstr::utils;

TEST(DebugText, QuotesAndEscapes) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"", R"("")"},
        {"abc", R"("abc")"},
        {"a\"b", R"("a\"b")"},
        {"a\\b", R"("a\\b")"},
        {"\n\r\t", R"("\n\r\t")"},
        {std::string("x\0y", 3), R"("x\0y")"},
        {"\x01\x1b\x7f", R"("\u{1}\u{1b}\u{7f}")"},
        {"\xc2\x85", R"("\u{85}")"},  // C1 control, encoded in UTF-8
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xf0\x9f\x98\x80\""},  // printable, kept
        {"'", R"("'")"},
        {"\xff", R"("\xff")"},                  // never valid in UTF-8
        {"a\xc3", R"("a\xc3")"},                // truncated sequence
        {"\xc0\x80", R"("\xc0\x80")"},          // overlong NUL
        {"\xed\xa0\x80", R"("\xed\xa0\x80")"},  // surrogate
        {"\xe2\x82", R"("\xe2\x82")"},          // truncated three-byte sequence
    };
    for (const auto& c : cases) EXPECT_EQ(debug_quote(c.input), c.expected) << c.expected;
}

TEST(DebugText, ListsOptionalsRecordsAndTuples) {
    EXPECT_EQ(debug_text_list(std::vector<std::string>{}), "[]");
    EXPECT_EQ(debug_text_list(std::vector<std::string>{"A", "_27"}), R"(["A", "_27"])");
    EXPECT_EQ(debug_text_list(std::vector<std::string>{"a, b", "\"q\""}), R"(["a, b", "\"q\""])");
    EXPECT_EQ(debug_list(std::vector<int>{1, -2, 3}, [](int v) { return std::to_string(v); }),
              "[1, -2, 3]");

    EXPECT_EQ(debug_optional_text(std::nullopt), "None");
    EXPECT_EQ(debug_optional_text(std::string("f.kd")), R"(Some("f.kd"))");
    EXPECT_EQ(debug_optional(std::optional<int>(4), [](int v) { return std::to_string(v); }),
              "Some(4)");

    EXPECT_EQ(debug_record("Empty", {}), "Empty");
    EXPECT_EQ(debug_record("IType", {{"num_bits", "32"}}), "IType { num_bits: 32 }");
    EXPECT_EQ(debug_record("P", {{"a", "1"}, {"b", "None"}}), "P { a: 1, b: None }");
    EXPECT_EQ(debug_tuple("Reg", "%3"), "Reg(%3)");
}
