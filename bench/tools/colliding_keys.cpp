// Makes keys that collide in libstdc++'s unseeded hash tables, for bench/hostile.py.
//
//     colliding_keys names N     N function names of one length whose std::hash<std::string_view>
//                                values are all equal, one a line
//     colliding_keys buckets N   the bucket count of a std::unordered_map<std::uint64_t, int>
//                                after N insertions
//
// libstdc++ hashes a string with a fixed seed by a 64-bit multiply-xorshift over 8-byte words:
// state' = (state ^ D(word)) * M, where D is a bijection. Both steps can be undone, so from any
// state and any first word the second word that leads to a chosen state is found by running
// the steps backwards; it is kept when its 8 bytes are all identifier characters (about one
// try in 74 000). A name is a fixed first word, then `kStages` pairs of words, each pair one of
// the pairs found for its stage: every pair of a stage ends in the stage's chosen state, so
// every combination of pairs has the same hash. Each name is checked against std::hash itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::uint64_t kMul = 0xc6a4a7935bd1e995ull;
constexpr std::uint64_t kSeed = 0xc70f6907ull;
constexpr std::string_view kAlphabet =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
constexpr std::string_view kPrefix = "collide_";
constexpr int kStages = 2;

std::uint64_t shift_mix(std::uint64_t v) { return v ^ (v >> 47); }  // its own inverse

std::uint64_t inverse_of(std::uint64_t odd) {
    std::uint64_t x = odd;  // Newton's iteration doubles the correct low bits each step
    for (int i = 0; i < 6; ++i) x *= 2 - odd * x;
    return x;
}

const std::uint64_t kMulInverse = inverse_of(kMul);

std::uint64_t mix_word(std::uint64_t w) { return shift_mix(w * kMul) * kMul; }
std::uint64_t unmix_word(std::uint64_t d) { return shift_mix(d * kMulInverse) * kMulInverse; }

std::uint64_t load(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

bool is_identifier_word(std::uint64_t w) {
    static const auto table = [] {
        std::vector<bool> t(256, false);
        for (char c : kAlphabet) t[static_cast<unsigned char>(c)] = true;
        return t;
    }();
    for (int i = 0; i < 8; ++i, w >>= 8)
        if (!table[w & 0xFF]) return false;
    return true;
}

std::uint64_t splitmix(std::uint64_t& s) {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t random_word(std::uint64_t& rng) {
    std::uint64_t bits = splitmix(rng), w = 0;
    for (int i = 0; i < 8; ++i, bits >>= 8)
        w |= std::uint64_t(static_cast<unsigned char>(kAlphabet[(bits & 0xFF) % kAlphabet.size()]))
             << (8 * i);
    return w;
}

std::string word_text(std::uint64_t w) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &w, 8);
    return s;
}

int names(std::size_t count) {
    std::size_t per_stage = 1;
    while ([&] {
        std::size_t total = 1;
        for (int i = 0; i < kStages; ++i) total *= per_stage;
        return total < count;
    }())
        ++per_stage;
    const std::size_t length = kPrefix.size() + 16 * kStages;
    std::uint64_t state = kSeed ^ (length * kMul);
    state = (state ^ mix_word(load(kPrefix.data()))) * kMul;
    std::uint64_t rng = 0x5EED;
    std::vector<std::vector<std::string>> stages(kStages);
    for (auto& pairs : stages) {
        // The stage's target: where a first random pair of words leads.
        const std::uint64_t a0 = random_word(rng), b0 = random_word(rng);
        const std::uint64_t target = (((state ^ mix_word(a0)) * kMul) ^ mix_word(b0)) * kMul;
        const std::uint64_t before_last = target * kMulInverse;
        pairs.push_back(word_text(a0) + word_text(b0));
        while (pairs.size() < per_stage) {
            const std::uint64_t a = random_word(rng);
            const std::uint64_t b = unmix_word(((state ^ mix_word(a)) * kMul) ^ before_last);
            if (is_identifier_word(b) && b != b0) pairs.push_back(word_text(a) + word_text(b));
        }
        state = target;
    }
    std::vector<std::size_t> pick(kStages, 0);
    const std::size_t expected =
        std::hash<std::string_view>{}(std::string(kPrefix) + stages[0][0] + stages[1][0]);
    for (std::size_t n = 0; n < count; ++n) {
        std::string name(kPrefix);
        for (int i = 0; i < kStages; ++i) name += stages[i][pick[i]];
        if (std::hash<std::string_view>{}(name) != expected) {
            std::fprintf(stderr, "not a collision: %s (is this libstdc++?)\n", name.c_str());
            return 1;
        }
        std::printf("%s\n", name.c_str());
        for (int i = kStages - 1; i >= 0 && ++pick[i] == per_stage; --i) pick[i] = 0;
    }
    return 0;
}

int buckets(std::size_t count) {
    std::unordered_map<std::uint64_t, int> map;
    for (std::uint64_t k = 0; k < count; ++k) map.emplace(k, 0);
    std::printf("%zu\n", map.bucket_count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "names") == 0)
        return names(std::strtoull(argv[2], nullptr, 10));
    if (argc == 3 && std::strcmp(argv[1], "buckets") == 0)
        return buckets(std::strtoull(argv[2], nullptr, 10));
    std::fprintf(stderr, "usage: %s names|buckets N\n", argv[0]);
    return 2;
}
