#pragma once
// Numbers for the register or label names of the function being read: a new name gets the
// count of names numbered so far, so numbers are dense and in order of first request.
//
// A parse asks for a number at every register and label token, so this is an open-addressing
// table of views into the source text with a cheap hash. Starting the next function is O(1):
// entries carry the generation they were made in, and `clear` starts a new generation, so one
// large function followed by thousands of small ones never pays for the large table again.
// The names come from the caller's text, so the hash starts from a random seed of each table:
// names chosen to share slots would otherwise make numbering quadratic.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kdinstr::modules::parser {

class NameNumbering {
  public:
    NameNumbering();

    // The number of `name`, given now when the name is new. `name` must outlive the numbering's
    // current generation (the grammar passes views into the source text).
    std::uint32_t number(std::string_view name);
    // The number of `name` if it has one.
    std::optional<std::uint32_t> find(std::string_view name) const;
    // Forgets every name; the next one gets 0.
    void clear();
    // Names numbered in the current generation.
    std::uint32_t size() const { return count_; }

  private:
    struct Slot {
        const char* data = nullptr;
        std::uint32_t length = 0;
        std::uint32_t value = 0;
        std::uint32_t hash = 0;
        std::uint32_t generation = 0;
    };
    static constexpr std::size_t initial_capacity = 64;

    void grow();
    // The slot that holds `name`, or the empty slot where it would go.
    std::size_t probe(std::string_view name, std::uint32_t hash) const;

    std::vector<Slot> slots_;
    std::uint64_t seed_ = 0;
    std::uint32_t count_ = 0;
    // Slots of other generations are empty; 0 is never current.
    std::uint32_t generation_ = 1;
};

}  // namespace kdinstr::modules::parser
