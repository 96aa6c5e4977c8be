#include "kdinstr/types/seeded_hash.hpp"

#include <cstring>

#include "kdinstr/utils/byte_loads.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace kdinstr::types {

namespace {

struct Seed {
    std::uint64_t a, b, c;
};

const Seed& seed() {
    static const Seed s = [] {
        Seed out{};
        std::uint8_t bytes[sizeof(Seed)];
        utils::random_bytes(bytes);
        std::memcpy(&out, bytes, sizeof(Seed));
        return out;
    }();
    return s;
}

// Folded 64x64->128-bit multiply: each output bit depends on many bits of both inputs.
inline std::uint64_t mum(std::uint64_t x, std::uint64_t y) {
    const unsigned __int128 p = static_cast<unsigned __int128>(x) * y;
    return static_cast<std::uint64_t>(p) ^ static_cast<std::uint64_t>(p >> 64);
}

constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ull;

using utils::load4;
using utils::load8;

}  // namespace

std::size_t SeededUuidHash::operator()(const utils::Uuid& uuid) const noexcept {
    const Seed& s = seed();
    std::uint64_t lo, hi;
    std::memcpy(&lo, uuid.bytes.data(), 8);
    std::memcpy(&hi, uuid.bytes.data() + 8, 8);
    return static_cast<std::size_t>(mum(mum(lo ^ s.a, hi ^ s.b) ^ s.c, kOdd));
}

std::size_t SeededU64Hash::operator()(std::uint64_t value) const noexcept {
    const Seed& s = seed();
    // Two rounds: after one, keys that differ only in their high bits share their low bits
    // (the folded product's low half depends on the key's low bits alone) for some seeds.
    return static_cast<std::size_t>(mum(mum(value ^ s.a, s.b | 1) ^ s.c, kOdd));
}

// Sixteen bytes at a time, each pair of words multiplied together through the seed and the
// state so far; the last 1..16 bytes are read as two (possibly overlapping) words, and the
// length is mixed in first, so that texts that differ only in those overlaps differ here too.
std::size_t SeededStringHash::operator()(std::string_view text) const noexcept {
    const Seed& s = seed();
    const char* p = text.data();
    std::size_t n = text.size();
    std::uint64_t h = mum(s.c ^ n, kOdd);
    std::uint64_t a = 0, b = 0;
    if (n > 16) {
        for (; n > 16; p += 16, n -= 16) h = mum(load8(p) ^ s.a, load8(p + 8) ^ s.b ^ h);
        a = load8(p + n - 16);
        b = load8(p + n - 8);
    } else if (n >= 8) {
        a = load8(p);
        b = load8(p + n - 8);
    } else if (n >= 4) {
        a = load4(p);
        b = load4(p + n - 4);
    } else if (n > 0) {
        a = utils::load1to3(p, n);
    }
    return static_cast<std::size_t>(mum(mum(a ^ s.a, b ^ s.b ^ h) ^ s.c, kOdd));
}

}  // namespace kdinstr::types
