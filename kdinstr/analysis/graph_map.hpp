#pragma once
// A directed graph keyed by its node values: at most one edge per ordered pair of nodes, and
// adding an existing edge replaces its weight. Nodes and edges keep their insertion order.
//
// Edges live in one vector and are chained per node (outgoing and incoming lists threaded
// through the edge records), so a graph sized up front never reallocates while it is filled.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

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
    DiGraphMap(std::size_t node_capacity, std::size_t edge_capacity) {
        nodes_.reserve(node_capacity);
        slots_.reserve(node_capacity);
        edges_.reserve(edge_capacity);
        links_.reserve(edge_capacity);
    }

    // Adds the node if it is new; an existing node stays where it is.
    void add_node(const N& node) { index_of_or_add(node); }

    // Adds the edge source -> target (and any missing node). An existing edge keeps its place
    // and gets the new weight; the old weight is returned.
    std::optional<E> add_edge(const N& source, const N& target, E weight) {
        const std::uint32_t s = index_of_or_add(source);
        const std::uint32_t t = index_of_or_add(target);
        if (const auto e = find_edge(s, t)) {
            std::optional<E> old(std::move(edges_[*e].weight));
            edges_[*e].weight = std::move(weight);
            return old;
        }
        const auto e = static_cast<std::uint32_t>(edges_.size());
        edges_.push_back(Edge{source, target, std::move(weight)});
        links_.push_back(Link{t, slots_[s].first_out, slots_[t].first_in});
        slots_[s].first_out = e;
        slots_[t].first_in = e;
        return std::nullopt;
    }

    bool contains_node(const N& node) const { return index_.contains(node); }

    bool contains_edge(const N& source, const N& target) const {
        return edge_weight(source, target) != nullptr;
    }

    // The weight of source -> target, or null when there is no such edge.
    const E* edge_weight(const N& source, const N& target) const {
        const auto s = index_.find(source);
        const auto t = index_.find(target);
        if (s == index_.end() || t == index_.end()) return nullptr;
        const auto e = find_edge(s->second, t->second);
        return e ? &edges_[*e].weight : nullptr;
    }

    std::size_t node_count() const { return nodes_.size(); }
    std::size_t edge_count() const { return edges_.size(); }
    std::size_t edge_capacity() const { return edges_.capacity(); }

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

    struct Slot {
        std::uint32_t first_out = none;
        std::uint32_t first_in = none;
    };
    struct Link {
        std::uint32_t target;
        std::uint32_t next_out;
        std::uint32_t next_in;
    };

    std::uint32_t index_of_or_add(const N& node) {
        const auto [it, inserted] =
            index_.try_emplace(node, static_cast<std::uint32_t>(nodes_.size()));
        if (inserted) {
            nodes_.push_back(node);
            slots_.push_back(Slot{});
        }
        return it->second;
    }

    std::optional<std::uint32_t> find_edge(std::uint32_t s, std::uint32_t t) const {
        for (std::uint32_t e = slots_[s].first_out; e != none; e = links_[e].next_out)
            if (links_[e].target == t) return e;
        return std::nullopt;
    }

    template <typename First, typename Next, typename End>
    std::vector<N> collect(const N& node, First first, Next next, End end) const {
        std::vector<N> out;
        const auto it = index_.find(node);
        if (it == index_.end()) return out;
        // The lists are threaded newest first; report them oldest first.
        for (std::uint32_t e = first(slots_[it->second]); e != none; e = next(links_[e]))
            out.push_back(end(edges_[e]));
        return {out.rbegin(), out.rend()};
    }

    std::vector<N> nodes_;
    std::vector<Slot> slots_;
    std::map<N, std::uint32_t> index_;
    std::vector<Edge> edges_;
    std::vector<Link> links_;
};

}  // namespace kdinstr::analysis
