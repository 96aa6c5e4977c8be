// The module and function-definition grammar: how a definition becomes a function (name, meta
// flag, metadata, parameters, blocks), where line breaks may stand, how registers and labels are
// numbered; and the two runs of the grammar (fast, then tracked from the failing item) agreeing
// on every broken text.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kdinstr/modules/parser/lexer.hpp"
#include "kdinstr/modules/parser/module_grammar.hpp"
#include "kdinstr/modules/parser/state.hpp"
#include "kdinstr/tests/ir_builder.hpp"
#include "kdinstr/tests/parser_text.hpp"
#include "kdinstr/utils/log.hpp"

namespace {

using namespace kdinstr::modules;
using namespace kdinstr::modules::parser;
using kdinstr::tests::parser_errors;
using kdinstr::tests::perr;
using kdinstr::tests::TextParse;
using kdinstr::types::TypeRegistry;
using kdinstr::utils::Error;
using kdinstr::utils::ParserError;
using kdinstr::utils::Uuid;
namespace t = kdinstr::tests;

// A State whose resolver answers every name with `answer` (none: the "not found" path).
State state_with(TypeRegistry& registry, std::optional<Uuid> answer = Uuid{}) {
    return State(registry,
                 std::make_shared<Resolver>(
                     [answer](std::string_view, bool) -> std::optional<Uuid> { return answer; }),
                 std::make_shared<IdGenerator>([] { return t::uuid(7); }));
}

}  // namespace

TEST(ParserModuleGrammar, HeaderMakesTheFunction) {
    TextParse p;
    ASSERT_TRUE(
        p.read("define i32 hidden fastcc add.two(%a: i32, %b: i64) {\n"
               "entry: ret %a\n}\n"
               "define void coldcc protected !check() {\nentry: ret void\n}\n"
               "define {i8, ptr} plain() {\nentry: ret {i8, ptr} undef\n}"));
    const Function& add = p.function("add.two");
    EXPECT_EQ(add.parameters, (std::vector<std::pair<Name, kdinstr::types::Typeref>>{
                                  {Name{0}, p.i(32)}, {Name{1}, p.i(64)}}));
    EXPECT_EQ(add.return_type, p.i(32));
    EXPECT_EQ(add.visibility, Visibility::Hidden);
    EXPECT_EQ(add.calling_convention, CallingConvention(CallingConvention::Tag::FastC));
    EXPECT_FALSE(add.meta);
    EXPECT_EQ(add.uuid.bytes[6] >> 4, 4);  // a random version-4 uuid

    const Function& check = p.function("check");
    EXPECT_TRUE(check.meta);
    EXPECT_EQ(check.return_type, std::nullopt);
    EXPECT_EQ(check.visibility, Visibility::Protected);
    EXPECT_EQ(check.calling_convention, CallingConvention(CallingConvention::Tag::ColdC));

    const Function& plain = p.function("plain");
    EXPECT_EQ(plain.visibility, std::nullopt);
    EXPECT_EQ(plain.calling_convention, std::nullopt);
    EXPECT_TRUE(plain.wildcard_types.empty());
    EXPECT_EQ(plain.reserved_id, std::nullopt);
}

// A second token of a kind is an error over the whole metadata list, and the later token is the
// one the function keeps (the text fails all the same).
TEST(ParserModuleGrammar, DuplicateMetadataKeepsTheLaterToken) {
    TypeRegistry registry;
    const std::string text = "define void hidden protected f() {\nl: ret void\n}";
    const auto lexed = lexer(text);
    ASSERT_TRUE(lexed.tokens);
    State state = state_with(registry);
    const ModuleParse parsed = parse_module(*lexed.tokens, state);
    EXPECT_FALSE(parsed.failure);
    EXPECT_EQ(parsed.emitted,
              (std::vector<EmittedError>{{Span{2, 4}, "duplicate visibility metadata"}}));
    ASSERT_EQ(parsed.items.size(), 1u);
    EXPECT_EQ(std::get<Function>(parsed.items[0].value).visibility, Visibility::Protected);
}

TEST(ParserModuleGrammar, LineBreaksStandOnlyBetweenItemsLinesAndBlocks) {
    const std::vector<std::string> accepted = {
        // Terminator on the label's line; next block on the terminator's line.
        "define void f() { a: jump b b: ret void }",
        // Definitions on consecutive lines, and one beginning where the previous one closes.
        "define void f() {\na: ret void\n}\ndefine void g() {\na: ret void\n} define void h() "
        "{\na:\nret void\n}",
        // Blank lines and comments fold into one line break anywhere one may stand.
        "\n; head\n\ndefine void f() { ; open\n\na: ; label\n\n  %x: i32 = iadd.wrap i32 1, i32 "
        "2 ; one\n\n; two\n  %y: i32 = iadd.wrap %x, %x\n\n  ret void ; end\n\n}\n\n",
    };
    for (const auto& text : accepted) {
        TextParse p;
        auto r = p.read(text);
        EXPECT_TRUE(r) << text << "\n" << (r ? "" : r.error().message());
    }
}

TEST(ParserModuleGrammar, BlocksOfOneLabelAndEmptyBodies) {
    TextParse p;
    ASSERT_TRUE(p.read("define i32 f() {\nl: ret i32 1\nl: ret i32 2\n}"));
    const Function& f = p.function("f");
    ASSERT_EQ(f.body.size(), 1u);
    EXPECT_EQ(f.body.at(Label{0}).terminator, KdTerminator(TerminatorRet{t::imm_int(2, 32)}));

    // The body replaces the default function's trap block: an empty body has no entry block.
    for (const std::string text : {"define void f() {}", "define void f() {\n}"}) {
        TextParse q;
        EXPECT_EQ(q.read(text), std::unexpected(Error(Error::MissingEntryBlock{}))) << text;
    }
}

// Registers and labels are numbered in order of first appearance, per function: the parameters
// first, a line's operands before its destination, a branch target before its block. What the
// numbers were shows in the errors that name registers before renumbering.
TEST(ParserModuleGrammar, NumberingFollowsFirstAppearance) {
    TextParse p;
    ASSERT_TRUE(
        p.read("define void f() {\n"
               "first: jump third\n"
               "second: jump first\n"
               "third: branch i1 1, second, first\n"
               "}\n"
               "define void g() {\nentry: ret void\n}"));
    const Function& f = p.function("f");
    EXPECT_EQ(f.body.at(Label{0}).terminator, KdTerminator(TerminatorJump{Label{1}}));
    EXPECT_EQ(f.body.at(Label{2}).terminator, KdTerminator(TerminatorJump{Label{0}}));
    EXPECT_EQ(f.body.at(Label{1}).terminator,
              KdTerminator(TerminatorBranch{t::imm_int(1, 1), Label{2}, Label{0}}));
    EXPECT_TRUE(p.function("g").body.contains(Label{0}));

    struct Case {
        std::string text;
        Error error;
    };
    const std::vector<Case> cases = {
        // %p 0, %u 1 (an operand, before the destination %x 2): %u is used and never defined.
        {"define void f(%p: i32) {\nl: %x: i32 = iadd.wrap %u, %p\n ret void\n}",
         Error::UndefinedName{Name{1}}},
        // %a 0, %b 1, %c 2: the third line defines %a again.
        {"define void f(%a: i32) {\nl:\n %b: i32 = iadd.wrap %a, %a\n %c: i32 = iadd.wrap %b, "
         "%b\n %a: i32 = iadd.wrap %c, %c\n ret void\n}",
         Error::DuplicateDefinition{Name{0}}},
        // A parameter listed twice.
        {"define void f(%a: i32, %b: i32, %a: i32) {\nl: ret void\n}",
         Error::DuplicateDefinition{Name{0}}},
        // Two destinations; numbering restarts in the second function (%q 0, %y 1, %x 2).
        {"define void g(%p: i32) {\nl: ret void\n}\ndefine void f(%q: i32) {\nl:\n %x: i32 = "
         "iadd.wrap %y, %q\n %x: i32 = iadd.wrap %q, %q\n ret void\n}",
         Error::DuplicateDefinition{Name{2}}},
        // The walk goes by label, not by text: the second block b (label 0) replaces the first
        // and comes before a, so %z (1) is found before %y (0), which a defines as well.
        {"define void f() {\nb: jump a\na:\n %y: i32 = iadd.wrap i32 1, i32 1\n ret void\nb:\n "
         "%y: i32 = iadd.wrap i32 2, i32 2\n %z: i32 = iadd.wrap %y, %y\n %z: i32 = iadd.wrap "
         "%y, %y\n jump a\n}",
         Error::DuplicateDefinition{Name{1}}},
    };
    for (const auto& c : cases) {
        TextParse q;
        EXPECT_EQ(q.read(c.text), std::unexpected(c.error)) << c.text;
        EXPECT_TRUE(q.module.functions.empty());
    }
}

namespace {

std::vector<kdinstr::utils::log::Record> records;
void keep(const kdinstr::utils::log::Record& r) { records.push_back(r); }

}  // namespace

TEST(ParserModuleGrammar, MetaFlagMismatchIsOnlyLogged) {
    records.clear();
    const auto previous = kdinstr::utils::log::set_receiver(&keep);
    // Meta instructions without the flag: logged here, refused later by verification.
    const auto unflagged =
        TextParse().read("define void f(%c: i1) {\nl:\n !assert %c\n ret void\n}");
    const auto flagged = TextParse().read("define void !g() {\nl: ret void\n}");
    kdinstr::utils::log::set_receiver(previous);

    ASSERT_FALSE(unflagged);
    EXPECT_TRUE(unflagged.error().is<Error::MetaInstruction>());
    EXPECT_TRUE(flagged);
    std::vector<std::string> parser_lines;
    for (const auto& r : records)
        if (r.level != kdinstr::utils::log::Level::Debug) parser_lines.push_back(r.message);
    EXPECT_EQ(parser_lines,
              (std::vector<std::string>{
                  "Function 'f' should be declared as a meta-function (it uses meta-instructions "
                  "or has wildcard types)",
                  "Module verification failed: " + unflagged.error().message(),
                  "Function 'g' is declared as a meta-function but does not use any "
                  "meta-instructions or wildcard types",
              }));
    for (const auto& r : records) EXPECT_EQ(r.target, "kdinstr::modules::parser");
}

// A resolver that finds nothing: the pointer is recorded as an error over "ptr ... name" and the
// parse goes on with a pointer to the nil uuid.
TEST(ParserModuleGrammar, FunctionPointerNotFound) {
    TypeRegistry registry;
    const std::string text =
        "define void f() {\nl:\n invoke ptr external g.h\n invoke ptr f\n ret void\n}";
    const auto lexed = lexer(text);
    ASSERT_TRUE(lexed.tokens);
    State state = state_with(registry, std::nullopt);
    const ModuleParse parsed = parse_module(*lexed.tokens, state);
    EXPECT_FALSE(parsed.failure);
    EXPECT_EQ(to_parser_errors(TokenInput(*lexed.tokens), parsed.emitted, parsed.failure),
              (std::vector<ParserError>{
                  perr(29, 45, "external function pointer 'g.h' not found"),
                  perr(54, 59, "function pointer 'f' not found"),
              }));
    ASSERT_EQ(parsed.items.size(), 1u);
    const auto& body = std::get<Function>(parsed.items[0].value).body.at(Label{0});
    EXPECT_EQ(body.instructions[0], t::invoke(t::internal_fn(Uuid{})));
}

namespace {

// Texts that fail (or pass with emitted errors), some in their first item and some after
// complete items, so that the tracked run starts again at different places.
struct Broken {
    std::string text;
    bool fails_after_an_item;
};
const std::vector<Broken> broken_texts = {
    {"foo", false},
    {"\n\nfoo", false},
    {"define void f() {\nl: jump label x\n}", false},
    {"define void f() {\nl: %r: i32 = phi [%a, l] [%b, l]\n ret void\n}", false},
    {"define void hidden hidden f() {\nl: ret void\n}", false},
    {"define void f() {\nl: ret void\n}\n}", true},
    {"define void f() {\nl: ret void\n}\ndefine void g() {\nl: ret 5\n}", true},
    {"define void f() {\nl: ret void\n}\nimport \"a\"\nimport 5", true},
    {"define void hidden hidden f() {\nl: ret void\n}\ndefine void g() {\nl: %x: i32 = "
     "iadd.wrap 5\n}",
     true},
    {"define void f() {\nl: ret void\n} define void g() {\nl: ret {i32,} undef\n}", true},
    {"define void f() {\nl: ret void\n}\ndefine void g() {\nl: %x: <0 x i8> = load %p, align "
     "0\n %y: i32 = load.a.b %p\n ret void\n} define",
     true},
    {"define void f() {\nl: ret void\n}\ndefine void g() {\nl: ret {}\n}", true},
    // The struct type of the return takes the brace meant to close the body.
    {"define void f() {\nl: ret void\n}\ndefine void g() { l: ret {}", true},
    {"define void f() {\nl: ret void\n}\ndefine void g(%a: i32,) {}", true},
    {"define void f() {\nl: ret void\n}\n\n; comment\ndefine void g() {\nl:\n foo\n}", true},
};

}  // namespace

// The fast run finds the same outcome and emitted errors as a tracked run, and the syntax error
// from the restart at the failing item is the one a tracked run of the whole text finds.
TEST(ParserModuleGrammar, FastAndTrackedRunsAgree) {
    for (const auto& [text, later] : broken_texts) {
        const auto lexed = lexer(text);
        ASSERT_TRUE(lexed.tokens) << text;
        const TokenList& tokens = *lexed.tokens;
        TypeRegistry registry;

        State fast_state = state_with(registry);
        Diagnostics<false> fast;
        TokenCursor<false> fc(tokens, fast_state, fast);
        std::vector<Item> fast_items;
        std::size_t restart = 0;
        const bool fast_ok = module_item_parser(fc, fast_items, restart);

        State tracked_state = state_with(registry);
        Diagnostics<true> tracked;
        TokenCursor<true> tc(tokens, tracked_state, tracked);
        std::vector<Item> tracked_items;
        std::size_t ignored = 0;
        const bool tracked_ok = module_item_parser(tc, tracked_items, ignored);

        EXPECT_EQ(fast_ok, tracked_ok) << text;
        EXPECT_FALSE(fast_ok && fast.emitted().empty()) << "not broken: " << text;
        EXPECT_EQ(fast.emitted(), tracked.emitted()) << text;
        EXPECT_EQ(fast_items.size(), tracked_items.size()) << text;
        if (fast_ok) continue;
        EXPECT_EQ(restart > 0, later) << text;
        State again = state_with(registry);
        EXPECT_EQ(module_syntax_error(tokens, again, restart),
                  tracked.final_error(tokens.size(), tc.pos()))
            << text;
    }
}
