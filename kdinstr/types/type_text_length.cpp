#include "kdinstr/types/type_text_length.hpp"

#include <algorithm>
#include <limits>

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::types {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

std::uint64_t decimal_digits(std::uint64_t value) {
    std::uint64_t digits = 1;
    for (; value >= 10; value /= 10) ++digits;
    return digits;
}

// The characters an aggregate writes around its elements' texts, and a primary type's whole
// text; `type_text`'s pieces: "[ {} x " and " ]", "packed {" or "{", ", " between elements, "}".
std::uint64_t own_text_length(const AnyType& value) {
    if (const auto* p = value.as_primary()) return p->to_string().size();
    if (const auto* a = value.as_array()) return 7 + decimal_digits(a->count);
    const auto& s = *value.as_struct();
    const std::uint64_t separators = s.elements.empty() ? 0 : 2 * (s.elements.size() - 1);
    return (s.packed ? 8 : 1) + separators + 1;
}

// The map as a graph: per entry (by position in the map), the characters it writes itself,
// the texts of the elements that are not entries (wildcards, identifiers not held) included,
// and the positions of the elements that are, in element order and repeated as often as they
// occur: entry i's are children[begin[i] .. begin[i + 1]).
struct Graph {
    std::vector<std::uint64_t> own;
    std::vector<std::size_t> begin;
    std::vector<std::uint32_t> children;

    // Entry v's own characters and the texts of its children, each as `lengths` gives it.
    std::uint64_t with_children(std::uint32_t v, const std::vector<std::uint64_t>& lengths,
                                std::uint64_t cap) const {
        std::uint64_t total = own[v];
        for (std::size_t k = begin[v]; k < begin[v + 1]; ++k)
            total = saturating_add(total, lengths[children[k]], cap);
        return total;
    }
};

// Measures the entries of `graph` into `lengths`, strongly connected component by component,
// each after every component it reaches (the order in which Tarjan's algorithm completes them).
class Measure {
  public:
    Measure(const Graph& graph, std::uint64_t cap, std::uint64_t recursive_length)
        : g_(graph),
          cap_(cap),
          recursive_length_(recursive_length),
          n_(static_cast<std::uint32_t>(graph.own.size())),
          order_(n_, kNone),
          low_(n_, 0),
          component_(n_, kNone),
          on_stack_(n_, false),
          on_path_(n_, false),
          lengths_(n_, 0) {
        const std::uint64_t elements = n_ + g_.children.size();
        steps_left_ = elements > (std::numeric_limits<std::uint64_t>::max() -
                                  TypeTextLengths::kCycleStepsFloor) /
                                     TypeTextLengths::kCycleStepsPerElement
                          ? std::numeric_limits<std::uint64_t>::max()
                          : TypeTextLengths::kCycleStepsFloor +
                                elements * TypeTextLengths::kCycleStepsPerElement;
    }

    std::vector<std::uint64_t> run() {
        for (std::uint32_t root = 0; root < n_; ++root)
            if (order_[root] == kNone) visit(root);
        return std::move(lengths_);
    }

  private:
    struct Frame {
        std::uint32_t node;
        std::size_t next;
    };

    // Tarjan's algorithm from `root`, with a stack of its own: nesting as deep as the map is
    // long must not exhaust the thread's stack.
    void visit(std::uint32_t root) {
        enter(root);
        while (!frames_.empty()) {
            Frame& top = frames_.back();
            const std::uint32_t v = top.node;
            if (top.next < g_.begin[v + 1]) {
                const std::uint32_t w = g_.children[top.next++];
                if (order_[w] == kNone) {
                    enter(w);
                } else if (on_stack_[w]) {
                    low_[v] = std::min(low_[v], order_[w]);
                }
                continue;
            }
            frames_.pop_back();
            if (low_[v] == order_[v]) complete(v);
            if (!frames_.empty()) {
                const std::uint32_t parent = frames_.back().node;
                low_[parent] = std::min(low_[parent], low_[v]);
            }
        }
    }

    void enter(std::uint32_t v) {
        order_[v] = low_[v] = next_order_++;
        stack_.push_back(v);
        on_stack_[v] = true;
        frames_.push_back(Frame{v, g_.begin[v]});
    }

    // The component whose first entered entry is `v` is complete: everything it reaches outside
    // itself is measured.
    void complete(std::uint32_t v) {
        const std::uint32_t id = next_component_++;
        const auto first = std::find(stack_.rbegin(), stack_.rend(), v).base() - 1;
        members_.assign(first, stack_.end());
        stack_.erase(first, stack_.end());
        for (const std::uint32_t m : members_) {
            on_stack_[m] = false;
            component_[m] = id;
        }
        if (members_.size() == 1 && !reaches_itself(v)) {
            // No cycle: the text is the same whatever path led here.
            lengths_[v] = g_.with_children(v, lengths_, cap_);
            return;
        }
        for (const std::uint32_t m : members_) lengths_[m] = walk(m, id);
    }

    bool reaches_itself(std::uint32_t v) const {
        for (std::size_t k = g_.begin[v]; k < g_.begin[v + 1]; ++k)
            if (g_.children[k] == v) return true;
        return false;
    }

    // The text of `start` printed with nothing on the path: it depends on the path only through
    // the entries of its own component on it (an entry on the path that another component
    // reaches would be in this one), so elements outside the component add their own lengths.
    std::uint64_t walk(std::uint32_t start, std::uint32_t id) {
        std::uint64_t total = g_.own[start];
        on_path_[start] = true;
        path_.push_back(Frame{start, g_.begin[start]});
        while (!path_.empty()) {
            Frame& top = path_.back();
            if (top.next == g_.begin[top.node + 1]) {
                on_path_[top.node] = false;
                path_.pop_back();
                continue;
            }
            if (total >= cap_ || steps_left_ == 0) break;
            --steps_left_;
            const std::uint32_t c = g_.children[top.next++];
            if (component_[c] != id) {
                total = saturating_add(total, lengths_[c], cap_);
            } else if (on_path_[c]) {
                total = saturating_add(total, recursive_length_, cap_);
            } else {
                total = saturating_add(total, g_.own[c], cap_);
                on_path_[c] = true;
                path_.push_back(Frame{c, g_.begin[c]});
            }
        }
        if (path_.empty()) return total;
        for (const Frame& f : path_) on_path_[f.node] = false;
        path_.clear();
        return cap_;
    }

    const Graph& g_;
    const std::uint64_t cap_;
    const std::uint64_t recursive_length_;
    const std::uint32_t n_;
    std::uint64_t steps_left_;
    std::vector<std::uint32_t> order_;
    std::vector<std::uint32_t> low_;
    std::vector<std::uint32_t> component_;
    std::vector<bool> on_stack_;
    std::vector<bool> on_path_;
    std::vector<std::uint64_t> lengths_;
    std::vector<Frame> frames_;
    std::vector<std::uint32_t> stack_;
    std::vector<std::uint32_t> members_;
    std::vector<Frame> path_;
    std::uint32_t next_order_ = 0;
    std::uint32_t next_component_ = 0;
};

}  // namespace

TypeTextLengths::TypeTextLengths(const TypeMap& types, std::uint64_t cap)
    : cap_(cap), unknown_length_(unknown_type_text(Typeref{}).size()), index_(types.size()) {
    const std::size_t n = types.size();
    if (n >= kNone) utils::panic("cannot measure the texts of {} types", n);
    std::uint32_t position = 0;
    for (const auto& entry : types) index_.insert(entry.first, position++);

    Graph graph;
    graph.own.reserve(n);
    graph.begin.reserve(n + 1);
    graph.begin.push_back(0);
    for (const auto& [ref, value] : types) {
        std::uint64_t own = own_text_length(value);
        value.for_each_element([&](const Typeref& element) {
            // Looked up as the printer does: a wildcard identifier is never an entry.
            if (element.wildcard_index()) {
                own += of(element);
            } else if (const auto at = index_.find(element)) {
                graph.children.push_back(*at);
            } else {
                own += unknown_length_;
            }
        });
        graph.own.push_back(std::min(own, cap_));
        graph.begin.push_back(graph.children.size());
    }
    lengths_ = Measure(graph, cap_, recursive_type_text(Typeref{}).size()).run();

    value_lengths_.reserve(n);
    // Printed by value, the entry is not on the path when its elements are entered.
    for (std::uint32_t at = 0; at < n; ++at)
        value_lengths_.push_back(graph.with_children(at, lengths_, cap_));
    // The map's order is the positions' order: no entry needs looking up.
    position = 0;
    for (const auto& entry : types)
        longest_ = std::max(longest_, longest_of(entry.first, position++));
}

std::uint64_t TypeTextLengths::of(const Typeref& ref) const {
    if (const auto index = ref.wildcard_index()) return wildcard_length(*index);
    return identifier_length(index_.find(ref));
}

std::uint64_t TypeTextLengths::longest_of(const Typeref& ref) const {
    return longest_of(ref, index_.find(ref));
}

std::uint64_t TypeTextLengths::longest_of(const Typeref& ref,
                                          std::optional<std::uint32_t> at) const {
    const auto index = ref.wildcard_index();
    const std::uint64_t by_ref = index ? wildcard_length(*index) : identifier_length(at);
    return at ? std::max(by_ref, value_lengths_[*at]) : by_ref;
}

std::uint64_t TypeTextLengths::wildcard_length(std::uint16_t index) const {
    return std::min<std::uint64_t>(primary::Wildcard{index}.to_string().size(), cap_);
}

std::uint64_t TypeTextLengths::identifier_length(std::optional<std::uint32_t> at) const {
    return at ? lengths_[*at] : std::min(unknown_length_, cap_);
}

std::uint64_t TypeTextLengths::longest_of_any() const {
    return std::max(longest_, std::min(unknown_length_, cap_));
}

std::uint64_t TypeTextLengths::of(const AnyType& value) const {
    std::uint64_t total = std::min(own_text_length(value), cap_);
    value.for_each_element(
        [&](const Typeref& element) { total = saturating_add(total, of(element), cap_); });
    return total;
}

}  // namespace kdinstr::types
