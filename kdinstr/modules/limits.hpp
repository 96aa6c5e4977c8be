#pragma once
// The IR's size limits. Each bound is inclusive: a count equal to the limit passes.
#include <cstddef>

namespace kdinstr::modules::limits {

inline constexpr std::size_t max_blocks = 0x10000;
// Per block, the terminator not counted.
inline constexpr std::size_t max_block_instructions = 0x10000;
// All blocks of one function together.
inline constexpr std::size_t max_instructions = 1'000'000;
inline constexpr std::size_t max_parameters = 0x1000;
// Size of a function's declared wildcard set.
inline constexpr std::size_t max_wildcard_types = 0x100;

}  // namespace kdinstr::modules::limits
