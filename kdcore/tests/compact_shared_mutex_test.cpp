#include "kdcore/utils/compact_shared_mutex.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

namespace {

using kdcore::utils::CompactSharedMutex;

TEST(CompactSharedMutex, TryLockAgainstEachHeldState) {
    struct Case {
        const char* what;
        int readers;
        bool writer;
        bool try_lock, try_lock_shared;
    };
    const std::vector<Case> cases = {
        {"free", 0, false, true, true},
        {"one reader", 1, false, false, true},
        {"two readers", 2, false, false, true},
        {"a writer", 0, true, false, false},
    };
    for (const Case& c : cases) {
        CompactSharedMutex m;
        for (int r = 0; r < c.readers; ++r) m.lock_shared();
        if (c.writer) m.lock();
        const bool locked = m.try_lock();
        EXPECT_EQ(locked, c.try_lock) << c.what;
        if (locked) m.unlock();
        const bool shared = m.try_lock_shared();
        EXPECT_EQ(shared, c.try_lock_shared) << c.what;
        if (shared) m.unlock_shared();
        for (int r = 0; r < c.readers; ++r) m.unlock_shared();
        if (c.writer) m.unlock();
        // Everything released: free again.
        ASSERT_TRUE(m.try_lock()) << c.what;
        m.unlock();
    }
}

// Writers exclude each other and readers: a reader never sees a half-made update, and no
// increment is lost. Waiters sleep and are woken by the releases.
TEST(CompactSharedMutex, WritersExcludeReadersAndEachOther) {
    CompactSharedMutex m;
    long a = 0, b = 0;
    std::atomic<bool> torn{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                std::unique_lock lock(m);
                ++a;
                ++b;
            }
        });
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                std::shared_lock lock(m);
                if (a != b) torn = true;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_FALSE(torn.load());
    EXPECT_EQ(a, 60000);
    EXPECT_EQ(b, 60000);
}

// A writer waiting for readers gets in once the last one leaves.
TEST(CompactSharedMutex, WaitingWriterEntersAfterTheLastReader) {
    CompactSharedMutex m;
    m.lock_shared();
    m.lock_shared();
    std::atomic<bool> entered{false};
    std::thread writer([&] {
        m.lock();
        entered = true;
        m.unlock();
    });
    m.unlock_shared();
    EXPECT_FALSE(m.try_lock());
    m.unlock_shared();
    writer.join();
    EXPECT_TRUE(entered.load());
    EXPECT_TRUE(m.try_lock_shared());
    m.unlock_shared();
}

}  // namespace
