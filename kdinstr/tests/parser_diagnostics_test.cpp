#include "kdinstr/modules/parser/diagnostics.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/modules/parser/char_cursor.hpp"
#include "kdinstr/modules/parser/lexer.hpp"
#include "kdinstr/modules/parser/token_list.hpp"

using namespace kdinstr::modules::parser;

namespace {

Expected ch(char c) { return Expected::character(static_cast<unsigned char>(c)); }
Expected label(RuleLabel l) { return Expected::label(l); }

std::string texts(const std::vector<Expected>& items) {
    std::string out;
    for (const auto& e : items) {
        if (!out.empty()) out += '|';
        out += e.text();
    }
    return out;
}

// The recorded error at the bottom level as "pos:item|item".
std::string recorded(const Diagnostics<true>& d) {
    auto r = d.recorded();
    if (!r) return "none";
    std::string out = std::to_string(r->first);
    out += ':';
    out += texts(r->second);
    return out;
}

}  // namespace

TEST(ParserDiagnostics, ItemTextsAndMessageForms) {
    EXPECT_EQ(Expected::end_of_input().text(), "end of input");
    EXPECT_EQ(Expected::any().text(), "any");
    EXPECT_EQ(Expected::something_else().text(), "something else");
    EXPECT_EQ(label(RuleLabel::Word).text(), "identifier or keyword or itype");
    EXPECT_EQ(Expected::token_label(TokenDiscriminants::StringLiteral).text(),
              "token StringLiteral");
    EXPECT_EQ(ch('\n').text(), "'\n'");
    EXPECT_EQ(Expected::character(U'\u00e9').text(), "'\xc3\xa9'");
    EXPECT_EQ(Expected::token(FixedToken::Newline).text(), "'\\n'");
    EXPECT_EQ(Expected::token(FixedToken::Ret).text(), "'Ret'");
    EXPECT_EQ(Expected::token(FixedToken::Vscale).text(), "'vscale'");

    EXPECT_EQ(syntax_message("end of input", {}), "found end of input expected something else");
    EXPECT_EQ(syntax_message("'x'", {ch(']')}), "found 'x' expected ']'");
    EXPECT_EQ(syntax_message("'x'", {ch(','), ch('}')}), "found 'x' expected ',', or '}'");
    EXPECT_EQ(syntax_message("'x'", {label(RuleLabel::PrimaryType), label(RuleLabel::ArrayType),
                                     label(RuleLabel::StructType)}),
              "found 'x' expected primary type, array type, or struct type");
}

TEST(ParserDiagnostics, FailuresMergeByPosition) {
    Diagnostics<true> d;
    EXPECT_EQ(recorded(d), "none");
    d.fail(3, ch('a'));
    d.fail(3, {ch('b'), ch('a'), ch('c')});  // same position: new items appended in order
    EXPECT_EQ(recorded(d), "3:'a'|'b'|'c'");
    d.fail(2, ch('z'));  // before: dropped
    EXPECT_EQ(recorded(d), "3:'a'|'b'|'c'");
    d.fail(5, Expected::any());  // further: replaces
    EXPECT_EQ(recorded(d), "5:any");
    // The found element is the one at the position, whatever failed there later.
    const SyntaxError e = d.final_error(5, 5);
    EXPECT_EQ(e.pos, 5u);
    EXPECT_EQ(e.found, std::nullopt);
    EXPECT_EQ(d.final_error(9, 5).found, std::optional<std::size_t>(5));
    // Nothing recorded: no items and no found element at the final position.
    Diagnostics<true> empty;
    EXPECT_EQ(empty.final_error(9, 4), (SyntaxError{4, std::nullopt, {}}));
}

TEST(ParserDiagnostics, LabelsRelabelAtTheirStartAndCombineLongerFirst) {
    struct Case {
        const char* name;
        void (*run)(Diagnostics<true>&);
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"inner failure at the label's start is relabelled",
         [](Diagnostics<true>& d) {
             d.begin_label();
             d.fail(0, {ch('a'), ch('b')});
             d.end_label(0, label(RuleLabel::Numeral));
         },
         "0:numeral"},
        {"inner failure further in is kept",
         [](Diagnostics<true>& d) {
             d.begin_label();
             d.fail(2, ch('a'));
             d.end_label(0, label(RuleLabel::Numeral));
         },
         "2:'a'"},
        {"a rule that succeeded still relabels what it left at its start",
         [](Diagnostics<true>& d) {
             d.begin_label();
             d.fail(4, ch('!'));  // optional part absent, then the rule went on and succeeded
             d.end_label(4, label(RuleLabel::Word));
             d.fail(4, ch('x'));  // a later failure at the same position merges with the label
         },
         "4:identifier or keyword or itype|'x'"},
        {"the saved error stays when the label's error lies before it",
         [](Diagnostics<true>& d) {
             d.fail(5, ch('s'));
             d.begin_label();
             d.fail(3, ch('a'));
             d.end_label(3, label(RuleLabel::Comment));
         },
         "5:'s'"},
        {"a further error inside the label replaces the saved one",
         [](Diagnostics<true>& d) {
             d.fail(1, ch('s'));
             d.begin_label();
             d.fail(3, ch('a'));
             d.end_label(1, label(RuleLabel::Comment));
         },
         "3:'a'"},
        {"same position: the longer list comes first",
         [](Diagnostics<true>& d) {
             d.fail(2, ch('s'));
             d.begin_label();
             d.fail(2, {ch('x'), ch('y'), ch('s')});
             d.end_label(0, label(RuleLabel::Register));
         },
         "2:'x'|'y'|'s'"},
        {"same position, equal lengths: the saved list first",
         [](Diagnostics<true>& d) {
             d.fail(2, {ch('s'), ch('t')});
             d.begin_label();
             d.fail(2, {ch('t'), ch('u')});
             d.end_label(0, label(RuleLabel::Register));
         },
         "2:'s'|'t'|'u'"},
        {"nested labels each relabel at their own start",
         [](Diagnostics<true>& d) {
             d.fail(0, Expected::end_of_input());
             d.begin_label();               // outer, starts at 0
             d.fail(0, ch('['));
             d.begin_label();               // inner, starts at 1
             d.fail(1, ch('x'));
             d.end_label(1, label(RuleLabel::PrimaryType));
             d.end_label(0, label(RuleLabel::ArrayType));
         },
         "1:primary type"},
    };
    for (const auto& c : cases) {
        Diagnostics<true> d;
        c.run(d);
        EXPECT_EQ(recorded(d), c.expected) << c.name;
    }
}

// A small grammar over characters: list = item ("," item)* end; item = "a" ("b" "!")? "b"?,
// labelled; reading the "b" of the optional part emits an error, which its rewind drops again.
template <bool Track>
bool small_item(CharCursor<Track>& c) {
    LabelScope<Track> scope(c.diag(), c.pos(), label(RuleLabel::Word));
    if (!c.just('a')) return false;
    const Mark before_b = c.mark();
    if (c.just('b')) {
        c.emit(Span{before_b.pos, c.pos()}, fmt::format("b seen at {}", before_b.pos));
        if (!c.just('!')) c.rewind(before_b);
    }
    c.just('b');
    return true;
}

template <bool Track>
bool small_list(CharCursor<Track>& c) {
    if (!small_item(c)) return false;
    for (;;) {
        const Mark m = c.mark();
        if (!c.just(',') || !small_item(c)) {
            c.rewind(m);
            break;
        }
    }
    if (c.at_end()) return true;
    c.diag().fail(c.pos(), Expected::end_of_input());
    return false;
}

TEST(ParserDiagnostics, RewindsDropEmittedErrorsAndBothModesAgree) {
    struct Case {
        std::string text;
        bool ok;
        std::vector<std::string> messages;  // emitted, then the syntax error
    };
    const std::vector<Case> cases = {
        {"ab!,a", true, {"b seen at 1"}},
        {"ab,ab!", true, {"b seen at 4"}},  // the first "b" was given back: its error went too
        {"ab", true, {}},
        {"a,ab!,x", false, {"b seen at 3", "found 'x' expected identifier or keyword or itype"}},
        {"a,", false, {"found end of input expected identifier or keyword or itype"}},
        {"a;", false, {"found ';' expected 'b', ',', or end of input"}},
        {"x", false, {"found 'x' expected identifier or keyword or itype"}},
    };
    for (const auto& c : cases) {
        Diagnostics<false> fast;
        CharCursor<false> fc(c.text, fast);
        const bool fast_ok = small_list(fc);
        Diagnostics<true> full;
        CharCursor<true> tc(c.text, full);
        const bool tracked_ok = small_list(tc);
        EXPECT_EQ(fast_ok, c.ok) << c.text;
        EXPECT_EQ(tracked_ok, c.ok) << c.text;
        EXPECT_EQ(fast.emitted(), full.emitted()) << c.text;
        std::optional<SyntaxError> failure;
        if (!tracked_ok) failure = full.final_error(c.text.size(), tc.pos());
        std::vector<std::string> messages;
        for (const auto& e : to_parser_errors(TextInput(c.text), fast.emitted(), failure))
            messages.push_back(e.message);
        EXPECT_EQ(messages, c.messages) << c.text;
    }
}

TEST(ParserDiagnostics, TokenSpansBecomeByteOffsets) {
    // "ab  c ;x\n" -> ab [0,4), c [4,8), newline [8,9)
    const std::string text = "ab  c ;x\n";
    auto lexed = lexer(text);
    ASSERT_TRUE(lexed.tokens);
    const TokenList& tokens = *lexed.tokens;
    ASSERT_EQ(tokens.size(), 3u);
    const TokenInput input(tokens);
    EXPECT_EQ(input.bytes(Span{0, 1}), (Span{0, 4}));
    EXPECT_EQ(input.bytes(Span{1, 3}), (Span{4, 9}));
    EXPECT_EQ(input.bytes(Span{1, 1}), (Span{4, 4}));
    EXPECT_EQ(input.bytes(Span{3, 3}), (Span{9, 9}));  // at the end: the source length
    EXPECT_EQ(input.bytes(Span{7, 9}), (Span{9, 9}));
    EXPECT_EQ(input.found_text(1), "'c'");
    EXPECT_EQ(input.found_text(2), "'\\n'");

    const std::vector<EmittedError> emitted = {{Span{0, 2}, "custom"}};
    const auto errors =
        to_parser_errors(input, emitted, SyntaxError{3, std::nullopt, {Expected::token(FixedToken::RBrace)}});
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], (kdinstr::utils::ParserError{std::nullopt, 0, 8, "custom"}));
    EXPECT_EQ(errors[1],
              (kdinstr::utils::ParserError{std::nullopt, 9, 9, "found end of input expected '}'"}));
}
