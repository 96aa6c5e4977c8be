#include "kdinstr/modules/parser/token.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/modules/parser/lexer.hpp"
#include "kdinstr/modules/parser/token_list.hpp"

using namespace kdinstr::modules;
using namespace kdinstr::modules::parser;
using kdinstr::types::primary::FType;
using kdinstr::types::primary::IType;

namespace {

mpz_class big(const char* digits) { return mpz_class(digits, 10); }

}  // namespace

TEST(ParserToken, DisplayAndDebugTexts) {
    struct Case {
        Token token;
        std::string display;
        std::string debug;
    };
    kdinstr::utils::Uuid uuid;
    uuid.bytes[15] = 0xab;
    const std::vector<Case> cases = {
        {IType{32}, "i32", "IType(IType { num_bits: 32 })"},
        {FType::X86Fp80, "x86_fp80", "FType(X86Fp80)"},
        {instructions::MemoryOrdering::Acq, "Acq", "Ordering(Acq)"},
        {Visibility::Hidden, "Hidden", "Visibility(Hidden)"},
        {CallingConvention(CallingConvention::Tag::FastC), "FastC", "CallingConvention(FastC)"},
        {CallingConvention::numbered(10), "Numbered(10)", "CallingConvention(Numbered(10))"},
        {KdTerminatorOp::Ret, "Ret", "TerminatorOp(Ret)"},
        {Token::InstrOp{instructions::KdInstrOp::IAdd, {}}, "IAdd", "InstrOp(IAdd, [])"},
        {Token::InstrOp{instructions::KdInstrOp::IAdd, {"wrap"}}, "IAdd<[\"wrap\"]>",
         "InstrOp(IAdd, [\"wrap\"])"},
        {Token::InstrOp{instructions::KdInstrOp::MetaAnalysisStat, {"term", "reach"}},
         "MetaAnalysisStat<[\"term\", \"reach\"]>", "InstrOp(MetaAnalysisStat, [\"term\", \"reach\"])"},
        {Token::Void{}, "void", "Void"},
        {Token::Import{}, "import", "Import"},
        {Token::Identifier{"a", {}}, "a", "Identifier(\"a\", [])"},
        {Token::Identifier{"a", {"b", "c"}}, "a.b.c", "Identifier(\"a\", [\"b\", \"c\"])"},
        {Token::Identifier{"a", {""}}, "a.", "Identifier(\"a\", [\"\"])"},
        {Token::MetaIdentifier{"f", {}}, "!f", "MetaIdentifier(\"f\", [])"},
        {Token::MetaIdentifier{"f", {"g"}}, "!f.g", "MetaIdentifier(\"f\", [\"g\"])"},
        {uuid, "00000000-0000-0000-0000-0000000000ab", "Uuid(00000000-0000-0000-0000-0000000000ab)"},
        {Token::Register{"x"}, "%x", "Register(\"x\")"},
        {Token::Register{""}, "%", "Register(\"\")"},
        {Token::Number{big("-31")}, "-31", "Number(-31)"},
        {Token::Number{big("123456789012345678901234567890")}, "123456789012345678901234567890",
         "Number(123456789012345678901234567890)"},
        {Token::Decimal{kdinstr::consts::BigDecimal(15, 1)}, "1.5",
         "Decimal(BigDecimal(sign=Plus, scale=1, digits=[15]))"},
        {Token::Decimal{kdinstr::consts::BigDecimal(-25, -2)}, "-2500",
         "Decimal(BigDecimal(sign=Minus, scale=-2, digits=[25]))"},
        {Token::StringLiteral{"a\"b"}, "\"a\\\"b\"", "StringLiteral(\"a\\\"b\")"},
        {Token::StringLiteral{"e\xcc\x81\t\x01"}, "\"e\\u{301}\\t\\u{1}\"",
         "StringLiteral(\"e\\u{301}\\t\\u{1}\")"},
        {Token::LParen{}, "(", "LParen"},
        {Token::RParen{}, ")", "RParen"},
        {Token::LBrace{}, "{", "LBrace"},
        {Token::RBrace{}, "}", "RBrace"},
        {Token::LBracket{}, "[", "LBracket"},
        {Token::RBracket{}, "]", "RBracket"},
        {Token::LAngle{}, "<", "LAngle"},
        {Token::RAngle{}, ">", "RAngle"},
        {Token::Comma{}, ",", "Comma"},
        {Token::Colon{}, ":", "Colon"},
        {Token::Equals{}, "=", "Equals"},
        {Token::Newline{}, "\\n", "Newline"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.token.display(), c.display) << c.debug;
        EXPECT_EQ(c.token.debug(), c.debug) << c.debug;
    }
}

TEST(ParserToken, KindNames) {
    EXPECT_EQ(kind_name(TokenDiscriminants::IType), "IType");
    EXPECT_EQ(kind_name(TokenDiscriminants::Uuid), "Uuid");
    EXPECT_EQ(kind_name(TokenDiscriminants::StringLiteral), "StringLiteral");
    EXPECT_EQ(kind_name(TokenDiscriminants::Newline), "Newline");
    EXPECT_EQ(Token(Token::Number{}).kind(), TokenDiscriminants::Number);
    EXPECT_EQ(Token(Token::Newline{}).kind(), TokenDiscriminants::Newline);
    EXPECT_EQ(static_cast<int>(Token(Token::Newline{}).kind()), 27);
}

TEST(ParserToken, Equality) {
    struct Case {
        Token a;
        Token b;
        bool equal;
    };
    const std::vector<Case> cases = {
        {Token::Number{16}, Token::Number{16}, true},
        {Token::Number{16}, Token::Number{-16}, false},
        {Token::Decimal{{15, 1}}, Token::Decimal{{150, 2}}, true},
        {Token::Decimal{{15, 1}}, Token::Decimal{{15, 2}}, false},
        {Token::Decimal{{0, 1}}, Token::Decimal{{0, 0}}, true},
        {Token::Identifier{"a", {}}, Token::Identifier{"a", {}}, true},
        {Token::Identifier{"a", {}}, Token::Identifier{"a", {""}}, false},
        {Token::Identifier{"a", {"b"}}, Token::MetaIdentifier{"a", {"b"}}, false},
        {Token::InstrOp{instructions::KdInstrOp::IAdd, {}},
         Token::InstrOp{instructions::KdInstrOp::IAdd, {"wrap"}}, false},
        {CallingConvention::numbered(1), CallingConvention::numbered(2), false},
        {CallingConvention::numbered(0), CallingConvention(CallingConvention::Tag::C), false},
        {IType{8}, IType{8}, true},
        {Token::Comma{}, Token::Comma{}, true},
        {Token::Comma{}, Token::Colon{}, false},
        {Token::StringLiteral{"x"}, Token::Register{"x"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.a == c.b, c.equal) << c.a.debug() << " vs " << c.b.debug();

    // Read from text: 0x10 and 16 are one number; 1.5 and 1.50 one value with two scales.
    const auto lexed = lexer("0x10 16 1.5 1.50 iadd iadd.wrap");
    ASSERT_TRUE(lexed.tokens);
    const TokenList& t = *lexed.tokens;
    EXPECT_EQ(t.token(0), t.token(1));
    EXPECT_EQ(t.token(2), t.token(3));
    EXPECT_EQ(t.decimal(2).scale, 1);
    EXPECT_EQ(t.decimal(3).scale, 2);
    EXPECT_NE(t.token(4), t.token(5));
}

TEST(ParserToken, FixedTokensMatchOnlyTheirOwnToken) {
    const auto lexed = lexer("define define.x x X ret ( \n vscale void import");
    ASSERT_TRUE(lexed.tokens);
    const TokenList& t = *lexed.tokens;
    EXPECT_TRUE(t.is(0, FixedToken::Define));
    EXPECT_FALSE(t.is(1, FixedToken::Define));
    EXPECT_TRUE(t.is(2, FixedToken::X));
    EXPECT_FALSE(t.is(3, FixedToken::X));
    EXPECT_TRUE(t.is(4, FixedToken::Ret));
    EXPECT_FALSE(t.is(4, FixedToken::Jump));
    EXPECT_TRUE(t.is(5, FixedToken::LParen));
    EXPECT_TRUE(t.is(6, FixedToken::Newline));
    EXPECT_TRUE(t.is(7, FixedToken::Vscale));
    EXPECT_TRUE(t.is(8, FixedToken::Void));
    EXPECT_TRUE(t.is(9, FixedToken::Import));
    for (std::size_t i = 0; i < fixed_token_count; ++i) {
        const auto f = static_cast<FixedToken>(i);
        EXPECT_EQ(fixed_token(f).display(), fixed_token_display(f));
    }
}

TEST(ParserToken, CompactListHandsOutTheSameValues) {
    const std::string text =
        "i32 fp64 acquire hidden fastcc cc7 trap !analysis.term.reach void import a.b !m.n %r.1 "
        "-9223372036854775808 9223372036854775808 0x1F 2.50 \"q\\\"\" ( ) { } [ ] < > , : = \n";
    const auto lexed = lexer(text);
    ASSERT_TRUE(lexed.tokens);
    const TokenList& t = *lexed.tokens;
    kdinstr::utils::TextList debug;
    for (std::size_t i = 0; i < t.size(); ++i) debug.push_back(t.token(i).debug());
    EXPECT_EQ(debug, t.debug_texts());
    const kdinstr::utils::TextList expected = {
        "IType(IType { num_bits: 32 })",
        "FType(Fp64)",
        "Ordering(Acq)",
        "Visibility(Hidden)",
        "CallingConvention(FastC)",
        "CallingConvention(Numbered(7))",
        "TerminatorOp(Trap)",
        "InstrOp(MetaAnalysisStat, [\"term\", \"reach\"])",
        "Void",
        "Import",
        "Identifier(\"a\", [\"b\"])",
        "MetaIdentifier(\"m\", [\"n\"])",
        "Register(\"r.1\")",
        "Number(-9223372036854775808)",
        "Number(9223372036854775808)",
        "Number(31)",
        "Decimal(BigDecimal(sign=Plus, scale=2, digits=[250]))",
        "StringLiteral(\"q\\\"\")",
        "LParen", "RParen", "LBrace", "RBrace", "LBracket", "RBracket", "LAngle", "RAngle",
        "Comma", "Colon", "Equals", "Newline",
    };
    EXPECT_EQ(debug, expected);
    EXPECT_EQ(t.small_number(13), std::optional<std::int64_t>(INT64_MIN));
    EXPECT_EQ(t.small_number(14), std::nullopt);
    EXPECT_EQ(t.joined_name(10), "a.b");
    EXPECT_EQ(t.name(11), "m");
    EXPECT_EQ(t.joined_name(11), "m.n");
    EXPECT_EQ(t.name(12), "r.1");
    EXPECT_TRUE(t.has_parts(10));
    EXPECT_EQ(t.parts(7), (std::vector<std::string_view>{"term", "reach"}));
}
