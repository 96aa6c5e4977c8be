#pragma once
// Encoded bytes written by hand: concatenation, a little-endian u32 and two values that hostile
// inputs use throughout. Free of gtest, so that the seed writer and the benchmarks build the
// same bytes as the tests.
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kdinstr::tests::codec {

using Bytes = std::vector<std::uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes u32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

// The largest u32 count.
inline const Bytes kAllOnes = u32(0xFFFFFFFF);
// The operand %0.
inline const Bytes kReg0(5, 0);

}  // namespace kdinstr::tests::codec
