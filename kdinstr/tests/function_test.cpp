#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kdinstr/modules/module.hpp"
#include "kdinstr/utils/panic.hpp"

namespace {

using namespace kdinstr::modules;
using namespace kdinstr::modules::instructions;
using kdinstr::types::Typeref;
using kdinstr::utils::Uuid;

Typeref ty(std::uint8_t n) {
    Typeref t;
    t.uuid.bytes[15] = n;
    return t;
}
Uuid uuid(std::uint8_t n) {
    Uuid u;
    u.bytes[0] = n;
    return u;
}
Operand reg(std::uint32_t n) { return Operand(Name{n}); }

TEST(KdTerminator, OpWordsAndDebugTexts) {
    const std::vector<std::pair<std::string_view, std::string_view>> words_table = {
        {"branch", "Branch"}, {"jump", "Jump"}, {"ret", "Ret"}, {"trap", "Trap"}};
    ASSERT_EQ(value_count<KdTerminatorOp>(), words_table.size());
    for (std::size_t i = 0; i < words_table.size(); ++i) {
        const auto op = static_cast<KdTerminatorOp>(i);
        EXPECT_EQ(word(op), words_table[i].first);
        EXPECT_EQ(debug_name(op), words_table[i].second);
        EXPECT_EQ(from_str<KdTerminatorOp>(words_table[i].first), op);
    }
    for (auto bad : {"RET", "Ret", "return", "", "br"})
        EXPECT_EQ(from_str<KdTerminatorOp>(bad), std::nullopt) << bad;

    struct Case {
        KdTerminator term;
        KdTerminatorOp op;
        std::string debug;
    };
    const std::vector<Case> cases = {
        {KdTerminator::Branch{reg(0), Label{1}, Label{2}}, KdTerminatorOp::Branch,
         "Branch(Reg(%0), Label(1), Label(2))"},
        {KdTerminator::Jump{Label{3}}, KdTerminatorOp::Jump, "Jump(Label(3))"},
        {KdTerminator::Ret{reg(1)}, KdTerminatorOp::Ret, "Ret(Some(Reg(%1)))"},
        {KdTerminator::Ret{}, KdTerminatorOp::Ret, "Ret(None)"},
        {KdTerminator::Trap{}, KdTerminatorOp::Trap, "Trap"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.term.op(), c.op);
        EXPECT_EQ(c.term.debug(), c.debug);
    }
}

TEST(KdTerminator, OperandsAndTargets) {
    struct Case {
        KdTerminator term;
        std::vector<Operand> operands;
        std::vector<Label> targets;
    };
    const std::vector<Case> cases = {
        {KdTerminator::Branch{reg(4), Label{1}, Label{2}}, {reg(4)}, {Label{1}, Label{2}}},
        {KdTerminator::Jump{Label{3}}, {}, {Label{3}}},
        {KdTerminator::Ret{reg(1)}, {reg(1)}, {}},
        {KdTerminator::Ret{}, {}, {}},
        {KdTerminator::Trap{}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.term.debug());
        std::vector<Operand> ops;
        c.term.for_each_operand([&](const Operand& o) { ops.push_back(o); });
        EXPECT_EQ(ops, c.operands);
        std::vector<Label> targets;
        c.term.for_each_target([&](Label l) { targets.push_back(l); });
        EXPECT_EQ(targets, c.targets);
    }
    KdTerminator ret = KdTerminator::Ret{reg(1)};
    ret.for_each_operand_mut([](Operand& o) { o = reg(9); });
    EXPECT_EQ(ret, KdTerminator(KdTerminator::Ret{reg(9)}));
}

TEST(Function, DefaultHasOneTrappingEntryBlockAndFreshUuid) {
    const Function a = Function::make_default();
    const Function b = Function::make_default();
    EXPECT_NE(a.uuid, b.uuid);
    EXPECT_EQ(a.uuid.bytes[6] >> 4, 4);  // version 4
    EXPECT_FALSE(a.name.has_value());
    EXPECT_TRUE(a.parameters.empty());
    EXPECT_FALSE(a.return_type.has_value());
    ASSERT_EQ(a.body.size(), 1u);
    const auto& [label, block] = *a.body.begin();
    EXPECT_EQ(label, Label{0});
    EXPECT_EQ(block.label, Label{0});
    EXPECT_TRUE(block.instructions.empty());
    EXPECT_EQ(block.terminator, KdTerminator(KdTerminator::Trap{}));
    EXPECT_FALSE(a.visibility.has_value());
    EXPECT_FALSE(a.calling_convention.has_value());
    EXPECT_TRUE(a.wildcard_types.empty());
    EXPECT_FALSE(a.meta);
    EXPECT_FALSE(a.reserved_id.has_value());
}

Function function_with(std::uint8_t id, std::optional<std::string> name) {
    Function f = Function::make_default();
    f.uuid = uuid(id);
    f.name = std::move(name);
    return f;
}

ExternalFunction external_with(std::uint8_t id, std::string name) {
    return ExternalFunction{uuid(id), std::move(name), CallingConvention(), {}, std::nullopt};
}

Module sample_module() {
    Module m;
    for (auto f : {function_with(3, "f"), function_with(1, "f"), function_with(2, std::nullopt),
                   function_with(4, "g"), function_with(5, "F")})
        m.functions.emplace(f.uuid, std::make_shared<Function>(std::move(f)));
    for (auto e : {external_with(9, "f"), external_with(7, "ext"), external_with(8, "ext")})
        m.external_functions.emplace(e.uuid, std::move(e));
    return m;
}

TEST(Module, FindFunctionUuidByName) {
    const Module m = sample_module();
    struct Case {
        std::string name;
        bool external;
        std::optional<FunctionPointer> expected;
    };
    const std::vector<Case> cases = {
        {"f", false, FunctionPointer::internal(uuid(1))},  // smaller uuid of two
        {"g", false, FunctionPointer::internal(uuid(4))},
        {"F", false, FunctionPointer::internal(uuid(5))},
        {"", false, std::nullopt},  // anonymous functions never match
        {"ext", false, std::nullopt},
        {"ext", true, FunctionPointer::external(uuid(7))},
        {"f", true, FunctionPointer::external(uuid(9))},
        {"g", true, std::nullopt},
        {"fx", false, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(m.find_function_uuid_by_name(c.name, c.external), c.expected)
            << c.name << " external=" << c.external;
    EXPECT_EQ(Module{}.find_function_uuid_by_name("f", false), std::nullopt);
}

TEST(Module, FindUsesTheFunctionsOwnUuid) {
    Module m;
    Function f = function_with(2, "h");
    m.functions.emplace(uuid(1), std::make_shared<Function>(std::move(f)));
    EXPECT_EQ(m.find_function_uuid_by_name("h", false), FunctionPointer::internal(uuid(2)));
}

Function typed_function() {
    Function f = Function::make_default();
    f.uuid = uuid(6);
    f.parameters = {{Name{0}, ty(1)}, {Name{1}, Typeref::wildcard(0)}};
    f.return_type = ty(2);
    f.wildcard_types = {0};
    BasicBlock& entry = f.body.at(Label{0});
    entry.instructions.push_back(
        IAdd{Name{2}, ty(1), Operand(ty(1)), reg(0), OverflowSignednessPolicy::Wrap});
    entry.terminator = KdTerminator::Jump{Label{1}};
    f.body.emplace(Label{1}, BasicBlock{Label{1},
                                        {MGetElementPtr{Name{3}, ty(2), ty(1), reg(2), {}}},
                                        KdTerminator::Ret{Operand(ty(1))}});
    return f;
}

TEST(Function, RemapTypesRewritesSignatureInstructionsAndUndefOperands) {
    const TypeRemap map = {{ty(1), ty(11)}, {ty(2), ty(12)}};
    Function f = typed_function();
    f.remap_types(map);

    Function expected = typed_function();
    expected.parameters[0].second = ty(11);
    expected.return_type = ty(12);
    auto& iadd = std::get<IAdd>(expected.body.at(Label{0}).instructions[0]);
    iadd.ty = ty(11);
    iadd.lhs = Operand(ty(11));
    auto& gep = std::get<MGetElementPtr>(expected.body.at(Label{1}).instructions[0]);
    gep.ty = ty(12);
    gep.in_ty = ty(11);
    expected.body.at(Label{1}).terminator = KdTerminator::Ret{Operand(ty(11))};
    // The wildcard parameter and the wildcard set are untouched.
    EXPECT_EQ(f, expected);

    // A branch condition that is undef follows its type too.
    Function branching = typed_function();
    branching.body.at(Label{0}).terminator =
        KdTerminator::Branch{Operand(ty(2)), Label{1}, Label{1}};
    branching.remap_types(map);
    EXPECT_EQ(std::get<KdTerminator::Branch>(branching.body.at(Label{0}).terminator).condition,
              Operand(ty(12)));

    Function unchanged = typed_function();
    unchanged.remap_types({});
    EXPECT_EQ(unchanged, typed_function());

    Function no_return = typed_function();
    no_return.return_type.reset();
    no_return.remap_types(map);
    EXPECT_FALSE(no_return.return_type.has_value());
}

TEST(Function, ForEachTypeVisitsThePlacesRemapRewrites) {
    const auto visited = [](const Function& f) {
        std::vector<Typeref> types;
        f.for_each_type([&](const Typeref& t) { types.push_back(t); }, [] {});
        return types;
    };
    const auto types_by_place = [](const Function& f) {
        std::vector<std::size_t> counts;
        f.for_each_type([&](const Typeref&) { ++counts.back(); }, [&] { counts.push_back(0); });
        return counts;
    };
    Function f = typed_function();
    f.body.at(Label{0}).terminator = KdTerminator::Branch{Operand(ty(2)), Label{1}, Label{1}};
    // Parameters, return type, then block by block each instruction's types and undef
    // operands, then the terminator's undef operand.
    EXPECT_EQ(visited(f), (std::vector<Typeref>{ty(1), Typeref::wildcard(0), ty(2), ty(1), ty(1),
                                                ty(2), ty(2), ty(1), ty(1)}));
    // Two parameters, the return type, the add, the branch, the gep and the ret.
    EXPECT_EQ(types_by_place(f), (std::vector<std::size_t>{1, 1, 1, 2, 1, 2, 1}));
    const TypeRemap map = {{ty(1), ty(11)}, {ty(2), ty(12)}, {Typeref::wildcard(0), ty(10)}};
    std::vector<Typeref> mapped = visited(f);
    for (Typeref& t : mapped) t = map.at(t);
    f.remap_types(map);
    EXPECT_EQ(visited(f), mapped);
}

TEST(Module, LongestNamedTypeTextIsThatOfOnePlace) {
    Module m;
    Function f = typed_function();
    m.functions.emplace(f.uuid, std::make_shared<Function>(f));
    m.external_functions.emplace(
        uuid(2), ExternalFunction{uuid(2), "e", CallingConvention(), {ty(1), ty(3)}, ty(2)});
    const kdinstr::types::TypeMap types = {
        {ty(1), kdinstr::types::AnyType(kdinstr::types::primary::IType{100000})},
        {ty(2), kdinstr::types::AnyType(kdinstr::types::primary::IType{10})},
    };
    // The function's places name i100000, A, i10, i100000 twice (the add), i10 and i100000 (the
    // gep), and i100000 (the ret); the declaration's signature i100000, ty(3) not held and i10.
    const auto longest = [&](const Module& module, std::uint64_t cap) {
        return module.longest_named_type_text(kdinstr::types::TypeTextLengths(types, cap));
    };
    const std::uint64_t unknown = kdinstr::types::unknown_type_text(ty(3)).size();
    const std::uint64_t declaration = 7 + unknown + 3;
    EXPECT_EQ(longest(m, UINT64_MAX), declaration);
    EXPECT_EQ(longest(m, declaration - 1), declaration - 1);
    Module without_declaration = m;
    without_declaration.external_functions.clear();
    EXPECT_EQ(longest(without_declaration, UINT64_MAX), 2u * 7);
    EXPECT_EQ(longest(Module{}, 10), 0u);
}

TEST(ExternalFunction, RemapTypes) {
    ExternalFunction e{uuid(1),
                       "puts",
                       CallingConvention(CallingConvention::Tag::FastC),
                       {ty(1), ty(3), ty(1)},
                       ty(2)};
    e.remap_types({{ty(1), ty(11)}, {ty(2), ty(12)}});
    EXPECT_EQ(e, (ExternalFunction{uuid(1),
                                   "puts",
                                   CallingConvention(CallingConvention::Tag::FastC),
                                   {ty(11), ty(3), ty(11)},
                                   ty(12)}));
    ExternalFunction none{uuid(1), "puts", CallingConvention(), {}, std::nullopt};
    none.remap_types({{ty(1), ty(11)}});
    EXPECT_FALSE(none.return_type.has_value());
}

TEST(Module, RemapTypesRewritesEveryFunctionAndDeclaration) {
    Module m;
    Function f = typed_function();
    f.uuid = uuid(1);
    m.functions.emplace(f.uuid, std::make_shared<Function>(f));
    m.external_functions.emplace(
        uuid(2), ExternalFunction{uuid(2), "e", CallingConvention(), {ty(1)}, std::nullopt});
    const TypeRemap map = {{ty(1), ty(11)}};
    m.remap_types(map);

    f.remap_types(map);
    EXPECT_EQ(*m.functions.at(uuid(1)), f);
    EXPECT_EQ(m.external_functions.at(uuid(2)).parameter_types, std::vector<Typeref>{ty(11)});
}

TEST(Module, RemapTypesOfSharedFunctionPanics) {
    Module m;
    auto shared = std::make_shared<Function>(typed_function());
    m.functions.emplace(shared->uuid, shared);
    try {
        m.remap_types({{ty(1), ty(11)}});
        FAIL() << "no panic";
    } catch (const kdinstr::utils::Panic& p) {
        EXPECT_STREQ(p.what(),
                     "Cannot remap types in function behind Arc; no other references should exist");
    }
    EXPECT_EQ(*shared, typed_function());
}

}  // namespace
