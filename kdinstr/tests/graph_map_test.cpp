#include "kdinstr/analysis/graph_map.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using kdinstr::analysis::DiGraphMap;
using Graph = DiGraphMap<int, std::optional<std::string>>;

TEST(DiGraphMap, NodesKeepInsertionOrderAndAreAddedOnce) {
    Graph g(4, 12);
    g.add_node(3);
    g.add_node(1);
    g.add_node(3);
    EXPECT_EQ(g.nodes(), (std::vector<int>{3, 1}));
    EXPECT_TRUE(g.contains_node(1));
    EXPECT_FALSE(g.contains_node(2));
    EXPECT_EQ(g.edge_count(), 0u);
}

TEST(DiGraphMap, EdgeToUnknownNodeAddsIt) {
    Graph g;
    g.add_node(0);
    g.add_edge(0, 7, std::nullopt);
    EXPECT_EQ(g.nodes(), (std::vector<int>{0, 7}));
    EXPECT_TRUE(g.contains_edge(0, 7));
    EXPECT_FALSE(g.contains_edge(7, 0));
}

TEST(DiGraphMap, ReaddingAnEdgeReplacesItsWeightInPlace) {
    Graph g;
    EXPECT_EQ(g.add_edge(0, 1, std::string("c")), std::nullopt);
    g.add_edge(0, 2, std::nullopt);
    const auto old = g.add_edge(0, 1, std::nullopt);
    ASSERT_TRUE(old.has_value());
    EXPECT_EQ(*old, std::optional<std::string>("c"));
    EXPECT_EQ(g.edge_count(), 2u);
    ASSERT_NE(g.edge_weight(0, 1), nullptr);
    EXPECT_EQ(*g.edge_weight(0, 1), std::nullopt);
    EXPECT_EQ(g.edges()[0].target, 1);
    EXPECT_EQ(g.edge_weight(1, 0), nullptr);
    EXPECT_EQ(g.edge_weight(5, 0), nullptr);
}

TEST(DiGraphMap, SuccessorsAndPredecessorsInEdgeOrder) {
    Graph g;
    g.add_edge(0, 2, std::nullopt);
    g.add_edge(0, 1, std::nullopt);
    g.add_edge(1, 1, std::nullopt);
    g.add_edge(2, 1, std::nullopt);
    EXPECT_EQ(g.successors(0), (std::vector<int>{2, 1}));
    EXPECT_EQ(g.successors(1), (std::vector<int>{1}));
    EXPECT_EQ(g.predecessors(1), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(g.predecessors(0), (std::vector<int>{}));
    EXPECT_EQ(g.successors(42), (std::vector<int>{}));
}

TEST(DiGraphMap, ManyMoreNodesThanSizedFor) {
    Graph g(2, 6);
    for (int n = 0; n < 1000; ++n) g.add_node(n);
    for (int n = 0; n < 1000; ++n) g.add_edge(n, (n * 7919) % 1000, std::nullopt);
    EXPECT_EQ(g.node_count(), 1000u);
    for (int n = 0; n < 1000; ++n) {
        EXPECT_EQ(g.nodes()[n], n);
        EXPECT_TRUE(g.contains_edge(n, (n * 7919) % 1000)) << n;
    }
    EXPECT_FALSE(g.contains_node(1000));
    EXPECT_FALSE(g.contains_node(-1));
}

TEST(DiGraphMap, SizedGraphDoesNotReallocateEdges) {
    Graph g(3, 9);
    const auto capacity = g.edge_capacity();
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) g.add_edge(a, b, std::nullopt);
    EXPECT_EQ(g.edge_count(), 9u);
    EXPECT_EQ(g.edge_capacity(), capacity);
}

}  // namespace
