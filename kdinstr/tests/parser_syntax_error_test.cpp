// Syntax errors of whole texts: where the parse stops, what it found and the exact list of what
// it expected there (the union of every alternative that failed at that token, in the order the
// grammar tried them), with the byte offsets of the token. A token's span takes in the blanks
// after it, so an error usually ends after them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/tests/parser_text.hpp"

using kdinstr::tests::parser_errors;
using kdinstr::tests::perr;
using kdinstr::utils::ParserError;

namespace {

struct Case {
    std::string what;
    std::string text;
    ParserError error;
};

// In a function `f` whose single block `l` starts on the second line: byte 21 is the first one
// of the line after "l:".
std::string in_block(const std::string& lines) { return "define void f() {\nl: " + lines + "\n}"; }

const std::string terminators = "'Branch', 'Trap', 'Jump', or 'Ret'";
const std::string operand_starts = "register, undef operand, immediate operand";

}  // namespace

TEST(ParserSyntaxErrors, TopLevel) {
    const std::vector<Case> cases = {
        {"a stray word at the start", "foo",
         perr(0, 3,
              "found 'foo' expected '\\n', import statement, function definition, or end of "
              "input")},
        {"after a leading line feed the newline is no longer expected", "\nfoo",
         perr(1, 4, "found 'foo' expected import statement, function definition, or end of input")},
        {"a second closing brace after a complete definition",
         "define void f() {\nl: ret void\n}\n}",
         perr(32, 33,
              "found '}' expected '\\n', import statement, function definition, or end of input")},
        {"a token on the line where a definition ends", "define void f() { l: ret void } 5",
         perr(32, 33,
              "found '5' expected '\\n', import statement, function definition, or end of input")},
        {"an import without its path", "import 5",
         perr(7, 8, "found '5' expected token StringLiteral")},
        {"an import cut off", "import",
         perr(6, 6, "found end of input expected token StringLiteral")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parser_errors(c.text), std::vector<ParserError>{c.error}) << c.what;
}

TEST(ParserSyntaxErrors, Header) {
    const std::vector<Case> cases = {
        {"after define", "define 5", perr(7, 8, "found '5' expected type, or 'void'")},
        {"the text ends after define", "define",
         perr(6, 6, "found end of input expected type, or 'void'")},
        {"a number where the name belongs", "define void 5() {}",
         perr(12, 13, "found '5' expected something else")},
        {"a third metadata token", "define void hidden fastcc coldcc f() {}",
         perr(26, 33, "found 'ColdC' expected something else")},
        {"a meta identifier names a function; a number after it is no parameter list",
         "define void !f 1() {}", perr(15, 16, "found '1' expected '('")},
        {"no parameter list", "define void f {", perr(14, 15, "found '{' expected '('")},
        {"a comma before the closing parenthesis", "define void f(%a: i32,) {}",
         perr(22, 24, "found ')' expected register")},
        {"a parameter without its colon", "define void f(%a i32) {}",
         perr(17, 20, "found 'i32' expected ':'")},
        {"a parameter that is no register", "define void f(5) {}",
         perr(14, 15, "found '5' expected register, or ')'")},
        {"a line break inside the header", "define void f()\n{\n}",
         perr(15, 16, "found '\\n' expected '{'")},
        {"the body never closes", "define void f() {",
         perr(17, 17, "found end of input expected '\\n', label, or '}'")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parser_errors(c.text), std::vector<ParserError>{c.error}) << c.what;
}

TEST(ParserSyntaxErrors, BlocksAndInstructionLines) {
    const std::vector<Case> cases = {
        {"a block that starts with a number, on the brace's line", "define void f() { 5 }",
         perr(18, 20, "found '5' expected '\\n', label, or '}'")},
        {"a block that starts with a number, on its own line", "define void f() {\n 5\n}",
         perr(19, 20, "found '5' expected label, or '}'")},
        {"a word that starts no line of an empty block", "define void f() {\nl:\n foo\n}",
         perr(22, 25, "found 'foo' expected token Register, token InstrOp, '\\n', " + terminators)},
        {"a word after an instruction: the newline before it is read already",
         in_block("%x: i32 = iadd.wrap %a, %b\n foo"),
         perr(49, 52, "found 'foo' expected token Register, token InstrOp, " + terminators)},
        {"right after the opcode", in_block("%x: i32 = iadd.wrap 5"),
         perr(41, 42,
              "found '5' expected type, phi operand list, operand list, label, ',', '\\n', " +
                  terminators)},
        {"after a complete operand list", in_block("%x: i32 = iadd.wrap %a, %b 5"),
         perr(48, 49, "found '5' expected ',', label, '\\n', " + terminators)},
        {"a comma that no operand follows", in_block("%x: i32 = iadd.wrap %a, 5"),
         perr(45, 46, "found '5' expected " + operand_starts + ", 'align', or 'volatile'")},
        {"the text ends after a comma", "define void f() {\nl: %x: i32 = iadd.wrap %a,",
         perr(44, 44,
              "found end of input expected " + operand_starts + ", 'align', or 'volatile'")},
        {"a keyword with a part is no keyword", in_block("%v: i32 = load %p, align.x 4"),
         perr(40, 48, "found 'align.x' expected " + operand_starts + ", 'align', or 'volatile'")},
        {"align after volatile is not read", in_block("%v: i32 = load %p, volatile, align 4"),
         perr(48, 50, "found ',' expected '\\n', " + terminators)},
        {"a label after an operand and a comma", in_block("%t: i1 = !analysis.term.reach %v, a"),
         perr(55, 56, "found 'a' expected " + operand_starts + ", 'align', or 'volatile'")},
        {"phi entries without a comma between them",
         in_block("%r: i32 = phi [%a, l] [%b, l]\n ret void"),
         perr(43, 44, "found '[' expected ',', label, '\\n', " + terminators)},
        {"a destination type that does not end", in_block("%x: {i8,} = iadd.wrap %a, %b"),
         perr(29, 31, "found '}' expected primary type, array type, or struct type")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parser_errors(c.text), std::vector<ParserError>{c.error}) << c.what;
}

TEST(ParserSyntaxErrors, OperandsAndTerminators) {
    const std::vector<Case> cases = {
        {"a return of a typed value that stops after its type", in_block("ret i32"),
         perr(28, 29, "found '\\n' expected 'undef', or token Number")},
        {"a return with nothing after it", in_block("ret"),
         perr(24, 25, "found '\\n' expected " + operand_starts + ", or 'void'")},
        {"a lone number is no operand", in_block("ret 5"),
         perr(25, 26, "found '5' expected " + operand_starts + ", or 'void'")},
        {"a word after a width", in_block("ret i32 foo"),
         perr(29, 32, "found 'foo' expected 'undef', or token Number")},
        {"a floating-point constant needs a point", in_block("ret fp32 1"),
         perr(30, 31, "found '1' expected 'undef', or token Decimal")},
        {"an integer constant takes no point", in_block("ret i32 1.5"),
         perr(29, 32, "found '1.5' expected 'undef', or token Number")},
        {"a pointer to a meta identifier", in_block("ret ptr !f"),
         perr(29, 31, "found '!f' expected 'external', token Identifier, or 'undef'")},
        {"a branch without the comma after its condition", in_block("branch %c l1, l2"),
         perr(31, 33, "found 'l1' expected ','")},
        {"a branch with one target", in_block("branch %c, l1"),
         perr(34, 35, "found '\\n' expected ','")},
        {"the word label before a jump target is the target; the real one is read as a label",
         in_block("jump label x"), perr(33, 34, "found '\\n' expected ':'")},
        {"a terminator on the next line of a header-less block", "define void f() {\nret void\n}",
         perr(18, 22, "found 'Ret' expected label, or '}'")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parser_errors(c.text), std::vector<ParserError>{c.error}) << c.what;
}

// Checks that emit their error and let the parse go on: the errors of the definitions that stand
// come first, in order, then the syntax error; a failing definition takes its own with it.
TEST(ParserSyntaxErrors, EmittedErrorsComeFirstAndFailingDefinitionsDropTheirs) {
    const std::string one = "define void hidden hidden a() {\nl: ret void\n}\n";
    const std::string two = "define void fastcc coldcc b() {\nl: ret void\n}\n";
    const std::string three = "define void default protected c() {\nl: ret 5\n}\n";
    EXPECT_EQ(parser_errors(one + two + three),
              (std::vector<ParserError>{
                  perr(12, 26, "duplicate visibility metadata"),
                  perr(58, 72, "duplicate calling convention metadata"),
                  perr(135, 136, "found '5' expected " + operand_starts + ", or 'void'"),
              }));
}

TEST(ParserSyntaxErrors, EmittedErrorsOfAPassingTextAreItsResult) {
    const std::vector<Case> cases = {
        {"two visibilities", "define void hidden hidden f() {\nl: ret void\n}",
         perr(12, 26, "duplicate visibility metadata")},
        {"two calling conventions", "define void fastcc cc f() {\nl: ret void\n}",
         perr(12, 22, "duplicate calling convention metadata")},
        {"alignment zero", in_block("%v: i32 = load %p, align 0\n ret void"),
         perr(38, 47, "invalid alignment value: must be between 1 and 4294967295, got 0")},
        {"a negative alignment", in_block("%v: i32 = load %p, align -1\n ret void"),
         perr(38, 48, "invalid alignment value: must be between 1 and 4294967295, got -1")},
        {"an alignment past 32 bits", in_block("%v: i32 = load %p, align 4294967296\n ret void"),
         perr(38, 56, "invalid alignment value: must be between 1 and 4294967295, got 4294967296")},
        {"a huge alignment", in_block("%v: i32 = load %p, align 0x10000000000000000\n ret void"),
         perr(38, 65,
              "invalid alignment value: must be between 1 and 4294967295, got "
              "18446744073709551616")},
        {"a vector size in a destination type", in_block("%v: <0 x i8> = load %p\n ret void"),
         perr(26, 28, "vector size must be a positive non-zero integer")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parser_errors(c.text), std::vector<ParserError>{c.error}) << c.what;
}
