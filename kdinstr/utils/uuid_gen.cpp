#include "kdinstr/utils/uuid_gen.hpp"

#include <pthread.h>
#include <sys/random.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::utils {

namespace {
// 100-ns intervals from 1582-10-15 (the Gregorian reform) to 1970-01-01.
constexpr std::uint64_t GREGORIAN_TO_UNIX = 0x01B21DD213814000ull;
constexpr std::uint64_t TIMESTAMP_MASK = (std::uint64_t{1} << 60) - 1;
// A large text mints a version-4 UUID for every function it defines: their random bytes come
// from a per-thread pool that one call of the random source refills, not one call each.
struct RandomPool {
    static constexpr std::size_t kBytes = 4096;
    std::array<std::uint8_t, kBytes> bytes{};
    std::size_t next = kBytes;  // bytes before this one are used
};

thread_local std::unique_ptr<RandomPool> pool;

// A child of fork must not repeat what its parent's pool still holds: the parent hands those
// bytes out too. The child has only the thread that forked, whose pool is the one to drop.
void drop_pool_in_child() {
    if (pool) pool->next = RandomPool::kBytes;
}

RandomPool& thread_pool() {
    static const int registered = ::pthread_atfork(nullptr, nullptr, &drop_pool_in_child);
    if (registered != 0) panic("cannot register the random pool's fork handler ({})", registered);
    if (!pool) pool = std::make_unique<RandomPool>();
    return *pool;
}

void pooled_random_bytes(std::span<std::uint8_t> out) {
    RandomPool& p = thread_pool();
    if (RandomPool::kBytes - p.next < out.size()) {
        random_bytes(p.bytes);
        p.next = 0;
    }
    std::memcpy(out.data(), p.bytes.data() + p.next, out.size());
    p.next += out.size();
}

}  // namespace

void random_bytes(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = getrandom(out.data() + done, out.size() - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            panic("the operating system's random source failed (errno {})", errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

std::uint16_t random_u16() {
    std::array<std::uint8_t, 2> b{};
    random_bytes(b);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

Uuid new_v4() {
    Uuid u;
    pooled_random_bytes(u.bytes);
    u.bytes[6] = static_cast<std::uint8_t>((u.bytes[6] & 0x0F) | 0x40);
    u.bytes[8] = static_cast<std::uint8_t>((u.bytes[8] & 0x3F) | 0x80);
    return u;
}

std::uint64_t uuid_timestamp_now() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks =
        std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
            since_epoch)
            .count();
    return (static_cast<std::uint64_t>(ticks) + GREGORIAN_TO_UNIX) & TIMESTAMP_MASK;
}

Uuid make_v6(std::uint64_t timestamp, std::uint16_t clock_seq,
             const std::array<std::uint8_t, 6>& node) {
    timestamp &= TIMESTAMP_MASK;
    const std::uint64_t high48 = timestamp >> 12;  // time_high (32) + time_mid (16)
    const std::uint16_t low12 = static_cast<std::uint16_t>(timestamp & 0x0FFF);
    const std::uint16_t seq = clock_seq & 0x3FFF;
    Uuid u;
    for (int i = 0; i < 6; ++i) u.bytes[i] = static_cast<std::uint8_t>(high48 >> (8 * (5 - i)));
    u.bytes[6] = static_cast<std::uint8_t>(0x60 | (low12 >> 8));
    u.bytes[7] = static_cast<std::uint8_t>(low12 & 0xFF);
    u.bytes[8] = static_cast<std::uint8_t>(0x80 | (seq >> 8));
    u.bytes[9] = static_cast<std::uint8_t>(seq & 0xFF);
    for (int i = 0; i < 6; ++i) u.bytes[10 + i] = node[i];
    return u;
}

Uuid new_v6(std::uint16_t clock_seq, const std::array<std::uint8_t, 6>& node) {
    return make_v6(uuid_timestamp_now(), clock_seq, node);
}

std::uint64_t v6_timestamp(const Uuid& uuid) {
    std::uint64_t high48 = 0;
    for (int i = 0; i < 6; ++i) high48 = (high48 << 8) | uuid.bytes[i];
    const std::uint64_t low12 =
        (static_cast<std::uint64_t>(uuid.bytes[6] & 0x0F) << 8) | uuid.bytes[7];
    return (high48 << 12) | low12;
}

}  // namespace kdinstr::utils
