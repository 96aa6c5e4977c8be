#pragma once
// Generation of UUIDs: version 4 (random) and version 6 (time-ordered, RFC 9562).
#include <array>
#include <cstdint>
#include <span>

#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::utils {

// Fills `out` from the operating system's random source.
void random_bytes(std::span<std::uint8_t> out);
std::uint16_t random_u16();

// Version 4: 122 random bits, version nibble 4, RFC 9562 variant. The bits come from a
// per-thread pool of the random source's bytes, which a forked child does not inherit.
Uuid new_v4();

// The 60-bit count of 100-ns intervals from 1582-10-15 00:00:00 UTC to now (wall clock).
std::uint64_t uuid_timestamp_now();

// Version 6 from its parts: `timestamp` (low 60 bits used) most significant first, version
// nibble 6, RFC 9562 variant, `clock_seq` (low 14 bits used), `node` copied unchanged.
Uuid make_v6(std::uint64_t timestamp, std::uint16_t clock_seq,
             const std::array<std::uint8_t, 6>& node);
// make_v6 with the wall clock read now.
Uuid new_v6(std::uint16_t clock_seq, const std::array<std::uint8_t, 6>& node);

// The timestamp field of a version-6 UUID.
std::uint64_t v6_timestamp(const Uuid& uuid);

}  // namespace kdinstr::utils
