#include "kdinstr/modules/verify.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "kdinstr/modules/limits.hpp"
#include "kdinstr/tests/ir_builder.hpp"

namespace {

using namespace kdinstr::tests;
using kdinstr::modules::Function;

// "ok" for success, else the error's message.
template <typename R>
std::string outcome(const R& result) {
    return result ? std::string("ok") : result.error().message();
}

const std::string kUuid1 = "00000000-0000-0000-0000-000000000001";
const std::string kUuid2 = "00000000-0000-0000-0000-000000000002";
const std::string kUuid9 = "00000000-0000-0000-0000-000000000009";

// A well-formed function to break one rule at a time: %0 param, %1 = %0 + %0 in block 0,
// branch to 1 and 2, both of which return.
FunctionBuilder base() {
    return std::move(FunctionBuilder()
                         .name("f")
                         .param(0, ty(1))
                         .block(0, {iadd(1, ty(1), reg(0), reg(0))}, branch(reg(1), 1, 2))
                         .block(1, {}, ret(reg(1)))
                         .block(2, {}, ret()));
}

kdinstr::modules::KdInstr reach_analysis(std::uint32_t dest, std::vector<std::uint32_t> labels) {
    namespace an = kdinstr::analysis;
    an::ReachAny reach;
    for (auto l : labels) reach.labels.push_back(kdinstr::modules::Label{l});
    return instr::MetaAnalysisStat{kdinstr::modules::Name{dest}, ty(1),
                                   an::TerminationBehavior{an::TerminationScope{reach}}};
}

struct Case {
    const char* what;
    Function function;
    std::string expected;
};

void run(const std::vector<Case>& cases) {
    for (const Case& c : cases)
        EXPECT_EQ(outcome(kdinstr::modules::verify(c.function)), c.expected) << c.what;
}

TEST(Verify, EachRuleWithItsMessage) {
    run({
        {"well formed", base().build(), "ok"},
        {"declared wildcard that only the return type names",
         base().returns(wildcard(0)).wildcards({0}).build(),
         "Unsound wildcard type usage in function `f`: expected wildcard types `[\"A\"]`, but "
         "found `[]`."},
        {"undeclared parameter wildcard", base().param(5, wildcard(27)).build(),
         "Unsound wildcard type usage in function `f`: expected wildcard types `[]`, but found "
         "`[\"_27\"]`."},
        {"same size, other element", base().param(5, wildcard(1)).wildcards({0}).build(),
         "Unsound wildcard type usage in function `f`: expected wildcard types `[\"A\"]`, but "
         "found `[\"B\"]`."},
        {"meta instruction in a regular function",
         base().block(1, {meta_assert(reg(0))}, ret()).build(),
         "Meta instructions are only available internally for properties and attributes "
         "constructions. They SHOULD NOT appear in regular instructions. Function `f` contains a "
         "meta-instruction `MetaAssert(MetaAssert { condition: Reg(%0) })`."},
        {"phi after iadd",
         base()
             .block(2, {iadd(2, ty(1), reg(0), reg(0)), phi(3, ty(1), {{reg(0), 0}})}, ret())
             .build(),
         "Phi instructions must be the first instructions in a basic block or follow other phi "
         "instructions. The basic block `block_2` contains a phi instruction that is not the "
         "first instruction."},
        {"phi placement names the block by its own label field",
         [] {
             auto b = base().block(2, {store(reg(0), reg(0)), phi(3, ty(1), {})}, ret());
             b.function().body.at(kdinstr::modules::Label{2}).label = kdinstr::modules::Label{12};
             return b.build();
         }(),
         "Phi instructions must be the first instructions in a basic block or follow other phi "
         "instructions. The basic block `block_12` contains a phi instruction that is not the "
         "first instruction."},
        {"missing false target after a found true target",
         base().block(0, {iadd(1, ty(1), reg(0), reg(0))}, branch(reg(1), 1, 5)).build(),
         "The basic block `block_5` referenced in function `f` is not defined within the "
         "function."},
        {"missing jump target", base().block(2, {}, jump(7)).build(),
         "The basic block `block_7` referenced in function `f` is not defined within the "
         "function."},
        {"parameter reused as destination",
         base().block(1, {iadd(0, ty(1), reg(1), reg(1))}, ret()).build(),
         "Multiple operations with shared destination target violate SSA requirements. The name "
         "`%0` is defined more than once within the same function."},
        {"two parameters with one name", base().param(0, ty(2)).build(),
         "Multiple operations with shared destination target violate SSA requirements. The name "
         "`%0` is defined more than once within the same function."},
        {"destination defined in two blocks",
         base().block(2, {iadd(1, ty(1), reg(0), reg(0))}, ret()).build(),
         "Multiple operations with shared destination target violate SSA requirements. The name "
         "`%1` is defined more than once within the same function."},
        {"undefined operand of an instruction",
         base().block(2, {store(reg(0), reg(9))}, ret()).build(),
         "A operand refers to an undefined name: `%9`. This name was never defined in the module."},
        {"undefined branch condition",
         base().block(0, {iadd(1, ty(1), reg(0), reg(0))}, branch(reg(9), 1, 2)).build(),
         "A operand refers to an undefined name: `%9`. This name was never defined in the module."},
        {"undefined returned value", base().block(1, {}, ret(reg(9))).build(),
         "A operand refers to an undefined name: `%9`. This name was never defined in the module."},
        {"no block 0",
         FunctionBuilder().name("f").block(1, {}, jump(2)).block(2, {}, ret()).build(),
         "By convention, the entrypoint basic block of a function must have label `label_0`. No "
         "such basic block was found."},
        {"unnamed function is named by its uuid",
         FunctionBuilder().uuid(uuid(9)).block(0, {}, jump(3)).build(),
         "The basic block `block_3` referenced in function `" + kUuid9 +
             "` is not defined within the function."},
    });
}

TEST(Verify, AcceptedShapes) {
    run({
        {"return type alone is a wildcard", base().returns(wildcard(0)).build(), "ok"},
        {"wildcard only in an undef operand and a ret",
         base().block(2, {store(reg(0), undef(wildcard(4)))}, ret(undef(wildcard(5)))).build(),
         "ok"},
        {"wildcards of parameters and of both gep types",
         base()
             .param(7, wildcard(3))
             .block(2, {gep(8, ty(2), wildcard(1), reg(0))}, ret())
             .wildcards({1, 3})
             .build(),
         "ok"},
        {"block starting with two phis",
         base()
             .block(2,
                    {phi(2, ty(1), {{reg(0), 0}}), phi(3, ty(1), {{reg(1), 1}}),
                     iadd(4, ty(1), reg(2), reg(3))},
                    ret())
             .build(),
         "ok"},
        {"use in block 0 of a name defined in block 3",
         FunctionBuilder()
             .name("f")
             .block(0, {store(reg(5), reg(5))}, jump(3))
             .block(3, {iadd(5, ty(1), imm_int(1), imm_int(2))}, ret(reg(5)))
             .build(),
         "ok"},
        {"phi entry from a missing block",
         base().block(2, {phi(2, ty(1), {{reg(0), 40}})}, ret()).build(), "ok"},
        {"meta function with meta instructions and reach labels to missing blocks",
         base().meta().block(2, {meta_assert(reg(0)), reach_analysis(2, {40, 41})}, ret()).build(),
         "ok"},
        {"self loop", FunctionBuilder().block(0, {}, jump(0)).build(), "ok"},
    });
}

TEST(Verify, EarliestBrokenRuleWins) {
    run({
        {"wildcards before meta instructions",
         base().wildcards({2}).block(1, {meta_assert(reg(0))}, ret()).build(),
         "Unsound wildcard type usage in function `f`: expected wildcard types `[\"C\"]`, but "
         "found `[]`."},
        {"meta instruction in a later block before phi placement and targets",
         base()
             .block(0, {iadd(1, ty(1), reg(0), reg(0)), phi(4, ty(1), {})}, branch(reg(1), 1, 8))
             .block(2, {meta_assert(reg(0))}, ret())
             .build(),
         "Meta instructions are only available internally for properties and attributes "
         "constructions. They SHOULD NOT appear in regular instructions. Function `f` contains a "
         "meta-instruction `MetaAssert(MetaAssert { condition: Reg(%0) })`."},
        {"phi placement in block 3 before a missing target of block 0",
         base()
             .block(0, {iadd(1, ty(1), reg(0), reg(0))}, branch(reg(1), 1, 8))
             .block(3, {store(reg(0), reg(0)), phi(4, ty(1), {})}, ret())
             .build(),
         "Phi instructions must be the first instructions in a basic block or follow other phi "
         "instructions. The basic block `block_3` contains a phi instruction that is not the "
         "first instruction."},
        {"both targets missing: the true target is named",
         base().block(0, {iadd(1, ty(1), reg(0), reg(0))}, branch(reg(1), 6, 5)).build(),
         "The basic block `block_6` referenced in function `f` is not defined within the "
         "function."},
        {"missing target before a duplicate definition",
         base().block(1, {iadd(1, ty(1), reg(0), reg(0))}, jump(9)).build(),
         "The basic block `block_9` referenced in function `f` is not defined within the "
         "function."},
        {"parameters are inserted before destinations",
         base()
             .param(3, ty(1))
             .param(3, ty(1))
             .block(2, {iadd(1, ty(1), reg(0), reg(0))}, ret())
             .build(),
         "Multiple operations with shared destination target violate SSA requirements. The name "
         "`%3` is defined more than once within the same function."},
        {"duplicate in block 2 before an undefined use in block 0",
         base()
             .block(0, {iadd(1, ty(1), reg(0), reg(8))}, branch(reg(1), 1, 2))
             .block(2, {iadd(1, ty(1), reg(0), reg(0))}, ret())
             .build(),
         "Multiple operations with shared destination target violate SSA requirements. The name "
         "`%1` is defined more than once within the same function."},
        {"instruction operands before the terminator's, operands in order",
         base().block(0, {iadd(1, ty(1), reg(7), reg(8))}, branch(reg(9), 1, 2)).build(),
         "A operand refers to an undefined name: `%7`. This name was never defined in the module."},
        {"terminator of block 0 before instructions of block 1",
         base()
             .block(0, {iadd(1, ty(1), reg(0), reg(0))}, branch(reg(9), 1, 2))
             .block(1, {store(reg(8), reg(8))}, ret())
             .build(),
         "A operand refers to an undefined name: `%9`. This name was never defined in the module."},
        {"a structural fault before the missing entry block",
         FunctionBuilder().name("f").block(1, {}, ret(reg(3))).build(),
         "A operand refers to an undefined name: `%3`. This name was never defined in the module."},
    });
}

// A function with `count` parameters %0.. of type ty(1), wildcard-typed where given.
FunctionBuilder with_parameters(std::size_t count, std::set<std::uint16_t> wildcard_params = {}) {
    FunctionBuilder b;
    b.name("f").block(0, {}, ret());
    for (std::size_t i = 0; i < count; ++i) {
        const auto n = static_cast<std::uint16_t>(i);
        b.param(static_cast<std::uint32_t>(i), wildcard_params.contains(n) ? wildcard(n) : ty(1));
    }
    return b;
}

std::set<std::uint16_t> first_indices(std::size_t count) {
    std::set<std::uint16_t> s;
    for (std::size_t i = 0; i < count; ++i) s.insert(static_cast<std::uint16_t>(i));
    return s;
}

TEST(Verify, ParameterAndWildcardLimits) {
    using kdinstr::modules::limits::max_parameters;
    using kdinstr::modules::limits::max_wildcard_types;
    const auto w256 = first_indices(max_wildcard_types);
    const auto w257 = first_indices(max_wildcard_types + 1);
    run({
        {"4096 parameters", with_parameters(max_parameters).build(), "ok"},
        {"4097 parameters", with_parameters(max_parameters + 1).build(),
         "Function `f` contains 4097 parameters, exceeding the maximum allowed of 4096."},
        {"256 wildcards", with_parameters(256, w256).wildcards(w256).build(), "ok"},
        {"257 wildcards", with_parameters(257, w257).wildcards(w257).build(),
         "Function `f` contains 257 wildcard types, exceeding the maximum allowed of 256."},
        {"too many parameters before too many wildcards and the entry block",
         [&] {
             auto b = with_parameters(max_parameters + 1, w257).wildcards(w257);
             b.function().body.clear();
             return b.build();
         }(),
         "Function `f` contains 4097 parameters, exceeding the maximum allowed of 4096."},
        {"too many wildcards before the entry block",
         [&] {
             auto b = with_parameters(257, w257).wildcards(w257);
             b.function().body.clear();
             return b.build();
         }(),
         "Function `f` contains 257 wildcard types, exceeding the maximum allowed of 256."},
    });
}

// Stores of undef values: no destinations, no registers, the cheapest instruction to verify.
kdinstr::modules::KdInstr filler() { return store(undef(ty(1)), undef(ty(1))); }

TEST(Verify, BlockCountLimit) {
    using kdinstr::modules::limits::max_blocks;
    FunctionBuilder b;
    b.name("f");
    for (std::uint32_t l = 0; l < max_blocks; ++l) b.block(l, {}, ret());
    Function& f = b.function();
    EXPECT_EQ(outcome(kdinstr::modules::verify(f)), "ok");
    // The extra block also holds too many instructions: the block count is refused first.
    f.body.emplace(
        kdinstr::modules::Label{max_blocks},
        kdinstr::modules::BasicBlock{
            kdinstr::modules::Label{max_blocks},
            std::vector(kdinstr::modules::limits::max_block_instructions + 1, filler()), ret()});
    EXPECT_EQ(outcome(kdinstr::modules::verify(f)),
              "Function `f` contains 65537 basic blocks, exceeding the maximum allowed of 65536.");
}

TEST(Verify, BlockInstructionLimit) {
    using kdinstr::modules::limits::max_block_instructions;
    FunctionBuilder b;
    b.name("f").block(0, {}, ret()).block(4, std::vector(max_block_instructions, filler()), ret());
    Function& f = b.function();
    EXPECT_EQ(outcome(kdinstr::modules::verify(f)), "ok");
    // The block's key names it, even when its own label field says otherwise.
    f.body.at(kdinstr::modules::Label{4}).label = kdinstr::modules::Label{6};
    f.body.at(kdinstr::modules::Label{4}).instructions.push_back(filler());
    EXPECT_EQ(outcome(kdinstr::modules::verify(f)),
              "Basic block `block_4` in function `f` contains 65537 instructions, exceeding the "
              "maximum allowed of 65536.");
}

TEST(Verify, FunctionInstructionLimit) {
    using kdinstr::modules::limits::max_instructions;
    // 15 full blocks and one of 16,960: exactly 1,000,000.
    FunctionBuilder b;
    b.name("f");
    std::size_t left = max_instructions;
    for (std::uint32_t l = 0; left > 0; ++l) {
        const std::size_t n =
            std::min<std::size_t>(left, kdinstr::modules::limits::max_block_instructions);
        b.block(l, std::vector(n, filler()), ret());
        left -= n;
    }
    Function& f = b.function();
    EXPECT_EQ(outcome(kdinstr::modules::verify(f)), "ok");
    f.body.rbegin()->second.instructions.push_back(filler());
    EXPECT_EQ(
        outcome(kdinstr::modules::verify(f)),
        "Function `f` contains 1000001 instructions, exceeding the maximum allowed of 1000000.");
}

TEST(Verify, GenerateWildcardTypes) {
    const Function f =
        FunctionBuilder()
            .param(0, wildcard(30))
            .param(1, ty(1))
            .returns(wildcard(9))
            .block(0,
                   {gep(2, wildcard(2), wildcard(30), reg(0)), store(reg(0), undef(wildcard(8)))},
                   ret(undef(wildcard(7))))
            .block(1, {invoke(3, wildcard(0), internal_fn(uuid(1)))}, trap())
            .build();
    EXPECT_EQ(kdinstr::modules::generate_wildcard_types(f), (std::set<std::uint16_t>{0, 2, 30}));
    EXPECT_EQ(kdinstr::modules::generate_wildcard_types(FunctionBuilder().build()),
              std::set<std::uint16_t>{});
}

TEST(Verify, ShouldBeMetaFunction) {
    struct {
        const char* what;
        Function function;
        bool expected;
    } cases[] = {
        {"empty body", FunctionBuilder().build(), false},
        {"regular instructions", base().build(), false},
        {"meta instruction in a later block",
         base().block(2, {store(reg(0), reg(0)), meta_forall(2, ty(1))}, ret()).build(), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kdinstr::modules::should_be_meta_function(c.function), c.expected) << c.what;
}

TEST(Verify, DisplayName) {
    EXPECT_EQ(kdinstr::modules::display_name(base().build()), "f");
    EXPECT_EQ(kdinstr::modules::display_name(FunctionBuilder().uuid(uuid(2)).build()), kUuid2);
}

TEST(VerifyFunc, FunctionPointersResolveInTheModule) {
    const auto caller = [](std::vector<kdinstr::modules::KdInstr> instructions,
                           kdinstr::modules::KdTerminator end = ret()) {
        return FunctionBuilder()
            .name("caller")
            .uuid(uuid(1))
            .block(0, std::move(instructions), std::move(end))
            .build();
    };
    const Function callee = FunctionBuilder().uuid(uuid(2)).block(0, {}, ret()).build();
    const auto ext = external(uuid(3), "puts");
    struct {
        const char* what;
        Function function;
        std::string expected;
    } cases[] = {
        {"call to itself while not in the module", caller({invoke(internal_fn(uuid(1)))}), "ok"},
        {"call to a function of the module", caller({invoke(internal_fn(uuid(2)))}), "ok"},
        {"call to a declared external function", caller({invoke(external_fn(uuid(3)))}), "ok"},
        {"pointer as an argument", caller({invoke(internal_fn(uuid(1)), {internal_fn(uuid(9))})}),
         "An instruction of function `caller` refers to an internal function referenced by `" +
             kUuid9 + "` that is not defined within the module."},
        {"internal pointer to an external function's uuid",
         caller({store(reg(0), internal_fn(uuid(3)))}),
         "An instruction of function `caller` refers to an internal function referenced by "
         "`00000000-0000-0000-0000-000000000003` that is not defined within the module."},
        {"external pointer to an internal function's uuid", caller({invoke(external_fn(uuid(2)))}),
         "An instruction of function `caller` refers to an external function referenced by `" +
             kUuid2 + "` that is not defined within the module."},
        {"first pointer in operand order",
         caller({invoke(external_fn(uuid(8)), {internal_fn(uuid(9))})}),
         "An instruction of function `caller` refers to an external function referenced by "
         "`00000000-0000-0000-0000-000000000008` that is not defined within the module."},
        {"pointer returned by ret is not resolved", caller({}, ret(internal_fn(uuid(9)))), "ok"},
    };
    const auto module = module_of({callee}, {ext});
    for (const auto& c : cases)
        EXPECT_EQ(outcome(kdinstr::modules::verify_func(module, c.function)), c.expected) << c.what;
}

TEST(VerifyModule, FunctionsInUuidOrderEachVerifiedThenResolved) {
    const Function dangling_call = FunctionBuilder()
                                       .name("a")
                                       .uuid(uuid(1))
                                       .block(0, {invoke(internal_fn(uuid(9)))}, ret())
                                       .build();
    const Function missing_entry =
        FunctionBuilder().name("b").uuid(uuid(2)).block(1, {}, ret()).build();
    const Function both = FunctionBuilder()
                              .name("c")
                              .uuid(uuid(3))
                              .block(1, {invoke(internal_fn(uuid(9)))}, ret())
                              .build();
    const Function good = FunctionBuilder()
                              .name("d")
                              .uuid(uuid(4))
                              .block(0, {invoke(internal_fn(uuid(1)))}, ret())
                              .build();
    // Pointers and registers are judged in one walk: every rule of verification still comes
    // before any pointer, and the first pointer in block order is the one reported.
    const Function undefined_after_pointer =
        FunctionBuilder()
            .name("e")
            .uuid(uuid(5))
            .block(0, {invoke(internal_fn(uuid(9))), iadd(1, ty(1), reg(7), reg(7))}, ret())
            .build();
    const Function two_pointers = FunctionBuilder()
                                      .name("f")
                                      .uuid(uuid(6))
                                      .block(0, {invoke(external_fn(uuid(8)))}, jump(1))
                                      .block(1, {invoke(internal_fn(uuid(9)))}, ret())
                                      .build();
    const std::string unresolved_a =
        "An instruction of function `a` refers to an internal function referenced by `" + kUuid9 +
        "` that is not defined within the module.";
    const std::string no_entry =
        "By convention, the entrypoint basic block of a function must have label `label_0`. No "
        "such basic block was found.";
    struct {
        const char* what;
        kdinstr::modules::Module module;
        std::string expected;
    } cases[] = {
        {"empty module", module_of({}), "ok"},
        {"good functions, unchecked broken external declaration",
         module_of({good, FunctionBuilder().uuid(uuid(1)).block(0, {}, ret()).build()},
                   {external(uuid(5), "")}),
         "ok"},
        {"smaller uuid reports first, although inserted last",
         module_of({missing_entry, dangling_call}), unresolved_a},
        {"verification before resolution within one function", module_of({both}), no_entry},
        {"stops at the first failing function", module_of({good, missing_entry}), no_entry},
        {"an undefined register after a dangling pointer", module_of({undefined_after_pointer}),
         "A operand refers to an undefined name: `%7`. This name was never defined in the "
         "module."},
        {"the first of two dangling pointers", module_of({two_pointers}),
         "An instruction of function `f` refers to an external function referenced by "
         "`00000000-0000-0000-0000-000000000008` that is not defined within the module."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outcome(kdinstr::modules::verify_module(c.module)), c.expected) << c.what;
}

}  // namespace
