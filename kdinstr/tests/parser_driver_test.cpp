// The parser's entry point as its callers see it: imports refused, the token texts kept with the
// errors, the order in which failures are reported, function names resolved within a text and
// across texts, the module changed only by a text that gets as far as insertion, the log
// records, and small complete programs of every instruction family that verify and type-check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/modules/parser/lexer.hpp"
#include "kdinstr/tests/ir_builder.hpp"
#include "kdinstr/tests/parser_text.hpp"
#include "kdinstr/utils/log.hpp"

namespace {

using namespace kdinstr::modules;
using kdinstr::tests::parser_errors;
using kdinstr::tests::perr;
using kdinstr::tests::TextParse;
using kdinstr::utils::Error;
using kdinstr::utils::ParserError;
using kdinstr::utils::Uuid;
namespace t = kdinstr::tests;

std::unexpected<Error> failure(Error e) { return std::unexpected(std::move(e)); }

// A valid function `name` whose entry block returns a pointer to `target`.
std::string pointing(const std::string& name, const std::string& target) {
    return "define ptr " + name + "() {\nentry: ret ptr " + target + "\n}\n";
}

// The function pointer that function `name` returns, or a nil pointer.
FunctionPointer returned_pointer(const TextParse& p, const std::string& name) {
    const auto& ret = std::get<TerminatorRet>(p.function(name).body.at(Label{0}).terminator);
    return *ret.value->as_imm()->as_func_ptr();
}

const std::string valid = "define void ok() {\nentry: ret void\n}\n";

}  // namespace

TEST(ParserDriver, ImportsAreRefusedAfterTheParse) {
    const std::string text = valid + valid + "import \"lib\\\"s.kd\"\n";
    TextParse p;
    const auto result = p.read(text);
    ASSERT_FALSE(result);
    const auto* errors = result.error().get_if<Error::ParserErrors>();
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(
        errors->errors,
        std::vector<ParserError>{
            perr(0, 0, "import statements are not supported when parsing from string: lib\"s.kd")});
    EXPECT_EQ(errors->tokens, kdinstr::modules::parser::lexer(text).tokens->debug_texts());
    EXPECT_EQ(errors->tokens.back(), "Newline");
    EXPECT_TRUE(p.module.functions.empty());
}

TEST(ParserDriver, ErrorsKeepTheDebugTextOfEveryTokenExceptForLexerErrors) {
    TextParse p;
    const auto grammar = p.read("define 5 %x");
    ASSERT_FALSE(grammar);
    EXPECT_EQ(
        grammar.error(),
        Error(Error::ParserErrors{{perr(7, 9, "found '5' expected type, or 'void'")},
                                  {"Identifier(\"define\", [])", "Number(5)", "Register(\"x\")"}}));

    // The lexer's errors alone, even when the grammar would fail as well.
    const std::string text = "define 5 \"open";
    const auto lexed = kdinstr::modules::parser::lexer(text);
    ASSERT_FALSE(lexed.errors.empty());
    EXPECT_EQ(p.read(text), failure(Error::ParserErrors{lexed.errors, {}}));
}

// Lexer, then grammar, then imports, then (per function, in text order) registers defined twice
// and registers never defined, then internal names, then external names, then verification.
TEST(ParserDriver, FailuresComeInAFixedOrder) {
    const std::string undefined_register = "define void u() {\nentry: ret %nothing\n}\n";
    const std::string twice =
        "define void d(%a: i32) {\nentry:\n %a: i32 = iadd.wrap %b, %b\n ret void\n}\n";
    const std::string unresolved_internal = "define ptr user() {\nentry: ret ptr missing\n}\n";
    const std::string unresolved_external =
        "define ptr e() {\nentry: ret ptr external elsewhere\n}\n";
    const std::string import = "import \"x\"\n";
    const std::string bad_target = "define void v() {\nentry: jump nowhere\n}\n";
    const Error import_error = Error::ParserErrors{
        {perr(0, 0, "import statements are not supported when parsing from string: x")}, {}};
    struct Case {
        std::string what;
        std::string text;
        Error error;
    };
    const std::vector<Case> cases = {
        {"a function before an import is renumbered first", undefined_register + import,
         Error::UndefinedName{Name{0}}},
        {"an import before a function stops the walk there", import + undefined_register,
         import_error},
        {"an import before unresolved names", unresolved_internal + import, import_error},
        {"a register defined twice before one never defined", twice,
         Error::DuplicateDefinition{Name{0}}},
        {"registers before names", unresolved_internal + undefined_register,
         Error::UndefinedName{Name{0}}},
        {"internal names before external ones", unresolved_external + unresolved_internal,
         Error::UnresolvedFunction{FunctionPointerKind::Internal, "missing"}},
        {"names before verification", bad_target + unresolved_external,
         Error::UnresolvedFunction{FunctionPointerKind::External, "elsewhere"}},
    };
    for (const auto& c : cases) {
        TextParse p;
        auto result = p.read(c.text);
        ASSERT_FALSE(result) << c.what;
        if (auto* errors = std::get_if<Error::ParserErrors>(&result.error().variant()))
            errors->tokens = {};
        EXPECT_EQ(result.error(), c.error) << c.what;
        EXPECT_TRUE(p.module.functions.empty()) << c.what;
    }

    // Only a failed verification leaves the text's functions in the module.
    TextParse p;
    EXPECT_EQ(p.read(valid + bad_target), failure(Error::UndefinedBlock{Label{1}, "v"}));
    EXPECT_EQ(p.module.functions.size(), 2u);
    // The module is verified whole: a later text, even an empty one, reports the old fault.
    EXPECT_EQ(p.read("\n; nothing\n"), failure(Error::UndefinedBlock{Label{1}, "v"}));
}

TEST(ParserDriver, EmptyTextsAddNothing) {
    for (const std::string text : {"", "\n\n", "  ; only a comment", "\n; a\n\n; b\n"}) {
        TextParse p;
        EXPECT_TRUE(p.read(text)) << text;
        EXPECT_TRUE(p.module.functions.empty());
    }
}

TEST(ParserDriver, NamesResolveWithinOneText) {
    TextParse p;
    ASSERT_TRUE(p.read(pointing("self", "self") + pointing("early", "late.one") +
                       pointing("late.one", "early") + pointing("to_meta", "m") +
                       "define void !m() {\nentry: ret void\n}\n"));
    EXPECT_EQ(returned_pointer(p, "self"), FunctionPointer::internal(p.function("self").uuid));
    EXPECT_EQ(returned_pointer(p, "early"), FunctionPointer::internal(p.function("late.one").uuid));
    EXPECT_EQ(returned_pointer(p, "late.one"), FunctionPointer::internal(p.function("early").uuid));
    EXPECT_EQ(returned_pointer(p, "to_meta"), FunctionPointer::internal(p.function("m").uuid));

    // Instruction operands are resolved as well as returned values.
    TextParse q;
    ASSERT_TRUE(
        q.read("define void f() {\nentry:\n invoke ptr g\n ret void\n}\n"
               "define void g() {\nentry: ret void\n}"));
    EXPECT_EQ(q.function("f").body.at(Label{0}).instructions,
              std::vector<KdInstr>{t::invoke(t::internal_fn(q.function("g").uuid))});
}

// Each text may use the functions of the texts before it. A name the module already holds goes to
// that function, even when the new text defines it again; the module then holds both.
TEST(ParserDriver, NamesResolveAcrossTexts) {
    TextParse p;
    ASSERT_TRUE(p.read(valid + pointing("first", "ok")));
    const Uuid old_ok = p.function("ok").uuid;
    ASSERT_TRUE(p.read(pointing("second", "ok") + valid));
    EXPECT_EQ(p.module.functions.size(), 4u);
    const FunctionPointer second = returned_pointer(p, "second");
    EXPECT_EQ(second, FunctionPointer::internal(old_ok));
    // A name of a later text is not known to an earlier one.
    TextParse q;
    EXPECT_EQ(q.read(pointing("early", "later")),
              failure(Error::UnresolvedFunction{FunctionPointerKind::Internal, "later"}));
    EXPECT_TRUE(q.read(pointing("later", "later")));
    EXPECT_TRUE(q.read(pointing("early", "later")));
}

TEST(ParserDriver, DuplicateNamesMatterOnlyWhenReferenced) {
    TextParse p;
    EXPECT_TRUE(p.read(valid + valid));
    EXPECT_EQ(p.module.functions.size(), 2u);
    const auto [a, b] = std::pair{p.module.functions.begin()->second->uuid,
                                  p.module.functions.rbegin()->second->uuid};
    EXPECT_NE(a, b);

    TextParse q;
    EXPECT_EQ(q.read(valid + valid + pointing("user", "ok")),
              failure(Error::DuplicateFunctionName{"ok"}));
    EXPECT_TRUE(q.module.functions.empty());
}

// Unresolved names are tested in the order of their first reference.
TEST(ParserDriver, UnresolvedNamesInFirstReferenceOrder) {
    const std::string text =
        "define void f() {\nentry:\n"
        " invoke ptr external zeta\n invoke ptr beta\n invoke ptr alpha\n"
        " invoke ptr external alpha\n invoke ptr external zeta\n ret void\n}";
    TextParse p;
    EXPECT_EQ(p.read(text),
              failure(Error::UnresolvedFunction{FunctionPointerKind::Internal, "beta"}));
    TextParse q;
    EXPECT_EQ(q.read(text + "\n" + pointing("beta", "beta") + pointing("alpha", "alpha")),
              failure(Error::UnresolvedFunction{FunctionPointerKind::External, "zeta, alpha"}));
}

TEST(ParserDriver, ExternalNamesResolveAgainstTheModulesDeclarations) {
    TextParse p;
    p.module.external_functions.emplace(t::uuid(9), t::external(t::uuid(9), "puts"));
    ASSERT_TRUE(p.read("define void f() {\nentry:\n invoke ptr external puts\n ret void\n}"));
    EXPECT_EQ(p.function("f").body.at(Label{0}).instructions,
              std::vector<KdInstr>{t::invoke(t::external_fn(t::uuid(9)))});
    // An internal pointer does not see declarations, nor an external one definitions.
    EXPECT_EQ(p.read(pointing("g", "puts")),
              failure(Error::UnresolvedFunction{FunctionPointerKind::Internal, "puts"}));
    EXPECT_EQ(p.read(pointing("h", "external f")),
              failure(Error::UnresolvedFunction{FunctionPointerKind::External, "f"}));
}

TEST(ParserDriver, EveryReadGivesNewFunctionIdentities) {
    TextParse p;
    ASSERT_TRUE(p.read(valid));
    ASSERT_TRUE(p.read(valid));
    ASSERT_EQ(p.module.functions.size(), 2u);
    for (const auto& [uuid, f] : p.module.functions) {
        EXPECT_EQ(uuid, f->uuid);
        EXPECT_EQ(uuid.bytes[6] >> 4, 4);
        EXPECT_EQ(uuid.bytes[8] >> 6, 2);
    }
}

// The parse lets go of the tokens of the functions it has read; a failure far into a long text
// still reports every error where it is, with the debug text of every token. 20 000 functions
// of 14 tokens lie between the first error and the last, several chunks of the token list.
TEST(ParserDriver, ErrorsFarApartInALongTextKeepTheirPlacesAndEveryToken) {
    const std::string first = "define void hidden hidden a() {\nl: ret void\n}\n";
    const std::string last = "define void c() {\nl: ret 5\n}\n";
    std::string middle;
    for (int i = 0; i < 20000; ++i) middle += valid;

    struct Case {
        std::string name;
        std::string text;
        std::vector<ParserError> errors;
    };
    // The syntax error of `last` read alone, moved to where `last` starts.
    const ParserError alone = parser_errors(last).at(0);
    const auto at = [&](std::size_t start) {
        return perr(start + alone.start, start + alone.end, alone.message);
    };
    const std::vector<Case> cases = {
        {"emitted, then a syntax error", first + middle + last,
         {perr(12, 26, "duplicate visibility metadata"), at(first.size() + middle.size())}},
        {"emitted only", first + middle, {perr(12, 26, "duplicate visibility metadata")}},
        {"a syntax error only", valid + middle + last, {at(valid.size() + middle.size())}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextParse p;
        const auto result = p.read(c.text);
        ASSERT_FALSE(result);
        const auto* errors = result.error().get_if<Error::ParserErrors>();
        ASSERT_NE(errors, nullptr);
        EXPECT_EQ(errors->errors, c.errors);
        EXPECT_EQ(errors->tokens, kdinstr::modules::parser::lexer(c.text).tokens->debug_texts());
        EXPECT_TRUE(p.module.functions.empty());
    }
}

TEST(ParserDriver, ImportsAfterALongTextAreRefusedWithEveryToken) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += valid;
    text += "import \"lib\"\n";
    TextParse p;
    const auto result = p.read(text);
    ASSERT_FALSE(result);
    const auto* errors = result.error().get_if<Error::ParserErrors>();
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(errors->errors,
              std::vector<ParserError>{
                  perr(0, 0, "import statements are not supported when parsing from string: lib")});
    EXPECT_EQ(errors->tokens, kdinstr::modules::parser::lexer(text).tokens->debug_texts());
}

namespace {
std::string numbered(int i) { return fmt::format("f{}", i); }
}  // namespace

// Every function calls the one before it: all names are resolved after the text is read.
TEST(ParserDriver, LongCallChainsResolve) {
    std::string text = pointing("f0", "f0");
    const int count = 2000;
    for (int i = 1; i < count; ++i) text += pointing(numbered(i), numbered(i - 1));
    TextParse p;
    ASSERT_TRUE(p.read(text));
    for (int i = 1; i < count; ++i)
        ASSERT_EQ(returned_pointer(p, numbered(i)),
                  FunctionPointer::internal(p.function(numbered(i - 1)).uuid));
}

namespace {

std::vector<std::string> lines;
void keep(const kdinstr::utils::log::Record& r) {
    lines.push_back(std::string(r.target) + " " + r.message);
}

std::vector<std::string> logged(const std::string& text) {
    lines.clear();
    const auto previous = kdinstr::utils::log::set_receiver(&keep);
    TextParse p;
    (void)p.read(text);
    kdinstr::utils::log::set_receiver(previous);
    return lines;
}

const std::string target = "kdinstr::modules::parser ";

}  // namespace

TEST(ParserDriver, LogRecords) {
    EXPECT_EQ(logged(valid),
              std::vector<std::string>{target + "Adding function Some(\"ok\") to module"});
    EXPECT_EQ(
        logged("define \"open"),
        std::vector<std::string>{target + "Lexing errors encountered in provided source string:"});
    EXPECT_EQ(
        logged("define 5"),
        std::vector<std::string>{target + "Parsing errors encountered in provided source string:"});
    EXPECT_EQ(logged("import \"a b\""),
              std::vector<std::string>{
                  target +
                  "Import encountered in string source; imports unsupported in this context: a b"});
    EXPECT_EQ(logged(pointing("f", "g")),
              (std::vector<std::string>{target + "Adding function Some(\"f\") to module",
                                        target + "Unresolved internal function: \"g\""}));
    EXPECT_EQ(logged(valid + valid + pointing("f", "ok")).back(),
              target + "Multiple functions found with the same name: ok");
    EXPECT_EQ(logged(pointing("f", "external b") + pointing("g", "external a")).back(),
              target + "Unresolved external functions: [\"b\", \"a\"]");
    EXPECT_EQ(logged("define void f() {\nentry: jump x\n}").back(),
              target + "Module verification failed: " +
                  Error(Error::UndefinedBlock{Label{1}, "f"}).message());
}

// One small complete program per instruction family, read, verified and type-checked.
TEST(ParserDriver, ProgramsOfEveryFamilyVerifyAndTypeCheck) {
    const std::vector<std::string> programs = {
        "define i1 ints(%a: i64, %b: i64) {\n"
        "entry:\n"
        "  %s: i64 = iadd.wrap %a, %b\n"
        "  %d: i64 = isub.usat %s, i64 1\n"
        "  %m: i64 = imul.strap %d, %a\n"
        "  %q: i64 = idiv.unsigned %m, i64 3\n"
        "  %r: i64 = irem.signed %q, %b\n"
        "  %h: i64 = isht.ror %r, i64 7\n"
        "  %n: i64 = ineg %h\n"
        "  %x: i64 = xor %n, i64 0xFF\n"
        "  %o: i64 = or %x, %a\n"
        "  %y: i64 = and %o, %b\n"
        "  %z: i64 = not %y\n"
        "  %c: i1 = icmp.uge %z, %a\n"
        "  %i: i1 = implies %c, i1 1\n"
        "  %e: i1 = equiv %i, %c\n"
        "  ret %e\n"
        "}\n",
        "define fp32 floats(%x: fp32, %y: fp32) {\n"
        "entry:\n"
        "  %a: fp32 = fadd %x, fp32 1.5\n"
        "  %b: fp32 = fsub %a, %y\n"
        "  %c: fp32 = fmul %b, fp32 -2.25e1\n"
        "  %d: fp32 = fdiv %c, %x\n"
        "  %e: fp32 = frem %d, %y\n"
        "  %f: fp32 = fneg %e\n"
        "  %lt: i1 = fcmp.ult %f, %x\n"
        "  branch %lt, small, large\n"
        "small: ret %f\n"
        "large: ret fp32 0.0\n"
        "}\n",
        "define i64 memory(%p: ptr, %n: i64) {\n"
        "entry:\n"
        "  %slot: ptr = alloca i64 4, align 16\n"
        "  store.release %slot, %n, align 8, volatile\n"
        "  %v: i64 = load.acquire %slot, align 8\n"
        "  %w: i64 = load %p, volatile\n"
        "  %field: ptr = getelementptr [4 x {i32, i64}], %p, i64 0, %n, i32 1\n"
        "  %same: ptr = getelementptr i8, %field\n"
        "  store %same, %w\n"
        "  ret %v\n"
        "}\n",
        "define i32 callee(%v: i32) {\nentry: ret %v\n}\n"
        "define void sink(%v: i32) {\nentry: ret void\n}\n"
        "define i64 misc(%flag: i1, %v: i32) {\n"
        "entry:\n"
        "  %r: i32 = invoke ptr callee, %v\n"
        "  invoke ptr sink, %r\n"
        "  branch %flag, left, join\n"
        "left:\n"
        "  jump join\n"
        "join:\n"
        "  %m: i32 = phi [%r, entry], [%v, left]\n"
        "  %s: i32 = select %flag, %m, i32 7\n"
        "  %w: i64 = cast.zext %s\n"
        "  %agg: {i32, [2 x i64]} = insertvalue {i32, [2 x i64]} undef, %w, i32 1, i32 0\n"
        "  %back: i64 = extractvalue %agg, i32 1, i32 0\n"
        "  %fp: ptr = select %flag, ptr callee, ptr misc\n"
        "  ret %back\n"
        "}\n",
        "define i8 !meta(%c: i1, %v: i32, %p: ptr) {\n"
        "entry:\n"
        "  !assume %c\n"
        "  %d: i1 = !isdef %v\n"
        "  !assert %d\n"
        "  %pr: fp64 = !prob.prb %c\n"
        "  %ev: fp64 = !prob.xpt %v\n"
        "  %n: i64 = !analysis.icnt i32 3\n"
        "  %x: i64 = !analysis.excnt\n"
        "  %t: i8 = !analysis.term.funcexit\n"
        "  %u: i8 = !analysis.term.reach entry, done\n"
        "  %all: i32 = !forall\n"
        "  jump done\n"
        "done:\n"
        "  ret %u\n"
        "}\n",
    };
    for (const auto& text : programs) {
        TextParse p;
        const auto read = p.read(text);
        ASSERT_TRUE(read) << read.error().message() << "\n" << text;
        for (const auto& [uuid, f] : p.module.functions) {
            const auto checked = f->type_check(p.registry);
            EXPECT_TRUE(checked) << (checked ? "" : checked.error().message()) << "\n" << text;
        }
    }
}
