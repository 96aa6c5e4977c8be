#include "kdinstr/utils/text_list.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using kdinstr::utils::TextList;

std::vector<std::string> texts_of(const TextList& list) {
    std::vector<std::string> out;
    for (const std::string_view text : list) out.emplace_back(text);
    return out;
}

// Texts come back as they went in, whatever blocks they landed in: empty texts (first, between
// blocks, last), texts that fill blocks to the brim, and texts longer than a block.
TEST(TextList, TextsComeBackInOrderAcrossBlocks) {
    const std::size_t block = std::size_t{1} << 20;
    const std::vector<std::vector<std::string>> cases = {
        {},
        {""},
        {"", "a", "", "bc", ""},
        {std::string(block - 1, 'x'), "y", "", "z"},
        {"a", std::string(block, 'b'), "", std::string(3 * block + 5, 'c'), "d", ""},
        std::vector<std::string>(300000, "Register(\"t12\")"),
    };
    for (const auto& texts : cases) {
        TextList list;
        for (const auto& text : texts) list.push_back(text);
        ASSERT_EQ(list.size(), texts.size());
        EXPECT_EQ(list.empty(), texts.empty());
        EXPECT_EQ(texts_of(list), texts);
        for (std::size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(list[i], texts[i]) << i;
        if (!texts.empty()) {
            EXPECT_EQ(list.back(), texts.back());
        }
    }
}

TEST(TextList, EqualWhenTheTextsAre) {
    TextList built;
    built.push_back("a");
    built.push_back("");
    built.push_back("b");
    EXPECT_EQ(built, (TextList{"a", "", "b"}));
    EXPECT_NE(built, (TextList{"a", "b"}));
    EXPECT_NE(built, (TextList{"a", "", "c"}));
    EXPECT_NE(built, (TextList{"ab", "", ""}));
    EXPECT_EQ(TextList{}, TextList{});

    std::ostringstream shown;
    PrintTo(TextList{"a", "q\""}, &shown);
    EXPECT_EQ(shown.str(), "[\"a\", \"q\\\"\"]");
}

}  // namespace
