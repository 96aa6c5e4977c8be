#pragma once
// Reads of a byte string for the string hashes: words at any alignment, in the machine's byte
// order, and a short string's bytes without a loop.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kdinstr::utils {

inline std::uint64_t load8(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint64_t load4(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The first, middle and last of 1..3 bytes in one word: every byte counts, whatever the length.
inline std::uint64_t load1to3(const char* p, std::size_t n) {
    const auto byte = [&](std::size_t i) {
        return std::uint64_t{static_cast<unsigned char>(p[i])};
    };
    return (byte(0) << 16) | (byte(n >> 1) << 8) | byte(n - 1);
}

}  // namespace kdinstr::utils
