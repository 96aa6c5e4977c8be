#include "kdinstr/utils/escape.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/utils/unicode.hpp"

using namespace kdinstr::utils;

TEST(Escape, QuotedTexts) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"plain text", R"("plain text")"},
        {"a\"b'c\\d", R"("a\"b'c\\d")"},
        {std::string("\t\r\n\0", 4), R"("\t\r\n\0")"},
        {"\x01\x1f\x7f", R"("\u{1}\u{1f}\u{7f}")"},
        {"e\xcc\x81", R"("e\u{301}")"},            // combining acute accent: Grapheme_Extend
        {"\xe2\x80\x8d", R"("\u{200d}")"},         // zero width joiner: Cf and Grapheme_Extend
        {"a\xc2\xa0" "b", R"("a\u{a0}b")"},        // no-break space: Zs other than U+0020
        {"\xe2\x80\xa8\xe2\x80\xa9", R"("\u{2028}\u{2029}")"},  // Zl, Zp
        {"\xe2\x80\x8b\xef\xbb\xbf", R"("\u{200b}\u{feff}")"},  // Cf
        {"\xee\x80\x80", R"("\u{e000}")"},         // private use: Co
        {"\xcd\xb8", R"("\u{378}")"},              // unassigned: Cn
        {"\xf4\x8f\xbf\xbf", R"("\u{10ffff}")"},   // noncharacter, unassigned
        {"caf\xc3\xa9 \xd9\xa3 \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xd9\xa3 \xf0\x9f\x98\x80\""},
        {"\xff", R"("\xff")"},
        {"\xc0\x80", R"("\xc0\x80")"},             // overlong
        {"\xed\xa0\x80", R"("\xed\xa0\x80")"},     // surrogate
        {"ab\xe2\x82", R"("ab\xe2\x82")"},         // truncated at the end
    };
    for (const auto& c : cases) EXPECT_EQ(quote_text(c.input), c.expected) << c.expected;
}

TEST(Escape, QuotedCharacters) {
    struct Case {
        char32_t input;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {U'a', "'a'"},          {U'\'', R"('\'')"},       {U'"', "'\"'"},
        {U'\\', R"('\\')"},     {U'\0', R"('\0')"},       {U'\t', R"('\t')"},
        {U'\n', R"('\n')"},     {U'\x1b', R"('\u{1b}')"}, {U'\u0301', R"('\u{301}')"},
        {U'\u00e9', "'\xc3\xa9'"}, {U'\U0001F600', "'\xf0\x9f\x98\x80'"},
        {0xD800, R"('\u{d800}')"},  // a surrogate never reaches UTF-8
    };
    for (const auto& c : cases) EXPECT_EQ(quote_char(c.input), c.expected) << c.expected;
}

TEST(Escape, LexerClassesFromTheTables) {
    for (const char32_t c : {U'\t', U'\n', U'\v', U'\f', U'\r', U' ', U'\u0085', U'\u00a0',
                             U'\u1680', U'\u2000', U'\u200a', U'\u2028', U'\u2029', U'\u202f',
                             U'\u205f', U'\u3000'})
        EXPECT_TRUE(is_white_space(c)) << static_cast<unsigned>(c);
    for (const char32_t c : {U'a', U'\u200b', U'\ufeff', U'\x1c', U'\u180e'})
        EXPECT_FALSE(is_white_space(c)) << static_cast<unsigned>(c);
    for (const char32_t c : {U'a', U'Z', U'0', U'_', U'\u00e9', U'\u0663', U'\u0301', U'\u4e2d'})
        EXPECT_TRUE(is_xid_continue(c)) << static_cast<unsigned>(c);
    for (const char32_t c : {U'.', U'-', U'$', U'!', U'\ufeff', U' ', U'\u00a0'})
        EXPECT_FALSE(is_xid_continue(c)) << static_cast<unsigned>(c);
    EXPECT_FALSE(is_xid_continue(0x110000));
}
