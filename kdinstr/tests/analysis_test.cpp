#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "kdinstr/analysis/function_analysis.hpp"
#include "kdinstr/tests/ir_builder.hpp"
#include "kdinstr/utils/panic.hpp"

namespace {

using namespace kdinstr::tests;
using kdinstr::analysis::DestMap;
using kdinstr::analysis::FlowGraph;
using kdinstr::analysis::InstructionPlace;
using kdinstr::modules::Function;
using kdinstr::modules::Label;
using kdinstr::modules::Name;
using kdinstr::modules::Operand;

struct EdgeSpec {
    std::uint32_t from;
    std::uint32_t to;
    std::optional<Operand> weight;
    bool operator==(const EdgeSpec&) const = default;
};

std::vector<std::uint32_t> nodes_of(const FlowGraph& g) {
    std::vector<std::uint32_t> out;
    for (const Label& l : g.nodes()) out.push_back(l.value);
    return out;
}

std::vector<EdgeSpec> edges_of(const FlowGraph& g) {
    std::vector<EdgeSpec> out;
    for (const auto& e : g.edges()) out.push_back({e.source.value, e.target.value, e.weight});
    return out;
}

void PrintTo(const EdgeSpec& e, std::ostream* os) {
    *os << e.from << "->" << e.to << " " << (e.weight ? e.weight->debug() : "None");
}

TEST(FunctionFlow, GraphsOfSmallFunctions) {
    struct {
        const char* what;
        Function function;
        std::vector<std::uint32_t> nodes;
        std::vector<EdgeSpec> edges;
    } cases[] = {
        {"single block that returns", FunctionBuilder().block(0, {}, ret()).build(), {0}, {}},
        {"straight line",
         FunctionBuilder().block(0, {}, jump(1)).block(1, {}, jump(2)).block(2, {}, ret()).build(),
         {0, 1, 2},
         {{0, 1, std::nullopt}, {1, 2, std::nullopt}}},
        {"diamond: only the edge taken when true carries the condition",
         FunctionBuilder()
             .param(7, ty(1))
             .block(0, {}, branch(reg(7), 1, 2))
             .block(1, {}, jump(3))
             .block(2, {}, jump(3))
             .block(3, {}, ret())
             .build(),
         {0, 1, 2, 3},
         {{0, 1, reg(7)}, {0, 2, std::nullopt}, {1, 3, std::nullopt}, {2, 3, std::nullopt}}},
        {"loop back to the header and a self loop",
         FunctionBuilder()
             .block(0, {}, jump(1))
             .block(1, {}, branch(imm_int(1, 1), 2, 3))
             .block(2, {}, jump(1))
             .block(3, {}, jump(3))
             .build(),
         {0, 1, 2, 3},
         {{0, 1, std::nullopt},
          {1, 2, imm_int(1, 1)},
          {1, 3, std::nullopt},
          {2, 1, std::nullopt},
          {3, 3, std::nullopt}}},
        {"branch with one target twice: one edge, no weight",
         FunctionBuilder()
             .param(0, ty(1))
             .block(0, {}, branch(reg(0), 1, 1))
             .block(1, {}, ret())
             .build(),
         {0, 1},
         {{0, 1, std::nullopt}}},
        {"unreachable and trapping blocks are nodes without edges",
         FunctionBuilder().block(0, {}, ret()).block(4, {}, trap()).block(5, {}, jump(0)).build(),
         {0, 4, 5},
         {{5, 0, std::nullopt}}},
        {"a target that is no block becomes a node after the blocks",
         FunctionBuilder().block(0, {}, jump(9)).block(1, {}, ret()).build(),
         {0, 1, 9},
         {{0, 9, std::nullopt}}},
    };
    for (const auto& c : cases) {
        const FlowGraph g = kdinstr::analysis::derive_function_flow(c.function);
        EXPECT_EQ(nodes_of(g), c.nodes) << c.what;
        EXPECT_EQ(edges_of(g), c.edges) << c.what;
        EXPECT_EQ(g.edge_capacity(), 3 * c.function.body.size()) << c.what;
    }
}

TEST(DestMap, PlacesOfDestinations) {
    struct {
        const char* what;
        Function function;
        DestMap expected;
    } cases[] = {
        {"one block: every destination, none for parameters",
         FunctionBuilder()
             .param(0, ty(1))
             .block(0, {iadd(1, ty(1), reg(0), reg(0)), iadd(2, ty(1), reg(1), reg(0))},
                    ret(reg(2)))
             .build(),
         {{Name{1}, {Label{0}, 0}}, {Name{2}, {Label{0}, 1}}}},
        {"instructions without destination still count",
         FunctionBuilder()
             .param(0, ty(1))
             .block(0, {}, jump(3))
             .block(3,
                    {store(reg(0), reg(0)), iadd(3, ty(1), reg(0), reg(0)),
                     invoke(internal_fn(uuid(1))), meta_assert(reg(3)),
                     invoke(5, ty(1), internal_fn(uuid(1)))},
                    ret())
             .build(),
         {{Name{3}, {Label{3}, 1}}, {Name{5}, {Label{3}, 4}}}},
        {"a name defined twice keeps its later place",
         FunctionBuilder()
             .block(0, {iadd(4, ty(1), imm_int(1), imm_int(1))}, jump(2))
             .block(2, {store(reg(4), reg(4)), iadd(4, ty(1), imm_int(1), imm_int(1))}, ret())
             .build(),
         {{Name{4}, {Label{2}, 1}}}},
        {"names out of order, one of them twice",
         FunctionBuilder()
             .block(0, {iadd(9, ty(1), imm_int(1), imm_int(1)), iadd(2, ty(1), reg(9), reg(9))},
                    jump(1))
             .block(1, {iadd(5, ty(1), reg(2), reg(2)), iadd(9, ty(1), reg(5), reg(5))}, ret())
             .build(),
         {{Name{2}, {Label{0}, 1}}, {Name{5}, {Label{1}, 0}}, {Name{9}, {Label{1}, 1}}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kdinstr::analysis::derive_dest_map(c.function), c.expected) << c.what;
}

TEST(DestMap, IteratesAndFindsInNameOrder) {
    const DestMap map{{Name{7}, {Label{1}, 0}}, {Name{3}, {Label{0}, 2}}, {Name{7}, {Label{2}, 4}}};
    std::vector<std::uint32_t> names;
    for (const auto& [name, place] : map) names.push_back(name.value);
    EXPECT_EQ(names, (std::vector<std::uint32_t>{3, 7}));
    ASSERT_NE(map.find(Name{7}), nullptr);
    EXPECT_EQ(*map.find(Name{7}), (InstructionPlace{Label{2}, 4}));
    EXPECT_EQ(map.find(Name{4}), nullptr);
    EXPECT_TRUE(map.contains(Name{3}));
    EXPECT_EQ(map.size(), 2u);
}

TEST(FunctionAnalysis, KeepsTheSharedFunction) {
    const auto f = FunctionBuilder()
                       .param(0, ty(1))
                       .block(0, {iadd(1, ty(1), reg(0), reg(0))}, jump(1))
                       .block(1, {}, ret(reg(1)))
                       .shared();
    const auto a = kdinstr::analysis::analyze(f);
    EXPECT_EQ(a.function, f);
    EXPECT_EQ(f.use_count(), 2);
    EXPECT_EQ(nodes_of(a.flow_graph), (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(edges_of(a.flow_graph), (std::vector<EdgeSpec>{{0, 1, std::nullopt}}));
    EXPECT_EQ(a.dest_map, (DestMap{{Name{1}, {Label{0}, 0}}}));
    EXPECT_THROW(kdinstr::analysis::analyze(nullptr), kdinstr::utils::Panic);
}

}  // namespace
