#include "kdinstr/utils/upgradable_rwlock.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using namespace kdinstr::utils;
using namespace std::chrono_literals;

namespace {

// Bounded wait for a condition another thread brings about; false when it never came.
template <class F>
bool eventually(F&& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace

TEST(UpgradableRwLock, RecursiveReadSucceedsWhileWriterWaits) {
    UpgradableRwLock lock;
    lock.lock_shared_recursive();

    std::atomic<bool> writer_in{false};
    auto writer = std::async(std::launch::async, [&] {
        UpgradableLock guard(lock);
        guard.upgrade();
        writer_in = true;
    });
    ASSERT_TRUE(eventually([&] { return lock.writer_waiting(); }));

    // A second read while the writer waits: must not block behind it.
    auto reader = std::async(std::launch::async, [&] {
        lock.lock_shared_recursive();
        const bool writer_was_in = writer_in;
        lock.unlock_shared();
        return writer_was_in;
    });
    ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(reader.get());
    EXPECT_FALSE(writer_in);

    lock.unlock_shared();
    ASSERT_EQ(writer.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(writer_in);
    EXPECT_EQ(lock.reader_count(), 0u);
    EXPECT_FALSE(lock.writer_waiting());
}

TEST(UpgradableRwLock, PlainReadQueuesBehindWaitingWriter) {
    UpgradableRwLock lock;
    lock.lock_shared();
    std::atomic<bool> writer_done{false};
    auto writer = std::async(std::launch::async, [&] {
        UpgradableLock guard(lock);
        guard.upgrade();
        writer_done = true;
    });
    ASSERT_TRUE(eventually([&] { return lock.writer_waiting(); }));
    auto reader = std::async(std::launch::async, [&] {
        SharedLock guard(lock, SharedLock::Mode::Plain);
        return writer_done.load();
    });
    lock.unlock_shared();
    ASSERT_EQ(writer.wait_for(10s), std::future_status::ready);
    ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(reader.get());
}

TEST(UpgradableRwLock, UpgradableCoexistsWithReadersButNotWithItself) {
    UpgradableRwLock lock;
    UpgradableLock first(lock);
    {
        SharedLock a(lock, SharedLock::Mode::Plain);
        SharedLock b(lock, SharedLock::Mode::Recursive);
        EXPECT_EQ(lock.reader_count(), 2u);
    }
    std::atomic<bool> first_released{false};
    auto second = std::async(std::launch::async, [&] {
        UpgradableLock guard(lock);
        return first_released.load();
    });
    first_released = true;
    first.unlock();
    ASSERT_EQ(second.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(second.get());
}

TEST(UpgradableRwLock, WritersExcludeEachOtherAndReaders) {
    UpgradableRwLock lock;
    long counter = 0;  // guarded by the lock only
    std::atomic<bool> torn{false};
    constexpr int threads = 8, rounds = 2000;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                if ((i + t) % 3 == 0) {
                    SharedLock guard(lock);
                    const long a = counter;
                    std::this_thread::yield();
                    if (a != counter) torn = true;
                } else if ((i + t) % 3 == 1) {
                    UpgradableLock guard(lock);
                    guard.upgrade();
                    ++counter;
                    guard.downgrade();
                } else {
                    lock.lock();
                    ++counter;
                    lock.unlock();
                }
            }
        });
    }
    for (auto& th : pool) th.join();
    long expected = 0;
    for (int t = 0; t < threads; ++t)
        for (int i = 0; i < rounds; ++i) expected += ((i + t) % 3 != 0);
    EXPECT_EQ(counter, expected);
    EXPECT_FALSE(torn);
}
