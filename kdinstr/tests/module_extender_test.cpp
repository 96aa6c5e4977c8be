// Reading texts one after another through a ModuleExtender, which verifies only what each text
// adds once the module is known to pass: on random multi-text programs whose texts fail in
// every way the driver reports, each text's result is whole-module verification's (or, when the
// text never reaches it, that of extend_module_from_string on the module as it was), and names
// resolve as the module's first function of that name in ascending uuid order.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "kdinstr/modules/module.hpp"
#include "kdinstr/modules/parser/driver.hpp"
#include "kdinstr/modules/verify.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/utils/error.hpp"

namespace {

using namespace kdinstr::modules;
using kdinstr::modules::parser::ModuleExtender;
using kdinstr::types::TypeRegistry;
using kdinstr::utils::Error;
using kdinstr::utils::Uuid;
using Result = std::expected<void, Error>;

// One function of a generated text and the names its invoke instructions call, in order.
struct Piece {
    std::string text;
    std::optional<std::string> name;
    std::vector<std::string> calls;
};

// What a piece may be, by weight; "{}" is the function's name.
struct Form {
    std::size_t weight;
    std::string text;
    bool named = true;
};
const std::vector<Form> forms = {
    // Verification failures, each naming its function.
    {5, "define void {}() {{\nentry: jump nowhere\n}}\n"},
    {4, "define void {}(%c: i1) {{\nentry:\n !assume %c\n ret void\n}}\n"},
    {4,
     "define i32 {}(%a: i32) {{\nentry:\n jump next\nnext:\n %x: i32 = iadd.wrap %a, %a\n"
     " %y: i32 = phi [%x, entry]\n ret %y\n}}\n"},
    // Failures before the functions join the module.
    {2, "define void {}() {{\nentry:\n invoke ptr external elsewhere\n ret void\n}}\n"},
    {2, "define void {}(%a: i32) {{\nentry:\n %a: i32 = iadd.wrap %b, %b\n ret void\n}}\n"},
    {2, "define i32 {}() {{\nentry: ret %nothing\n}}\n"},
    {2, "define 5 %x\n", false},
    {1, "define void \"open\n", false},
    {1, "import \"x\"\n", false},
    {2, "; a comment alone\n", false},
};

// Random texts over a small pool of names, so that texts call the functions of earlier texts,
// their own, later ones and missing ones, and define names twice.
class ProgramMaker {
  public:
    explicit ProgramMaker(std::uint64_t seed) : rng_(seed) {}

    std::vector<std::vector<Piece>> program() {
        std::vector<std::vector<Piece>> texts(1 + below(10));
        defined_.clear();
        for (auto& pieces : texts) {
            pieces.resize(below(6));
            for (Piece& piece : pieces) {
                piece = this->piece();
                if (piece.name) defined_.push_back(*piece.name);
            }
        }
        return texts;
    }

    std::size_t below(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }

  private:
    std::string name() { return fmt::format("f{}", below(16)); }
    // Mostly a name that this text or one before defined (which may have failed).
    std::string callee() {
        if (defined_.empty() || below(10) == 0) return name();
        return defined_[below(defined_.size())];
    }

    Piece piece() {
        const std::string n = name();
        std::size_t pick = below(100);
        for (const Form& form : forms) {
            if (pick < form.weight)
                return {fmt::format(fmt::runtime(form.text), n),
                        form.named ? std::optional(n) : std::nullopt,
                        {}};
            pick -= form.weight;
        }
        // A function that calls others.
        Piece p{"", n, {}};
        std::string body;
        for (std::size_t i = below(3); i > 0; --i) {
            p.calls.push_back(callee());
            body += fmt::format(" invoke ptr {}\n", p.calls.back());
        }
        p.text = fmt::format("define void {}() {{\nentry:\n{} ret void\n}}\n", n, body);
        return p;
    }

    std::mt19937_64 rng_;
    std::vector<std::string> defined_;
};

std::string text_of(const std::vector<Piece>& pieces) {
    std::string text;
    for (const Piece& p : pieces) text += p.text;
    return text;
}

std::string describe(const Result& r) { return r ? "ok" : r.error().message(); }

// The internal function pointers of a function's instructions, in order.
std::vector<Uuid> called(const Function& f) {
    std::vector<Uuid> out;
    for (const auto& [label, block] : f.body)
        for (const KdInstr& instruction : block.instructions)
            for (const Operand& operand : instruction.operands())
                if (const auto* imm = operand.as_imm())
                    if (const auto* pointer = imm->as_func_ptr(); pointer && pointer->is_internal())
                        out.push_back(pointer->uuid());
    return out;
}

}  // namespace

TEST(ModuleExtender, EachTextsResultIsThatOfWholeModuleVerification) {
    constexpr int kPrograms = 5000;
    // Texts verified alone (the module known to pass before them), and how many of them failed.
    // Several failing functions in one text make the uuid order matter.
    std::size_t verified_alone = 0, failed_alone = 0, several_failing = 0, early_failures = 0;
    for (int seed = 0; seed < kPrograms; ++seed) {
        ProgramMaker maker(static_cast<std::uint64_t>(seed));
        const auto texts = maker.program();
        Module module;
        TypeRegistry registry;
        ModuleExtender extender(module, registry);
        bool passes = false;  // what the extender can know of the module
        for (std::size_t t = 0; t < texts.size(); ++t) {
            const std::string text = text_of(texts[t]);
            const std::string where = fmt::format("program {} text {}:\n{}", seed, t, text);
            const Module before = module;
            const Result result = extender.extend(text);
            if (module.functions.size() != before.functions.size()) {
                // The text's functions joined the module: its result is the whole module's.
                const Result whole = verify_module(module);
                EXPECT_EQ(result, whole) << where;
                EXPECT_EQ(describe(result), describe(whole)) << where;
                if (passes) {
                    ++verified_alone;
                    if (!result) ++failed_alone;
                    std::size_t failing = 0;
                    for (const auto& [uuid, f] : module.functions)
                        if (!before.functions.contains(uuid) &&
                            !(verify(*f) && verify_func(module, *f)))
                            ++failing;
                    if (failing > 1) ++several_failing;
                }
                passes = result.has_value();

                // Each call names the module's first function of that name before the text,
                // else the text's own function of that name.
                for (const Piece& piece : texts[t]) {
                    if (!piece.name || piece.calls.empty()) continue;
                    std::vector<const Function*> added;
                    for (const auto& [uuid, f] : module.functions)
                        if (!before.functions.contains(uuid) && f->name == piece.name)
                            added.push_back(f.get());
                    if (added.size() != 1) continue;  // a name this text defines twice
                    std::vector<Uuid> expected;
                    for (const std::string& callee : piece.calls) {
                        if (auto old = before.find_function_uuid_by_name(callee, false)) {
                            expected.push_back(old->uuid());
                        } else if (auto now = module.find_function_uuid_by_name(callee, false)) {
                            expected.push_back(now->uuid());
                        }
                    }
                    EXPECT_EQ(called(*added[0]), expected) << where;
                }
            } else {
                // The module is as it was: the result is the plain driver's on the same module.
                Module copy = before;
                const Result plain = parser::extend_module_from_string(copy, registry, text);
                EXPECT_EQ(result, plain) << where;
                EXPECT_EQ(describe(result), describe(plain)) << where;
                EXPECT_EQ(copy.functions.size(), before.functions.size()) << where;
                if (!result) ++early_failures;
            }
            // Half the programs stop at the first failure, as a compilation does.
            if (!result && maker.below(2) == 0) break;
        }
    }
    // The programs reach every branch many times.
    EXPECT_GT(verified_alone, 600u);
    EXPECT_GT(failed_alone, 200u);
    EXPECT_GT(several_failing, 25u);
    EXPECT_GT(early_failures, 3000u);
}

// Nothing is assumed of what the module held before the extender, nor of a module a text left
// with failing functions: the next text is verified with the whole module, as the plain driver
// verifies it.
TEST(ModuleExtender, AModuleNotKnownToPassIsVerifiedWhole) {
    const std::string valid = "define void ok() {\nentry: ret void\n}\n";
    const std::string bad = "define void v() {\nentry: jump nowhere\n}\n";
    const Result fault = std::unexpected(Error(Error::UndefinedBlock{Label{1}, "v"}));
    struct Case {
        std::string what;
        std::vector<std::string> before;  // read with the plain driver first
        std::vector<std::string> texts;   // then through one extender
        std::vector<Result> results;
    };
    const std::vector<Case> cases = {
        {"a failing function already there", {bad}, {"", valid, valid}, {fault, fault, fault}},
        {"a text that fails verification", {}, {valid, bad, "", valid}, {{}, fault, fault, fault}},
        {"texts that pass", {valid}, {valid, "", valid}, {{}, {}, {}}},
    };
    for (const auto& c : cases) {
        Module module;
        TypeRegistry registry;
        for (const auto& text : c.before)
            (void)parser::extend_module_from_string(module, registry, text);
        ModuleExtender extender(module, registry);
        for (std::size_t i = 0; i < c.texts.size(); ++i)
            EXPECT_EQ(extender.extend(c.texts[i]), c.results[i]) << c.what << ", text " << i;
    }
}

// Many texts define the same name; each later reference goes to the first of that name in
// ascending uuid order among the functions then in the module, as the names the extender keeps
// change with every text.
TEST(ModuleExtender, NamesGoToTheFirstFunctionOfTheNameInUuidOrder) {
    Module module;
    TypeRegistry registry;
    ModuleExtender extender(module, registry);
    ASSERT_TRUE(extender.extend("define void ok() {\nentry: ret void\n}\n"));
    for (int i = 0; i < 40; ++i) {
        const auto expected = module.find_function_uuid_by_name("ok", false);
        ASSERT_TRUE(expected);
        const std::string user = fmt::format("user{}", i);
        ASSERT_TRUE(
            extender.extend(fmt::format("define void ok() {{\nentry: ret void\n}}\ndefine void "
                                        "{}() {{\nentry:\n invoke ptr ok\n"
                                        " ret void\n}}\n",
                                        user)));
        const auto user_uuid = module.find_function_uuid_by_name(user, false);
        ASSERT_TRUE(user_uuid);
        EXPECT_EQ(called(*module.functions.at(user_uuid->uuid())),
                  std::vector<Uuid>{expected->uuid()})
            << i;
    }
}
