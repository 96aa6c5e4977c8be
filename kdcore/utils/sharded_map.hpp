#pragma once
// A concurrent hash map split into shards, each behind its own reader-writer lock. The shard
// count is four times the number of available processors rounded up to a power of two, so
// that threads touching different keys rarely meet on one lock.
#include <bit>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kdinstr/types/seeded_hash.hpp"

namespace kdcore::utils {

std::size_t default_shard_count();

// Keys are seeded-hashed by default: the identifiers held here come from outside.
template <typename Key, typename Value, typename Hash = kdinstr::types::SeededHash<Key>>
class ShardedMap {
  public:
    ShardedMap() : ShardedMap(default_shard_count()) {}
    explicit ShardedMap(std::size_t shard_count)
        : shards_(std::bit_ceil(shard_count < 1 ? std::size_t{1} : shard_count)) {}

    ShardedMap(const ShardedMap&) = delete;
    ShardedMap& operator=(const ShardedMap&) = delete;

    std::size_t shard_count() const { return shards_.size(); }

    // Room for about `entries` entries in all, spread as the hash spreads keys, so that filling
    // the map with them rehashes no shard (or, for an unlucky shard, once).
    void reserve(std::size_t entries) {
        const std::size_t per_shard = entries / shards_.size();
        // A shard's share strays from the mean by a few square roots of it.
        const std::size_t room = per_shard + per_shard / 8 + 8;
        for (Shard& shard : shards_) {
            std::unique_lock lock(shard.mutex);
            shard.map.reserve(room);
        }
    }

    // Stores `value` under `key`; returns the value it replaced, if any.
    std::optional<Value> insert(Key key, Value value) {
        Shard& shard = shard_for(key);
        std::unique_lock lock(shard.mutex);
        // One lookup: try_emplace leaves `key` and `value` untouched when the key is present.
        auto [it, inserted] = shard.map.try_emplace(std::move(key), std::move(value));
        if (inserted) return std::nullopt;
        std::optional<Value> old = std::move(it->second);
        it->second = std::move(value);
        return old;
    }

    // Calls `f(const Value&)` under the shard's read lock; false when the key is absent.
    template <typename F>
    bool read(const Key& key, F&& f) const {
        const Shard& shard = shard_for(key);
        std::shared_lock lock(shard.mutex);
        auto it = shard.map.find(key);
        if (it == shard.map.end()) return false;
        f(it->second);
        return true;
    }

    // A copy of the value under `key`.
    std::optional<Value> get(const Key& key) const {
        std::optional<Value> out;
        read(key, [&](const Value& v) { out = v; });
        return out;
    }

    bool contains(const Key& key) const {
        const Shard& shard = shard_for(key);
        std::shared_lock lock(shard.mutex);
        return shard.map.contains(key);
    }

    std::optional<Value> remove(const Key& key) {
        Shard& shard = shard_for(key);
        std::unique_lock lock(shard.mutex);
        auto it = shard.map.find(key);
        if (it == shard.map.end()) return std::nullopt;
        std::optional<Value> out = std::move(it->second);
        shard.map.erase(it);
        return out;
    }

    std::size_t size() const {
        std::size_t n = 0;
        for (const Shard& shard : shards_) {
            std::shared_lock lock(shard.mutex);
            n += shard.map.size();
        }
        return n;
    }
    bool empty() const { return size() == 0; }

    // Visits every entry, one shard at a time under its read lock; the order is unspecified.
    template <typename F>
    void for_each(F&& f) const {
        for (const Shard& shard : shards_) {
            std::shared_lock lock(shard.mutex);
            for (const auto& [k, v] : shard.map) f(k, v);
        }
    }

  private:
    struct Shard {
        mutable std::shared_mutex mutex;
        std::unordered_map<Key, Value, Hash> map;
    };

    std::size_t index_for(const Key& key) const { return Hash{}(key) & (shards_.size() - 1); }
    Shard& shard_for(const Key& key) { return shards_[index_for(key)]; }
    const Shard& shard_for(const Key& key) const { return shards_[index_for(key)]; }

    std::vector<Shard> shards_;
};

}  // namespace kdcore::utils
