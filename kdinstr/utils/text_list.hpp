#pragma once
// A list of texts held in a few large blocks: ten million short texts (the debug texts of a
// failed source's tokens) take their characters and an offset each, instead of a string object
// and often an allocation each. Blocks are filled in turn and never moved, so the list grows
// without copying what it holds; a text lies within one block.
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kdinstr::utils {

class TextList {
  public:
    class Iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        Iterator() = default;
        Iterator(const TextList* list, std::size_t i) : list_(list), i_(i) {}
        std::string_view operator*() const { return (*list_)[i_]; }
        Iterator& operator++() {
            ++i_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++i_;
            return before;
        }
        bool operator==(const Iterator& other) const { return i_ == other.i_; }

      private:
        const TextList* list_ = nullptr;
        std::size_t i_ = 0;
    };

    TextList() = default;
    TextList(std::initializer_list<std::string_view> texts) {
        for (const std::string_view text : texts) push_back(text);
    }

    void reserve(std::size_t texts) { ends_.reserve(texts); }
    void push_back(std::string_view text);

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view operator[](std::size_t i) const;
    std::string_view back() const { return (*this)[size() - 1]; }
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, size()); }

    // Equal when the texts are, in order.
    friend bool operator==(const TextList& a, const TextList& b);

    // ["a", "b"]: each text quoted as the test frameworks show it.
    friend void PrintTo(const TextList& list, std::ostream* os);

  private:
    static constexpr std::size_t block_size = std::size_t{1} << 20;

    // Texts are numbered by position in their concatenation: text i ends at ends_[i] and starts
    // where text i - 1 ends; block k holds the positions from starts_[k].
    std::vector<std::string> blocks_;
    std::vector<std::size_t> starts_;
    std::vector<std::size_t> ends_;
    std::size_t total_ = 0;
};

}  // namespace kdinstr::utils
