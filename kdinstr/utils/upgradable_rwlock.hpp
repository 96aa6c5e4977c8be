#pragma once
// A reader-writer lock with upgradable reads. Readers in the recursive mode are not held back by
// a waiting writer while any reader is inside, so a thread that already reads can read again even
// when a writer queues behind it (a writer-preferring lock would deadlock that thread).
//
// Modes:
//  - shared (plain): waits while a writer holds the lock or waits for it;
//  - shared (recursive): waits only while a writer holds the lock, or waits with no reader inside;
//  - upgradable: one holder at a time, alongside any number of shared readers;
//  - exclusive: reached by `upgrade` from upgradable (waits until every shared reader has left,
//    the caller's own ones included: a thread must not upgrade while it holds a shared read), or
//    directly by `lock`.
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace kdinstr::utils {

class UpgradableRwLock {
  public:
    UpgradableRwLock() = default;
    UpgradableRwLock(const UpgradableRwLock&) = delete;
    UpgradableRwLock& operator=(const UpgradableRwLock&) = delete;

    void lock_shared();
    void lock_shared_recursive();
    void unlock_shared();

    void lock_upgradable();
    void unlock_upgradable();
    // Upgradable -> exclusive.
    void upgrade();
    // Exclusive (reached by `upgrade`) -> upgradable.
    void downgrade_to_upgradable();

    void lock();
    void unlock();

    // Observers, for tests and diagnostics only: the answer may be stale at once.
    bool writer_waiting() const;
    std::size_t reader_count() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t readers_ = 0;
    bool upgradable_ = false;
    bool writer_ = false;
    std::size_t writers_waiting_ = 0;
};

// RAII shared hold.
class SharedLock {
  public:
    enum class Mode { Plain, Recursive };
    explicit SharedLock(UpgradableRwLock& lock, Mode mode = Mode::Recursive);
    SharedLock(SharedLock&& other) noexcept;
    SharedLock& operator=(SharedLock&&) = delete;
    SharedLock(const SharedLock&) = delete;
    ~SharedLock();
    void unlock();

  private:
    UpgradableRwLock* lock_;
};

// RAII upgradable hold, which may be upgraded and downgraded again; releases whatever it holds.
class UpgradableLock {
  public:
    explicit UpgradableLock(UpgradableRwLock& lock);
    UpgradableLock(const UpgradableLock&) = delete;
    UpgradableLock& operator=(const UpgradableLock&) = delete;
    ~UpgradableLock();
    void upgrade();
    void downgrade();
    void unlock();
    bool exclusive() const { return exclusive_; }

  private:
    UpgradableRwLock* lock_;
    bool exclusive_ = false;
};

}  // namespace kdinstr::utils
