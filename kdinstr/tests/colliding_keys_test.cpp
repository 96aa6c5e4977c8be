// Keys an attacker chooses to collide in the unseeded hashes (libstdc++'s fixed-seed string
// hash, the identity on integers, the cheap UUID mix): the seeded hashes spread them, and texts
// made of them still read right.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/parser/driver.hpp"
#include "kdinstr/tests/parser_text.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/seeded_hash.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace {

using namespace kdinstr::modules;
using kdinstr::types::SeededHash;
using kdinstr::types::SeededStringHash;
using kdinstr::types::SeededU64Hash;
using kdinstr::types::SeededUuidHash;
using kdinstr::utils::Uuid;

// 64 names of 40 characters with one std::hash<std::string_view> value under libstdc++: a
// fixed first word, then one of 8 word pairs, then one of 8 more, each pair of a stage leading
// the hash to the same state (bench/tools/colliding_keys.cpp made them).
std::vector<std::string> colliding_names() {
    const std::vector<std::string> first = {
        "2RZdFb0j2gcBw1Yw", "hwnGVCqJwELri82o", "IdWT99yadlLuvXtz", "5cVkCI3qrENt0hk_",
        "leYzfQckIh9q8GE9", "nAqUD8H0SbOii9MU", "npxnkCcNOTqBdpkN", "0gfjFIp_SfmJjwWi"};
    const std::vector<std::string> second = {
        "2SllaFGZqBEJFdgo", "hkDkSUHviua_1UUF", "R07zI0kZni_YYP_3", "46bgIqQIY7UhsvEd",
        "6msf6Gu8EMOdbFOx", "EbkVYhSe1LIRJAWS", "PgMATPy35nU3lqdz", "VazXy7HolzIpRbwt"};
    std::vector<std::string> names;
    for (const auto& a : first)
        for (const auto& b : second) names.push_back("collide_" + a + b);
    return names;
}

// 64 UUIDs with one std::hash<Uuid> value: that hash is the high word xor the low word times
// a constant, so any low word has a high word to match.
std::vector<Uuid> colliding_uuids() {
    std::vector<Uuid> uuids;
    for (std::uint64_t low = 1; low <= 64; ++low) {
        const std::uint64_t high = 0x0123456789ABCDEFull ^ (low * 0x9E3779B97F4A7C15ull);
        Uuid u;
        for (int i = 0; i < 8; ++i) {
            u.bytes[i] = static_cast<std::uint8_t>(high >> (56 - 8 * i));
            u.bytes[8 + i] = static_cast<std::uint8_t>(low >> (56 - 8 * i));
        }
        uuids.push_back(u);
    }
    return uuids;
}

// The number of distinct slots of 256 that `hashes` take.
std::size_t slots_taken(const std::vector<std::size_t>& hashes) {
    std::set<std::size_t> slots;
    for (const std::size_t h : hashes) slots.insert(h & 255);
    return slots.size();
}

template <typename Key, typename Hash>
std::vector<std::size_t> hashes_of(const std::vector<Key>& keys, Hash hash) {
    std::vector<std::size_t> out;
    for (const Key& key : keys) out.push_back(hash(key));
    return out;
}

}  // namespace

// Each set of 64 keys takes one slot under the unseeded hash; 64 random values take about 57 of
// 256 slots, and fewer than 32 would mean the seeded hash still follows the crafted structure.
TEST(SeededHash, SpreadsKeysThatTheUnseededHashesPutInOneSlot) {
    const auto names = colliding_names();
    const auto uuids = colliding_uuids();
    // Packed keys of the type cache (`<C x i8>`) 127 apart: one bucket of a 127-bucket table
    // under the identity.
    std::vector<std::uint64_t> packed;
    for (std::uint64_t c = 1; c <= 64; ++c) packed.push_back((1ull << 63) | ((c * 127) << 32) | 8);
    // Register and block numbers that differ only above bit 24.
    std::vector<Name> registers;
    std::vector<Label> labels;
    for (std::uint32_t i = 1; i <= 64; ++i) {
        registers.push_back(Name{i << 24});
        labels.push_back(Label{i << 24});
    }

    struct Case {
        std::string what;
        std::vector<std::size_t> unseeded;
        std::vector<std::size_t> seeded;
    };
    const std::vector<Case> cases = {
        {"names", hashes_of(names, std::hash<std::string_view>{}),
         hashes_of(names, SeededStringHash{})},
        {"uuids", hashes_of(uuids, std::hash<Uuid>{}), hashes_of(uuids, SeededUuidHash{})},
        {"packed type keys", hashes_of(packed, [](std::uint64_t k) { return k % 127; }),
         hashes_of(packed, SeededU64Hash{})},
        {"register numbers", hashes_of(registers, [](Name n) { return std::size_t{n.value}; }),
         hashes_of(registers, SeededHash<Name>{})},
        {"block numbers", hashes_of(labels, [](Label l) { return std::size_t{l.value}; }),
         hashes_of(labels, SeededHash<Label>{})},
    };
    for (const auto& c : cases) {
#ifdef __GLIBCXX__  // the names collide in libstdc++'s string hash only
        EXPECT_EQ(slots_taken(c.unseeded), 1u) << c.what;
#else
        if (c.what != "names") EXPECT_EQ(slots_taken(c.unseeded), 1u) << c.what;
#endif
        EXPECT_GE(slots_taken(c.seeded), 32u) << c.what;
        EXPECT_EQ(std::set<std::size_t>(c.seeded.begin(), c.seeded.end()).size(), 64u) << c.what;
    }
}

// Texts that differ in one byte, or in length alone, hash apart, whichever words the byte falls
// in (whole 16-byte rounds, the overlapping last words, the short forms).
TEST(SeededHash, StringsDifferingInOneByteOrInLengthDiffer) {
    std::set<std::size_t> seen;
    std::size_t texts = 0;
    for (std::size_t length = 0; length <= 40; ++length) {
        const std::string base(length, 'a');
        seen.insert(SeededStringHash{}(base));
        ++texts;
        for (std::size_t at = 0; at < length; ++at) {
            std::string changed = base;
            changed[at] = 'b';
            seen.insert(SeededStringHash{}(changed));
            ++texts;
        }
    }
    EXPECT_EQ(seen.size(), texts);
    EXPECT_NE(SeededStringHash{}(std::string("a\0", 2)), SeededStringHash{}("a"));
}

// Function names sharing one std::hash value resolve to their own functions, within one text and
// from a later one.
TEST(CollidingKeys, NamesSharingOneStdHashResolveToTheirFunctions) {
    const auto names = colliding_names();
    std::string defining, pointing;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& next = names[(i + 1) % names.size()];
        defining += fmt::format("define ptr {}() {{\nentry: ret ptr {}\n}}\n", names[i], next);
        pointing += fmt::format("define ptr user_{}() {{\nentry: ret ptr {}\n}}\n", i, names[i]);
    }
    kdinstr::tests::TextParse p;
    ASSERT_TRUE(p.read(defining));
    ASSERT_TRUE(p.read(pointing));
    const auto target = [&](const std::string& name) {
        const auto& ret = std::get<TerminatorRet>(p.function(name).body.at(Label{0}).terminator);
        return ret.value->as_imm()->as_func_ptr()->uuid();
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(target(names[i]), p.function(names[(i + 1) % names.size()]).uuid) << i;
        EXPECT_EQ(target(fmt::format("user_{}", i)), p.function(names[i]).uuid) << i;
    }
}

// Vector types whose packed keys share one bucket of a libstdc++ table of that size are each
// the registry's own type, and print as written.
TEST(CollidingKeys, VectorTypesSharingOneBucketAreEachTheirOwn) {
    std::string params;
    std::vector<std::string> written;
    for (std::uint32_t c = 1; c <= 64; ++c) {
        written.push_back(fmt::format("<{} x i8>", c * 127));
        params += fmt::format("{}%p{}: {}", c > 1 ? ", " : "", c, written.back());
    }
    kdinstr::tests::TextParse p;
    ASSERT_TRUE(p.read("define void f(" + params + ") {\nentry: ret void\n}\n"));
    const Function& f = p.function("f");
    ASSERT_EQ(f.parameters.size(), written.size());
    std::set<kdinstr::types::Typeref> distinct;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const auto& type = f.parameters[i].second;
        distinct.insert(type);
        EXPECT_EQ(p.registry.read().text(type), written[i]);
    }
    EXPECT_EQ(distinct.size(), written.size());
}
