#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <vector>

#include "kdinstr/utils/uuid_gen.hpp"

using namespace kdinstr::utils;

TEST(UuidV6, LayoutOfKnownValue) {
    // 2022-02-22 19:22:22 UTC, clock sequence 0x33C8, node 9f:6b:de:ce:d8:46.
    const Uuid u = make_v6(0x1EC9414C232AB00ull, 0x33C8, {0x9F, 0x6B, 0xDE, 0xCE, 0xD8, 0x46});
    EXPECT_EQ(u.to_string(), "1ec9414c-232a-6b00-b3c8-9f6bdeced846");
    EXPECT_EQ(v6_timestamp(u), 0x1EC9414C232AB00ull);
}

TEST(UuidV6, VersionVariantAndMasking) {
    struct Case {
        std::uint64_t timestamp;
        std::uint16_t clock_seq;
        std::string text;
    };
    const std::array<std::uint8_t, 6> node = {1, 2, 3, 4, 5, 6};
    const std::vector<Case> cases = {
        {0, 0, "00000000-0000-6000-8000-010203040506"},
        {0x0FFFFFFFFFFFFFFFull, 0x3FFF, "ffffffff-ffff-6fff-bfff-010203040506"},
        // Only the low 60 bits of the time and the low 14 bits of the sequence are used.
        {0xFFFFFFFFFFFFFFFFull, 0xFFFF, "ffffffff-ffff-6fff-bfff-010203040506"},
        {0, 0x4001, "00000000-0000-6000-8001-010203040506"},
        {0x123, 0, "00000000-0000-6123-8000-010203040506"},
        {0x1000, 0, "00000000-0001-6000-8000-010203040506"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(make_v6(c.timestamp, c.clock_seq, node).to_string(), c.text);
}

TEST(UuidV6, NowIsSaneAndSortsByTime) {
    // 2024-01-01 00:00:00 UTC in 100-ns intervals since 1582-10-15.
    constexpr std::uint64_t y2024 = (1704067200ull * 10000000ull) + 0x01B21DD213814000ull;
    const std::uint64_t now = uuid_timestamp_now();
    EXPECT_GT(now, y2024);
    EXPECT_LT(now, std::uint64_t{1} << 60);

    const std::array<std::uint8_t, 6> node = {0xAA, 0, 0, 0, 0, 0xBB};
    std::vector<Uuid> minted;
    for (std::uint16_t seq = 0; seq < 1000; ++seq) minted.push_back(new_v6(seq, node));
    for (std::size_t i = 0; i < minted.size(); ++i) {
        const Uuid& u = minted[i];
        EXPECT_EQ(u.bytes[6] >> 4, 6);
        EXPECT_EQ(u.bytes[8] >> 6, 2);
        EXPECT_EQ(u.bytes[10], 0xAA);
        EXPECT_EQ(u.bytes[15], 0xBB);
        EXPECT_GE(v6_timestamp(u), now);
        if (i > 0) {
            EXPECT_LT(minted[i - 1], u) << i;  // rising sequence, same node
        }
    }
    // Time dominates the sequence in the order.
    EXPECT_LT(make_v6(5, 0x3FFF, node), make_v6(6, 0, node));
}

TEST(UuidV4, VersionVariantAndUniqueness) {
    std::set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        const Uuid u = new_v4();
        EXPECT_EQ(u.bytes[6] >> 4, 4);
        EXPECT_EQ(u.bytes[8] >> 6, 2);
        seen.insert(u);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

// The random bytes come from a pool: a forked child must not hand out what the parent's pool
// still holds, which the parent hands out next.
TEST(UuidV4, ForkedChildDoesNotRepeatTheParent) {
    (void)new_v4();  // the pool is filled
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::array<Uuid, 8> made;
        for (Uuid& u : made) u = new_v4();
        const bool sent = ::write(fds[1], made.data(), sizeof made) == sizeof made;
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    std::array<Uuid, 8> from_child;
    std::size_t got = 0;
    auto* bytes = reinterpret_cast<char*>(from_child.data());
    while (got < sizeof from_child) {
        const ssize_t n = ::read(fds[0], bytes + got, sizeof from_child - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(got, sizeof from_child);
    std::set<Uuid> seen(from_child.begin(), from_child.end());
    for (int i = 0; i < 8; ++i) seen.insert(new_v4());
    EXPECT_EQ(seen.size(), 16u);
}
