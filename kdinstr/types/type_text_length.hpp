#pragma once
// How long the texts of a type map's types are, found without writing them. Aggregates name
// their elements, so a map whose aggregates share elements (T_k = {T_(k-1), T_(k-1)}) holds types
// whose texts are exponentially longer than the map: these lengths let a reader refuse such a
// map before anything prints one of its types.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/typeref_index.hpp"

namespace kdinstr::types {

// a + b, or `cap` when that is more; both at most `cap`, so nothing overflows.
constexpr std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b, std::uint64_t cap) {
    return b >= cap - a ? cap : a + b;
}

// The lengths of the texts that `type_text` writes for the types of one map, each type measured
// once over the map's graph of elements, in time and memory linear in the map's size. Every
// length saturates at the cap: a text longer than `cap` counts as `cap` characters, so no sum
// overflows and no measure goes further than it must.
//
// A type that reaches itself (only decoded data holds one) prints every path that leads around
// its cycles until it meets a type already on the path, and there can be exponentially many.
// Such types are measured by walking those paths; the walks of one map take at most
// kCycleStepsFloor + kCycleStepsPerElement steps per entry and element of the map together, and
// the types on a cycle not measured by then count as `cap`.
class TypeTextLengths {
  public:
    static constexpr std::uint64_t kCycleStepsFloor = std::uint64_t{1} << 20;
    static constexpr std::uint64_t kCycleStepsPerElement = 64;

    // Measures every entry of `types`, which is not kept.
    TypeTextLengths(const TypeMap& types, std::uint64_t cap);

    std::uint64_t cap() const { return cap_; }
    // The length of type_text(types, ref), for any `ref` (wildcards and identifiers the map does
    // not hold included).
    std::uint64_t of(const Typeref& ref) const;
    // The length of type_text(types, value), for any value.
    std::uint64_t of(const AnyType& value) const;
    // The longest text `ref` can print: of(ref), or, when the map holds `ref`, the length of
    // type_text(types, value) of its value when that is longer (the two differ on a cycle and for
    // a wildcard identifier, which a merge into another registry replaces by the type it holds).
    std::uint64_t longest_of(const Typeref& ref) const;
    // The largest longest_of over the map's entries; 0 for an empty map.
    std::uint64_t longest() const { return longest_; }
    // The largest longest_of of any identifier at all: longest(), or the text of an identifier
    // the map does not hold when that is longer (a wildcard's letters are shorter still).
    std::uint64_t longest_of_any() const;

  private:
    // longest_of(ref) when `at` is what the index finds for `ref`: one lookup per answer.
    std::uint64_t longest_of(const Typeref& ref, std::optional<std::uint32_t> at) const;
    // The text of the wildcard of this index.
    std::uint64_t wildcard_length(std::uint16_t index) const;
    // The text of an identifier that is not a wildcard, held at position `at` or not held.
    std::uint64_t identifier_length(std::optional<std::uint32_t> at) const;

    std::uint64_t cap_;
    std::uint64_t unknown_length_;
    TyperefIndex index_;
    // By the entry's position in the map: the length of its text when printed by an identifier
    // that is not a wildcard, and when printed by its value.
    std::vector<std::uint64_t> lengths_;
    std::vector<std::uint64_t> value_lengths_;
    std::uint64_t longest_ = 0;
};

}  // namespace kdinstr::types
