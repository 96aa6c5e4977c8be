#include "kdinstr/modules/parser/type_grammar.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include "kdinstr/modules/parser/lexer.hpp"

using namespace kdinstr::modules::parser;
using kdinstr::types::AnyType;
using kdinstr::types::Typeref;
using kdinstr::types::TypeRegistry;
using kdinstr::utils::ParserError;
namespace primary = kdinstr::types::primary;

namespace {

ParserError err(std::size_t start, std::size_t end, std::string message) {
    return ParserError{std::nullopt, start, end, std::move(message)};
}

std::string text_of(const TypeRegistry& registry, const Typeref& ref) {
    return registry.read().text(ref);
}

// The order in which the registry minted a type (its clock sequence).
unsigned minted(const Typeref& ref) {
    return ((ref.uuid.bytes[8] & 0x3Fu) << 8) | ref.uuid.bytes[9];
}

// The three type labels, as a type that could not start expects them.
std::string no_type(std::string_view found) {
    return fmt::format("found {} expected primary type, array type, or struct type", found);
}

// Runs `f` on a thread with a stack of `bytes`.
void run_with_stack(std::size_t bytes, const std::function<void()>& f) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
    pthread_t thread;
    auto call = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, call, const_cast<std::function<void()>*>(&f)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

}  // namespace

TEST(ParserTypeGrammar, ReadsAndInternsEveryForm) {
    struct Case {
        std::string text;
        std::string type;  // the registry's text of the result
    };
    const std::vector<Case> cases = {
        {"i32", "i32"},
        {"i1", "i1"},
        {"fp16", "fp16"},
        {"bf16", "bf16"},
        {"fp32", "fp32"},
        {"fp64", "fp64"},
        {"fp128", "fp128"},
        {"x86_fp80", "x86_fp80"},
        {"ppc_fp128", "ppc_fp128"},
        {"ptr", "ptr"},
        {"<4 x i32>", "<4 x i32>"},
        {"<vscale 2 x fp64>", "<vscale 2 x fp64>"},
        {"<1 x ptr>", "<1 x ptr>"},
        {"<65535 x i8>", "<65535 x i8>"},
        {"<0xFF x i8>", "<255 x i8>"},
        {"[3 x [2 x i8]]", "[ 3 x [ 2 x i8 ] ]"},
        {"[2 x {i8, i16}]", "[ 2 x {i8, i16} ]"},
        {"{i8, [4 x ptr], <2 x fp32>}", "{i8, [ 4 x ptr ], <2 x fp32>}"},
        {"{}", "{}"},
        {"packed {}", "packed {}"},
        {"packed {i8, i32}", "packed {i8, i32}"},
        {"[ 4 x i32 ]", "[ 4 x i32 ]"},
        {"{ {}, {{}} }", "{{}, {{}}}"},
    };
    for (const auto& c : cases) {
        TypeRegistry registry;
        const TypeReadResult r = read_type(c.text, registry);
        EXPECT_TRUE(r.errors.empty()) << c.text << ": " << (r.errors.empty() ? "" : r.errors[0].debug());
        ASSERT_TRUE(r.type) << c.text;
        EXPECT_EQ(text_of(registry, *r.type), c.type) << c.text;
    }
}

TEST(ParserTypeGrammar, EqualTypesShareOneTyperefAndInnerTypesComeFirst) {
    TypeRegistry registry;
    const auto a = read_type("i32", registry).type;
    const auto b = read_type("i32", registry).type;
    EXPECT_EQ(a, b);
    EXPECT_EQ(registry.get(*a), AnyType(primary::IType{32}));
    const auto s = read_type("{i8, i32}", registry).type;
    const auto p = read_type("packed {i8, i32}", registry).type;
    EXPECT_NE(s, p);

    TypeRegistry fresh;
    const auto arr = read_type("[2 x {i16, <4 x i8>}]", fresh);
    ASSERT_TRUE(arr.type);
    const auto view = fresh.read();
    const auto* array = view.find(*arr.type)->as_array();
    ASSERT_NE(array, nullptr);
    const auto* st = view.find(array->element)->as_struct();
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->elements.size(), 2u);
    // Minted in reading order: i16, the vector, the struct, the array.
    EXPECT_EQ(minted(st->elements[0]), 0u);
    EXPECT_EQ(minted(st->elements[1]), 1u);
    EXPECT_EQ(minted(array->element), 2u);
    EXPECT_EQ(minted(*arr.type), 3u);
    EXPECT_EQ(fresh.len(), 4u);  // the vector's i8 element is no type of its own
}

TEST(ParserTypeGrammar, SizeChecksEmitAndReadOne) {
    struct Case {
        std::string text;
        std::string type;
        std::vector<ParserError> errors;
    };
    const std::vector<Case> cases = {
        {"<65536 x i8>", "<1 x i8>",
         {err(1, 7, "vector size too large: maximum allowed is 65535, got 65536")}},
        {"<0x10000 x i8>", "<1 x i8>",
         {err(1, 9, "vector size too large: maximum allowed is 65535, got 65536")}},
        {"<vscale 99999999999999999999 x i8>", "<vscale 1 x i8>",
         {err(8, 29,
              "vector size too large: maximum allowed is 65535, got 99999999999999999999")}},
        {"<0 x i8>", "<1 x i8>", {err(1, 3, "vector size must be a positive non-zero integer")}},
        {"<-1 x i8>", "<1 x i8>", {err(1, 4, "vector size must be a positive non-zero integer")}},
        {"<-99999999999999999999 x i8>", "<1 x i8>",
         {err(1, 23, "vector size must be a positive non-zero integer")}},
        {"[0 x i32]", "[ 1 x i32 ]", {err(0, 9, "array size must be a positive non-zero integer")}},
        {"  [65536 x i32] ", "[ 1 x i32 ]",
         {err(0, 16, "array size too large: maximum allowed is 65535, got 65536")}},
        // Inner errors are emitted before the array's own, which spans the whole array.
        {"[0 x <0 x i8>]", "[ 1 x <1 x i8> ]",
         {err(6, 8, "vector size must be a positive non-zero integer"),
          err(0, 14, "array size must be a positive non-zero integer")}},
    };
    for (const auto& c : cases) {
        TypeRegistry registry;
        const TypeReadResult r = read_type(c.text, registry);
        ASSERT_TRUE(r.type) << c.text;
        EXPECT_EQ(text_of(registry, *r.type), c.type) << c.text;
        EXPECT_EQ(r.errors, c.errors) << c.text;
    }
}

TEST(ParserTypeGrammar, FailuresListWhatWasExpected) {
    struct Case {
        std::string text;
        ParserError error;
    };
    const std::vector<Case> cases = {
        {"5", err(0, 1, no_type("'5'"))},
        {"void", err(0, 4, no_type("'void'"))},
        {"ptr.a", err(0, 5, no_type("'ptr.a'"))},
        {"label", err(0, 5, no_type("'label'"))},
        {"A", err(0, 1, no_type("'A'"))},
        {"", err(0, 0, no_type("end of input"))},
        {"<4 x <2 x i8>>", err(5, 6, "found '<' expected something else")},
        {"<4 x [2 x i8]>", err(5, 6, "found '[' expected something else")},
        {"<4 x {}>", err(5, 6, "found '{' expected something else")},
        {"<x i32>", err(1, 3, "found 'x' expected 'vscale', or token Number")},
        {"<vscale x i32>", err(8, 10, "found 'x' expected token Number")},
        {"<4 x i32", err(8, 8, "found end of input expected '>'")},
        {"<4 X i32>", err(3, 5, "found 'X' expected 'x'")},
        {"<4 x>", err(4, 5, "found '>' expected something else")},
        {"<4 x", err(4, 4, "found end of input expected any")},
        {"[4 x i32", err(8, 8, "found end of input expected ']'")},
        {"[4 x 5]", err(5, 6, no_type("'5'"))},
        {"[x i32]", err(1, 3, "found 'x' expected token Number")},
        {"{i8,}", err(4, 5, no_type("'}'"))},
        {"{i8 i32}", err(4, 7, "found 'i32' expected ',', or '}'")},
        {"{5}", err(1, 2, "found '5' expected primary type, array type, struct type, or '}'")},
        {"{i8, i16", err(8, 8, "found end of input expected ',', or '}'")},
        {"packed i8", err(7, 9, "found 'i8' expected '{'")},
        {"i32 i32", err(4, 7, "found 'i32' expected end of input")},
        {"[2 x [3 x {i8, <2 x i1>, }]]", err(25, 26, no_type("'}'"))},
    };
    for (const auto& c : cases) {
        TypeRegistry registry;
        const TypeReadResult r = read_type(c.text, registry);
        EXPECT_FALSE(r.type) << c.text;
        ASSERT_EQ(r.errors.size(), 1u) << c.text;
        EXPECT_EQ(r.errors[0], c.error) << c.text;
    }
}

TEST(ParserTypeGrammar, AbandonedAlternativesKeepWhatTheyInterned) {
    TypeRegistry registry;
    // The vector's element i8 is read but never interned alone; the struct's i16 is interned
    // before the struct fails.
    const TypeReadResult r = read_type("{i16 i8}", registry);
    EXPECT_FALSE(r.type);
    EXPECT_EQ(registry.len(), 1u);
    EXPECT_EQ(registry.get(registry.search_or_insert(primary::IType{16})),
              AnyType(primary::IType{16}));
    EXPECT_EQ(registry.len(), 1u);
}

TEST(ParserTypeGrammar, HundredThousandLevelsOnASmallStack) {
    constexpr int depth = 100000;
    std::string arrays, structs;
    for (int i = 0; i < depth; ++i) arrays.append("[1 x ");
    arrays.append("<2 x i8>");
    arrays.append(depth, ']');
    for (int i = 0; i < depth; ++i) structs.append(i % 2 ? "{i8, " : "[2 x ");
    structs.append("<vscale 4 x ptr>");
    for (int i = depth - 1; i >= 0; --i) structs.push_back(i % 2 ? '}' : ']');
    // An "x" in place of a "]" half-way out.
    std::string broken = arrays;
    broken[broken.size() - depth / 2] = 'x';

    run_with_stack(256 * 1024, [&] {
        TypeRegistry registry;
        const TypeReadResult a = read_type(arrays, registry);
        EXPECT_TRUE(a.errors.empty());
        EXPECT_TRUE(a.type);
        EXPECT_EQ(registry.len(), static_cast<std::size_t>(depth) + 1);
        const TypeReadResult s = read_type(structs, registry);
        EXPECT_TRUE(s.errors.empty());
        EXPECT_TRUE(s.type);
        // A failure deep inside is reported by the tracked run, which nests just as deep.
        const TypeReadResult b = read_type(broken, registry);
        EXPECT_FALSE(b.type);
        ASSERT_EQ(b.errors.size(), 1u);
        EXPECT_EQ(b.errors[0].message, "found 'x' expected ']'");
    });
}

namespace {

struct ModeRun {
    bool ok;
    std::vector<EmittedError> emitted;
};

template <bool Track>
ModeRun run_mode(const TokenList& tokens, TypeRegistry& registry) {
    State state(registry, std::make_shared<Resolver>([](std::string_view, bool) { return std::nullopt; }),
                std::make_shared<IdGenerator>([] { return kdinstr::utils::Uuid{}; }));
    Diagnostics<Track> diag;
    TokenCursor<Track> c(tokens, state, diag);
    const bool ok = type_parser(c).has_value() && c.end();
    return ModeRun{ok, diag.emitted()};
}

}  // namespace

// The fast run decides success and collects the emitted errors; the tracked run, used only for
// the syntax error, must take the same path on every input.
TEST(ParserTypeGrammar, FastAndTrackedRunsAgree) {
    const std::vector<std::string> pieces = {
        "[",  "]",  "{",  "}",  "<",  ">",  ",", "x",      "vscale", "packed", "ptr",
        "i8", "0",  "-1", "70000", "4", "fp32", "void", "X", "ptr.a", "[2 x i8]", "<2 x i1>"};
    const std::string base = "{packed {i8, <vscale 4 x i16>}, [0 x [2 x <70000 x ptr>]], {}}";
    const auto lexed = lexer(base);
    ASSERT_TRUE(lexed.tokens);
    const std::size_t n = lexed.tokens->size();
    std::size_t failures = 0;
    for (std::size_t at = 0; at <= n; ++at) {
        for (const auto& piece : pieces) {
            for (int replace = 0; replace < 2; ++replace) {
                // Insert the piece before token `at`, or replace that token by it.
                const std::size_t start = at == 0 ? 0 : lexed.tokens->span(at - 1).end;
                const std::size_t end =
                    replace && at < n ? lexed.tokens->span(at).end : start;
                const std::string text =
                    base.substr(0, start) + piece + " " + base.substr(end);
                const auto l = lexer(text);
                if (!l.tokens) continue;
                TypeRegistry registry;
                const ModeRun fast = run_mode<false>(*l.tokens, registry);
                const ModeRun full = run_mode<true>(*l.tokens, registry);
                EXPECT_EQ(fast.ok, full.ok) << text;
                EXPECT_EQ(fast.emitted, full.emitted) << text;
                failures += fast.ok ? 0 : 1;
            }
        }
    }
    EXPECT_GT(failures, n);
}
