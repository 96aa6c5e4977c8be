#include "kdinstr/modules/parser/lexer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kdinstr::modules::parser;
using kdinstr::utils::ParserError;

namespace {

ParserError err(std::size_t start, std::size_t end, std::string message) {
    return ParserError{std::nullopt, start, end, std::move(message)};
}

// Every token as its debug text, and its span as "@start-end".
std::vector<std::string> token_texts(const TokenList& tokens, bool with_spans) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        std::string s = tokens.token(i).debug();
        if (with_spans) {
            const Span sp = tokens.span(i);
            s += fmt::format("@{}-{}", sp.start, sp.end);
        }
        out.push_back(std::move(s));
    }
    return out;
}

// The expected list of a step that fails where no token starts, from "whitespace or comment" to
// "end of input", as `prefix` and that tail.
std::string every_alternative(std::string_view prefix) {
    return std::string(prefix) +
           "whitespace or comment, numeral, string literal, '(', ')', '{', '}', '[', ']', '<', "
           "'>', ',', ':', '=', '\n', register, identifier or keyword or itype, or end of input";
}

}  // namespace

TEST(ParserLexer, FinalFailureIsTheFurthestWithEveryExpectation) {
    struct Case {
        std::string text;
        ParserError error;
    };
    const std::vector<Case> cases = {
        {"$", err(0, 1, every_alternative("found '$' expected "))},
        // The first step's own spacing was given back: the final spacing reads it again.
        {"  $",
         err(2, 3, "found '$' expected something else, comment, numeral, string literal, '(', "
                   "')', '{', '}', '[', ']', '<', '>', ',', ':', '=', whitespace or comment, "
                   "'\n', register, identifier or keyword or itype, or end of input")},
        {"ab$", err(2, 3, every_alternative("found '$' expected something else, '.', "))},
        {"a  ?", err(3, 4, every_alternative("found '?' expected something else, comment, "))},
        // The line feed was already expected by the newline token's own repetition.
        {"a ;c\n  $",
         err(7, 8, "found '$' expected something else, comment, whitespace or comment, '\n', "
                   "numeral, string literal, '(', ')', '{', '}', '[', ']', '<', '>', ',', ':', "
                   "'=', register, identifier or keyword or itype, or end of input")},
        {"%$", err(1, 2, every_alternative("found '$' expected something else, "))},
        {".", err(0, 1, every_alternative("found '.' expected "))},
        {"- 1", err(1, 2, "found ' ' expected something else, or '0'")},
        {"-", err(1, 1, "found end of input expected any, or '0'")},
        {"!", err(1, 1, "found end of input expected any")},
        {"!$", err(1, 2, "found '$' expected something else")},
        {"1.", err(2, 2, "found end of input expected any")},
        {"1.x", err(2, 3, "found 'x' expected something else")},
        {".5", err(0, 1, every_alternative("found '.' expected "))},
        {"1.5e+", err(5, 5, "found end of input expected any, or '0'")},
        {"12.e$", err(3, 4, "found 'e' expected something else")},
        // The "e" left by the numeral is a word; its own stop adds to the exponent's failure.
        {"1e$", err(2, 3, every_alternative("found '$' expected '+', '-', something else, '.', "))},
        {"0$",
         err(1, 2, every_alternative(
                       "found '$' expected something else, '.', 'e', 'E', 'x', 'X', 'o', 'O', "
                       "'b', 'B', "))},
        {"\"abc", err(4, 4, "found end of input expected any, '\\', or '\"'")},
        {"\"ab\\", err(4, 4, "found end of input expected any")},
        // Bytes, not characters: two bytes of "é" before the failure.
        {"\xc3\xa9 $", err(3, 4, every_alternative("found '$' expected something else, comment, "))},
        {"\xef\xbb\xbf" "a", err(0, 3, every_alternative("found '\xef\xbb\xbf' expected "))},
        {"a\xff" "b", err(1, 2, every_alternative("found '\\xff' expected something else, '.', "))},
        {"a ;c\xff", err(4, 5, every_alternative("found '\\xff' expected something else, comment, "))},
        {"\"a\xc3", err(2, 3, "found '\\xc3' expected something else, '\\', or '\"'")},
        {"a\xe2\x82", err(1, 2, every_alternative("found '\\xe2' expected something else, '.', "))},
    };
    for (const auto& c : cases) {
        const LexResult r = lexer(c.text);
        EXPECT_FALSE(r.tokens) << c.text;
        ASSERT_EQ(r.errors.size(), 1u) << c.text;
        EXPECT_EQ(r.errors[0], c.error) << c.text << "\n" << r.errors[0].debug();
    }
}

TEST(ParserLexer, RecordedErrorsKeepTheTokensAndTheirSpans) {
    struct Case {
        std::string text;
        std::vector<std::string> tokens;
        std::vector<ParserError> errors;
    };
    const std::vector<Case> cases = {
        {"default.x", {"Visibility(Default)"},
         {err(0, 9, "visibility 'default' does not take any variants, but variants were provided")}},
        {"fastcc.a cc12.b ",
         {"CallingConvention(FastC)", "CallingConvention(Numbered(12))"},
         {err(0, 8, "calling convention 'fastcc' does not take any variants, but variants were "
                    "provided"),
          err(9, 15, "calling convention 'cc12' does not take any variants, but variants were "
                     "provided")}},
        {"ret.x", {"TerminatorOp(Ret)"},
         {err(0, 5, "terminator operation 'ret' does not take any variants, but variants were "
                    "provided")}},
        {"i", {"Identifier(\"i\", [])"},
         {err(0, 1, "invalid integer type width '': cannot parse integer from empty string")}},
        {"  i0 ", {"Identifier(\"i0\", [])"},
         {err(2, 4, "cannot create IType with width 0 (must be between 1 and 8388607)")}},
        {"i8388608", {"Identifier(\"i8388608\", [])"},
         {err(0, 8, "cannot create IType with width 8388608 (must be between 1 and 8388607)")}},
        {"i4294967296", {"Identifier(\"i4294967296\", [])"},
         {err(0, 11, "invalid integer type width '4294967296': number too large to fit in target "
                     "type")}},
        // Offsets count bytes: "é" and "中" take two and three.
        {"\xc3\xa9 \xe4\xb8\xad i0",
         {"Identifier(\"\xc3\xa9\", [])", "Identifier(\"\xe4\xb8\xad\", [])",
          "Identifier(\"i0\", [])"},
         {err(7, 9, "cannot create IType with width 0 (must be between 1 and 8388607)")}},
        {"1e9223372036854775809",
         {"Decimal(BigDecimal(sign=NoSign, scale=0, digits=[]))"},
         {err(0, 21, "invalid decimal literal '1e9223372036854775809': Exponent overflow when "
                     "parsing '1e9223372036854775809'")}},
        {"-1e-9223372036854775809 ",
         {"Decimal(BigDecimal(sign=NoSign, scale=0, digits=[]))"},
         {err(0, 23, "invalid decimal literal '-1e-9223372036854775809': Exponent overflow when "
                     "parsing '-1e-9223372036854775809'")}},
        {"1.5e170141183460469231731687303715884105728",
         {"Decimal(BigDecimal(sign=NoSign, scale=0, digits=[]))"},
         {err(0, 43, "invalid decimal literal '1.5e170141183460469231731687303715884105728': "
                     "number too large to fit in target type")}},
        {"1e-170141183460469231731687303715884105729",
         {"Decimal(BigDecimal(sign=NoSign, scale=0, digits=[]))"},
         {err(0, 42, "invalid decimal literal '1e-170141183460469231731687303715884105729': "
                     "number too small to fit in target type")}},
        // The smallest 128-bit exponent reads, but the scale 1 - (-2^127) overflows: no wrap.
        {"1.5e-170141183460469231731687303715884105728",
         {"Decimal(BigDecimal(sign=NoSign, scale=0, digits=[]))"},
         {err(0, 44, "invalid decimal literal '1.5e-170141183460469231731687303715884105728': "
                     "Exponent overflow when parsing "
                     "'1.5e-170141183460469231731687303715884105728'")}},
        // A recorded error does not stop the text from failing later: both are reported.
        {"i0 $", {}, {err(0, 2, "cannot create IType with width 0 (must be between 1 and 8388607)"),
                      err(3, 4, every_alternative("found '$' expected something else, comment, "))}},
    };
    for (const auto& c : cases) {
        const LexResult r = lexer(c.text);
        if (c.tokens.empty()) {
            EXPECT_FALSE(r.tokens) << c.text;
        } else {
            ASSERT_TRUE(r.tokens) << c.text;
            EXPECT_EQ(token_texts(*r.tokens, false), c.tokens) << c.text;
        }
        EXPECT_EQ(r.errors, c.errors) << c.text;
    }
}

TEST(ParserLexer, WordsAreClassified) {
    struct Case {
        std::string word;
        std::string token;
    };
    const std::vector<Case> cases = {
        {"import", "Import"},
        {"void", "Void"},
        {"import.x", "Identifier(\"import\", [\"x\"])"},
        {"void.x", "Identifier(\"void\", [\"x\"])"},
        {"default", "Visibility(Default)"},
        {"protected", "Visibility(Protected)"},
        {"cc", "CallingConvention(C)"},
        {"cfguard_checkcc", "CallingConvention(CfguardCheckC)"},
        {"cc0", "CallingConvention(Numbered(0))"},
        {"cc007", "CallingConvention(Numbered(7))"},
        {"cc4294967295", "CallingConvention(Numbered(4294967295))"},
        {"cc4294967296", "Identifier(\"cc4294967296\", [])"},
        {"ccx", "Identifier(\"ccx\", [])"},
        {"iadd", "InstrOp(IAdd, [])"},
        {"iadd.wrap", "InstrOp(IAdd, [\"wrap\"])"},
        {"getelementptr", "InstrOp(MGetElementPtr, [])"},
        {"!assert", "InstrOp(MetaAssert, [])"},
        {"!analysis.term.reach", "InstrOp(MetaAnalysisStat, [\"term\", \"reach\"])"},
        {"!forall", "InstrOp(MetaForall, [])"},
        {"assert", "Identifier(\"assert\", [])"},
        {"!ret", "MetaIdentifier(\"ret\", [])"},
        {"!foo", "MetaIdentifier(\"foo\", [])"},
        {"!foo.bar", "MetaIdentifier(\"foo\", [\"bar\"])"},
        {"!default.x", "MetaIdentifier(\"default\", [\"x\"])"},
        {"branch", "TerminatorOp(Branch)"},
        {"trap", "TerminatorOp(Trap)"},
        {"fp16", "FType(Fp16)"},
        {"bf16", "FType(Bf16)"},
        {"x86_fp80", "FType(X86Fp80)"},
        {"ppc_fp128", "FType(PPCFp128)"},
        {"fp32.x", "Identifier(\"fp32\", [\"x\"])"},
        {"unordered", "Ordering(Unordered)"},
        {"acq_rel", "Ordering(AcqRel)"},
        {"seq_cst", "Ordering(SeqCst)"},
        {"acquire.x", "Identifier(\"acquire\", [\"x\"])"},
        {"i1", "IType(IType { num_bits: 1 })"},
        {"i007", "IType(IType { num_bits: 7 })"},
        {"i8388607", "IType(IType { num_bits: 8388607 })"},
        {"i32x", "Identifier(\"i32x\", [])"},
        {"i32.x", "Identifier(\"i32\", [\"x\"])"},
        {"I32", "Identifier(\"I32\", [])"},
        {"Ret", "Identifier(\"Ret\", [])"},
        {"define", "Identifier(\"define\", [])"},
        {"abc.", "Identifier(\"abc\", [\"\"])"},
        {"a..b", "Identifier(\"a\", [\"\", \"b\"])"},
        {"_x9", "Identifier(\"_x9\", [])"},
        {"\xd9\xa3x", "Identifier(\"\xd9\xa3x\", [])"},  // Arabic-Indic three starts a word
        {"na\xc3\xafve", "Identifier(\"na\xc3\xafve\", [])"},
        {"e\xcc\x81", "Identifier(\"e\\u{301}\", [])"},
        {"%", "Register(\"\")"},
        {"%0", "Register(\"0\")"},
        {"%a.b", "Register(\"a.b\")"},
        {"%1.x", "Register(\"1.x\")"},
    };
    for (const auto& c : cases) {
        const LexResult r = lexer(c.word);
        ASSERT_TRUE(r.tokens) << c.word;
        ASSERT_EQ(r.tokens->size(), 1u) << c.word;
        EXPECT_EQ(r.tokens->token(0).debug(), c.token) << c.word;
    }
}

TEST(ParserLexer, NumeralsInEveryBaseAndForm) {
    struct Case {
        std::string text;
        std::vector<std::string> tokens;
    };
    const auto dec = [](const char* sign, int scale, const char* digits) {
        return fmt::format("Decimal(BigDecimal(sign={}, scale={}, digits=[{}]))", sign, scale,
                           digits);
    };
    const std::vector<Case> cases = {
        {"0X1F", {"Number(31)"}},
        {"-0x10", {"Number(-16)"}},
        {"+0b101", {"Number(5)"}},
        {"0o17", {"Number(15)"}},
        {"0O17 0B1 0xfF", {"Number(15)", "Number(1)", "Number(255)"}},
        {"-0x0", {"Number(0)"}},
        {"0x", {"Number(0)", "Identifier(\"x\", [])"}},
        {"0b2", {"Number(0)", "Identifier(\"b2\", [])"}},
        {"0o9", {"Number(0)", "Identifier(\"o9\", [])"}},
        {"0x1e5", {"Number(485)"}},
        {"1e5", {dec("Plus", -5, "1")}},
        {"1E+5", {dec("Plus", -5, "1")}},
        {"1e-5", {dec("Plus", 5, "1")}},
        {"1.50", {dec("Plus", 2, "150")}},
        {"-2.5e3", {dec("Minus", -2, "25")}},
        {"7e-2", {dec("Plus", 2, "7")}},
        {"-0.0", {dec("NoSign", 1, "")}},
        {"+1.25E-1", {dec("Plus", 3, "125")}},
        {"1.5e", {dec("Plus", 1, "15"), "Identifier(\"e\", [])"}},
        {"1_000", {"Number(1)", "Identifier(\"_000\", [])"}},
        {"-0", {"Number(0)"}},
        {"00012", {"Number(12)"}},
        {"007 08", {"Number(7)", "Number(8)"}},
        {"123456789012345678901234567890", {"Number(123456789012345678901234567890)"}},
        {"-0xFFFFFFFFFFFFFFFFF", {"Number(-295147905179352825855)"}},
        {"9223372036854775807 -9223372036854775808",
         {"Number(9223372036854775807)", "Number(-9223372036854775808)"}},
        {"12ab", {"Number(12)", "Identifier(\"ab\", [])"}},
        {"x-1", {"Identifier(\"x\", [])", "Number(-1)"}},
        {"1e00000000000000000000000000000000000000000001", {dec("Plus", -1, "1")}},
    };
    for (const auto& c : cases) {
        const LexResult r = lexer(c.text);
        EXPECT_TRUE(r.errors.empty()) << c.text;
        ASSERT_TRUE(r.tokens) << c.text;
        EXPECT_EQ(token_texts(*r.tokens, false), c.tokens) << c.text;
    }
    // The unscaled value of a long decimal is exact.
    const LexResult r = lexer("12345678901234567890.5");
    EXPECT_EQ(r.tokens->decimal(0).unscaled, mpz_class("123456789012345678905", 10));
}

TEST(ParserLexer, SpansIncludeTheSpacingAroundEachToken) {
    struct Case {
        std::string text;
        std::vector<std::string> tokens;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"  ; only a comment", {}},
        {" \t\v\f\r ", {}},
        {"a ; note\n\n  ; more\n b",
         {"Identifier(\"a\", [])@0-8", "Newline@8-20", "Identifier(\"b\", [])@20-21"}},
        {"a\r\nb", {"Identifier(\"a\", [])@0-2", "Newline@2-3", "Identifier(\"b\", [])@3-4"}},
        {"\n a \n", {"Newline@0-2", "Identifier(\"a\", [])@2-4", "Newline@4-5"}},
        {"  x", {"Identifier(\"x\", [])@0-3"}},
        {"a\xc2\xa0\xe3\x80\x80" "b",  // no-break space and ideographic space are blanks
         {"Identifier(\"a\", [])@0-6", "Identifier(\"b\", [])@6-7"}},
        {"(x,%y)=", {"LParen@0-1", "Identifier(\"x\", [])@1-2", "Comma@2-3",
                     "Register(\"y\")@3-5", "RParen@5-6", "Equals@6-7"}},
        {"% ;c", {"Register(\"\")@0-4"}},
        {"\"a\\qb\" \"x\ny\\n\\t\\\\\\\"\\0\"",
         {"StringLiteral(\"aqb\")@0-7", "StringLiteral(\"x\\ny\\n\\t\\\\\\\"0\")@7-22"}},
    };
    for (const auto& c : cases) {
        const LexResult r = lexer(c.text);
        EXPECT_TRUE(r.errors.empty()) << c.text;
        ASSERT_TRUE(r.tokens) << c.text;
        EXPECT_EQ(token_texts(*r.tokens, true), c.tokens) << c.text;
    }
}

// The final failure comes from a tracked re-run that starts a few tokens before the failure;
// it must match a tracked run over the whole text.
TEST(ParserLexer, TrackedRestartAgreesWithAFullRun) {
    const std::string program =
        "define i32 @f(%a: i32) {\nentry:\n  %x: i32 = iadd.wrap %a, i32 -0x1F ; c\n"
        "  %y: fp64 = fadd fp64 1.5e-3, fp64 2.0\n  ret \"s\\\"t\" [4 x <2 x i8>]\n}\n";
    const std::vector<std::string> inserts = {"$",  ".",  "1.",  "1.5e+", "12.e", "\"",  "\\",
                                              "!",  "-",  "0x",  "%.",    ";\xff", "\xff", "e+",
                                              "+",  "1e", "0b2", "\xc3",  "..",   "1.x"};
    std::size_t failures = 0;
    for (std::size_t at = 0; at <= program.size(); ++at) {
        for (const auto& ins : inserts) {
            const std::string text = program.substr(0, at) + ins + program.substr(at);
            const LexResult r = lexer(text);
            if (r.tokens) continue;
            ++failures;
            const auto full = lexer_final_failure(text, 0);
            ASSERT_TRUE(full) << text;
            EXPECT_EQ(r.errors.back(), *full) << text;
        }
    }
    EXPECT_GT(failures, program.size());
}
