#pragma once
// A process-wide list filled by load-time registration and only read afterwards. Pushing puts
// the new entry at the head with a compare-and-swap, so the most recently registered entry is
// found first. Entries are never removed; declare instances `constinit` so that no dynamic
// initialisation order is involved.
#include <atomic>
#include <cstddef>
#include <iterator>
#include <utility>

namespace kdcore::utils {

template <typename Entry>
class LoadTimeRegistry {
    struct Node {
        Entry entry;
        const Node* next;
    };

  public:
    constexpr LoadTimeRegistry() = default;
    LoadTimeRegistry(const LoadTimeRegistry&) = delete;
    LoadTimeRegistry& operator=(const LoadTimeRegistry&) = delete;

    void push(Entry entry) {
        // Nodes live for the rest of the process: readers may walk the list at any time.
        auto* node = new Node{std::move(entry), head_.load(std::memory_order_relaxed)};
        while (!head_.compare_exchange_weak(node->next, node, std::memory_order_release,
                                            std::memory_order_relaxed)) {
        }
    }

    class Iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = const Entry*;
        using reference = const Entry&;

        Iterator() = default;
        explicit Iterator(const Node* node) : node_(node) {}
        reference operator*() const { return node_->entry; }
        pointer operator->() const { return &node_->entry; }
        Iterator& operator++() {
            node_ = node_->next;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            node_ = node_->next;
            return old;
        }
        bool operator==(const Iterator&) const = default;

      private:
        const Node* node_ = nullptr;
    };

    // From the most recently registered entry to the first one.
    Iterator begin() const { return Iterator(head_.load(std::memory_order_acquire)); }
    Iterator end() const { return Iterator(); }

    template <typename Pred>
    const Entry* find_if(Pred&& pred) const {
        for (const Entry& entry : *this)
            if (pred(entry)) return &entry;
        return nullptr;
    }

  private:
    std::atomic<const Node*> head_{nullptr};
};

}  // namespace kdcore::utils
