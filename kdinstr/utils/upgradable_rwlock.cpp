#include "kdinstr/utils/upgradable_rwlock.hpp"

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::utils {

void UpgradableRwLock::lock_shared() {
    std::unique_lock guard(mutex_);
    changed_.wait(guard, [&] { return !writer_ && writers_waiting_ == 0; });
    ++readers_;
}

void UpgradableRwLock::lock_shared_recursive() {
    std::unique_lock guard(mutex_);
    // A waiting writer cannot get in before the readers inside leave, so joining them is safe;
    // with nobody inside, let the writer go first.
    changed_.wait(guard, [&] { return !writer_ && (writers_waiting_ == 0 || readers_ > 0); });
    ++readers_;
}

void UpgradableRwLock::unlock_shared() {
    std::lock_guard guard(mutex_);
    if (readers_ == 0) panic("UpgradableRwLock: shared unlock without a shared hold");
    --readers_;
    if (readers_ == 0) changed_.notify_all();
}

void UpgradableRwLock::lock_upgradable() {
    std::unique_lock guard(mutex_);
    changed_.wait(guard, [&] { return !writer_ && !upgradable_ && writers_waiting_ == 0; });
    upgradable_ = true;
}

void UpgradableRwLock::unlock_upgradable() {
    std::lock_guard guard(mutex_);
    if (!upgradable_) panic("UpgradableRwLock: upgradable unlock without an upgradable hold");
    upgradable_ = false;
    changed_.notify_all();
}

void UpgradableRwLock::upgrade() {
    std::unique_lock guard(mutex_);
    if (!upgradable_) panic("UpgradableRwLock: upgrade without an upgradable hold");
    ++writers_waiting_;
    changed_.notify_all();  // plain readers re-check and now queue behind us
    changed_.wait(guard, [&] { return readers_ == 0; });
    --writers_waiting_;
    upgradable_ = false;
    writer_ = true;
}

void UpgradableRwLock::downgrade_to_upgradable() {
    std::lock_guard guard(mutex_);
    if (!writer_) panic("UpgradableRwLock: downgrade without an exclusive hold");
    writer_ = false;
    upgradable_ = true;
    changed_.notify_all();
}

void UpgradableRwLock::lock() {
    std::unique_lock guard(mutex_);
    changed_.wait(guard, [&] { return !writer_ && !upgradable_ && writers_waiting_ == 0; });
    ++writers_waiting_;
    changed_.wait(guard, [&] { return readers_ == 0; });
    --writers_waiting_;
    writer_ = true;
}

void UpgradableRwLock::unlock() {
    std::lock_guard guard(mutex_);
    if (!writer_) panic("UpgradableRwLock: exclusive unlock without an exclusive hold");
    writer_ = false;
    changed_.notify_all();
}

bool UpgradableRwLock::writer_waiting() const {
    std::lock_guard guard(mutex_);
    return writers_waiting_ > 0;
}

std::size_t UpgradableRwLock::reader_count() const {
    std::lock_guard guard(mutex_);
    return readers_;
}

SharedLock::SharedLock(UpgradableRwLock& lock, Mode mode) : lock_(&lock) {
    if (mode == Mode::Plain) {
        lock.lock_shared();
    } else {
        lock.lock_shared_recursive();
    }
}

SharedLock::SharedLock(SharedLock&& other) noexcept : lock_(other.lock_) { other.lock_ = nullptr; }

SharedLock::~SharedLock() { unlock(); }

void SharedLock::unlock() {
    if (lock_ != nullptr) {
        lock_->unlock_shared();
        lock_ = nullptr;
    }
}

UpgradableLock::UpgradableLock(UpgradableRwLock& lock) : lock_(&lock) { lock.lock_upgradable(); }

UpgradableLock::~UpgradableLock() { unlock(); }

void UpgradableLock::upgrade() {
    if (lock_ != nullptr && !exclusive_) {
        lock_->upgrade();
        exclusive_ = true;
    }
}

void UpgradableLock::downgrade() {
    if (lock_ != nullptr && exclusive_) {
        lock_->downgrade_to_upgradable();
        exclusive_ = false;
    }
}

void UpgradableLock::unlock() {
    if (lock_ == nullptr) return;
    if (exclusive_) {
        lock_->unlock();
    } else {
        lock_->unlock_upgradable();
    }
    lock_ = nullptr;
    exclusive_ = false;
}

}  // namespace kdinstr::utils
