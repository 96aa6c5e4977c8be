#pragma once
// A directed graph keyed by its node values: at most one edge per ordered pair of nodes, and
// adding an existing edge replaces its weight. Nodes and edges keep their insertion order.
//
// Edges live in one vector and are chained per node (outgoing and incoming lists threaded
// through the edge records), so a graph sized up front never reallocates while it is filled;
// the edge room, and the per-node heads of the lists, are taken with the first edge, so a
// graph without edges holds nothing but its nodes. Nodes are found through an open-addressing
// table of their positions, homed by the node's seeded hash (`types::SeededHash<N>`): nodes such
// as block labels come from outside, and crafted ones must not crowd one probe run. A graph of
// a few nodes, as most functions have, compares them one by one instead and keeps no table.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "kdinstr/types/seeded_hash.hpp"

namespace kdinstr::analysis {

template <typename N, typename E>
class DiGraphMap {
  public:
    struct Edge {
        N source;
        N target;
        E weight;
    };

    DiGraphMap() = default;
    DiGraphMap(std::size_t node_capacity, std::size_t edge_capacity)
        : planned_edges_(edge_capacity) {
        nodes_.reserve(node_capacity);
        if (node_capacity > kLinearNodes) make_index(node_capacity);
    }

    // Adds the node if it is new; an existing node stays where it is.
    void add_node(const N& node) { index_of_or_add(node); }

    // Adds the edge source -> target (and any missing node). An existing edge keeps its place
    // and gets the new weight; the old weight is returned.
    std::optional<E> add_edge(const N& source, const N& target, E weight) {
        const std::uint32_t s = index_of_or_add(source);
        const std::uint32_t t = index_of_or_add(target);
        if (slots_.empty()) {
            slots_.reserve(nodes_.capacity());
            slots_.resize(nodes_.size());
        }
        if (const auto e = find_edge(s, t)) {
            std::optional<E> old(std::move(edges_[*e].weight));
            edges_[*e].weight = std::move(weight);
            return old;
        }
        if (edges_.capacity() == 0 && planned_edges_ != 0) {
            edges_.reserve(planned_edges_);
            links_.reserve(planned_edges_);
        }
        const auto e = static_cast<std::uint32_t>(edges_.size());
        edges_.push_back(Edge{source, target, std::move(weight)});
        links_.push_back(Link{t, slots_[s].first_out, slots_[t].first_in});
        slots_[s].first_out = e;
        slots_[t].first_in = e;
        return std::nullopt;
    }

    bool contains_node(const N& node) const { return find_node(node).has_value(); }

    bool contains_edge(const N& source, const N& target) const {
        return edge_weight(source, target) != nullptr;
    }

    // The weight of source -> target, or null when there is no such edge.
    const E* edge_weight(const N& source, const N& target) const {
        const auto s = find_node(source);
        const auto t = find_node(target);
        if (!s || !t) return nullptr;
        const auto e = find_edge(*s, *t);
        return e ? &edges_[*e].weight : nullptr;
    }

    std::size_t node_count() const { return nodes_.size(); }
    std::size_t edge_count() const { return edges_.size(); }
    // The edges the graph holds without reallocating (reserved with the first edge).
    std::size_t edge_capacity() const { return std::max(edges_.capacity(), planned_edges_); }

    // Nodes and edges in insertion order.
    const std::vector<N>& nodes() const { return nodes_; }
    const std::vector<Edge>& edges() const { return edges_; }

    // Targets of the node's outgoing edges, in edge insertion order (empty for an unknown node).
    std::vector<N> successors(const N& node) const {
        return collect(
            node, [](const Slot& s) { return s.first_out; },
            [](const Link& l) { return l.next_out; }, [](const Edge& e) { return e.target; });
    }

    // Sources of the node's incoming edges, in edge insertion order.
    std::vector<N> predecessors(const N& node) const {
        return collect(
            node, [](const Slot& s) { return s.first_in; }, [](const Link& l) { return l.next_in; },
            [](const Edge& e) { return e.source; });
    }

  private:
    static constexpr std::uint32_t none = UINT32_MAX;
    // Up to this many nodes, a lookup compares every node instead of hashing.
    static constexpr std::size_t kLinearNodes = 8;

    struct Slot {
        std::uint32_t first_out = none;
        std::uint32_t first_in = none;
    };
    struct Link {
        std::uint32_t target;
        std::uint32_t next_out;
        std::uint32_t next_in;
    };

    // The home of a node in the index table; the table size is a power of two.
    std::size_t home(const N& node) const {
        return types::SeededHash<N>{}(node) & (index_.size() - 1);
    }

    // Room for `nodes` nodes at most half full.
    void make_index(std::size_t nodes) {
        index_.assign(std::bit_ceil(nodes * 2 + 2), none);
        for (std::uint32_t i = 0; i < nodes_.size(); ++i) {
            std::size_t at = home(nodes_[i]);
            while (index_[at] != none) at = (at + 1) & (index_.size() - 1);
            index_[at] = i;
        }
    }

    // The position of `node` among the first nodes, searched one by one; `none` if absent.
    std::uint32_t scan(const N& node) const {
        for (std::uint32_t i = 0; i < nodes_.size(); ++i)
            if (nodes_[i] == node) return i;
        return none;
    }

    // The index slot that holds `node`, or the empty slot where it would go.
    std::size_t probe(const N& node) const {
        std::size_t at = home(node);
        while (index_[at] != none && !(nodes_[index_[at]] == node))
            at = (at + 1) & (index_.size() - 1);
        return at;
    }

    std::optional<std::uint32_t> find_node(const N& node) const {
        const std::uint32_t i = index_.empty() ? scan(node) : index_[probe(node)];
        if (i == none) return std::nullopt;
        return i;
    }

    std::uint32_t index_of_or_add(const N& node) {
        std::size_t at = 0;
        if (index_.empty()) {
            if (const std::uint32_t found = scan(node); found != none) return found;
        } else {
            at = probe(node);
            if (index_[at] != none) return index_[at];
        }
        const auto i = static_cast<std::uint32_t>(nodes_.size());
        nodes_.push_back(node);
        // Heads are kept for every node once the first edge is in.
        if (!slots_.empty()) slots_.push_back(Slot{});
        if (index_.empty()) {
            if (nodes_.size() > kLinearNodes) make_index(nodes_.size());
        } else if (nodes_.size() * 2 > index_.size()) {
            make_index(nodes_.size());
        } else {
            index_[at] = i;
        }
        return i;
    }

    std::optional<std::uint32_t> find_edge(std::uint32_t s, std::uint32_t t) const {
        if (slots_.empty()) return std::nullopt;
        for (std::uint32_t e = slots_[s].first_out; e != none; e = links_[e].next_out)
            if (links_[e].target == t) return e;
        return std::nullopt;
    }

    template <typename First, typename Next, typename End>
    std::vector<N> collect(const N& node, First first, Next next, End end) const {
        std::vector<N> out;
        const auto at = find_node(node);
        if (!at || slots_.empty()) return out;
        // The lists are threaded newest first; report them oldest first.
        for (std::uint32_t e = first(slots_[*at]); e != none; e = next(links_[e]))
            out.push_back(end(edges_[e]));
        return {out.rbegin(), out.rend()};
    }

    std::vector<N> nodes_;
    // Empty until the first edge; then one per node.
    std::vector<Slot> slots_;
    // Positions in `nodes_`, `none` where empty.
    std::vector<std::uint32_t> index_;
    std::vector<Edge> edges_;
    std::vector<Link> links_;
    // The edge room asked for up front.
    std::size_t planned_edges_ = 0;
};

}  // namespace kdinstr::analysis
