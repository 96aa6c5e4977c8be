#pragma once
// A reader-writer lock in four bytes, for records held by the million (one per loaded
// function) whose lock is rarely or never taken: std::shared_mutex takes 56. Readers are not
// held back by a waiting writer. Waiting sleeps on the word itself (futex-backed atomic wait),
// and releasing wakes nobody when nobody waits.
#include <atomic>
#include <cstdint>

namespace kdcore::utils {

class CompactSharedMutex {
  public:
    CompactSharedMutex() = default;
    CompactSharedMutex(const CompactSharedMutex&) = delete;
    CompactSharedMutex& operator=(const CompactSharedMutex&) = delete;

    void lock() {
        std::uint32_t seen = kFree;
        while (!state_.compare_exchange_weak(seen, kWriter, std::memory_order_acquire,
                                             std::memory_order_relaxed)) {
            if (seen != kFree) state_.wait(seen, std::memory_order_relaxed);
            seen = kFree;
        }
    }
    bool try_lock() {
        std::uint32_t seen = kFree;
        return state_.compare_exchange_strong(seen, kWriter, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    void unlock() {
        state_.store(kFree, std::memory_order_release);
        state_.notify_all();
    }

    void lock_shared() {
        std::uint32_t seen = state_.load(std::memory_order_relaxed);
        for (;;) {
            if (seen == kWriter) {
                state_.wait(seen, std::memory_order_relaxed);
                seen = state_.load(std::memory_order_relaxed);
            } else if (state_.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire,
                                                    std::memory_order_relaxed)) {
                return;
            }
        }
    }
    bool try_lock_shared() {
        std::uint32_t seen = state_.load(std::memory_order_relaxed);
        while (seen != kWriter)
            if (state_.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire,
                                             std::memory_order_relaxed))
                return true;
        return false;
    }
    void unlock_shared() {
        // The last reader out lets a waiting writer in.
        if (state_.fetch_sub(1, std::memory_order_release) == 1) state_.notify_all();
    }

  private:
    // Free, a count of readers, or held by a writer.
    static constexpr std::uint32_t kFree = 0;
    static constexpr std::uint32_t kWriter = UINT32_MAX;
    std::atomic<std::uint32_t> state_{kFree};
};

}  // namespace kdcore::utils
