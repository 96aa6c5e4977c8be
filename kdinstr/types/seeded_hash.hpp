#pragma once
// Hashing of keys that come from outside: names and identifiers of a text or a storage, type
// keys, register and block numbers. Keys chosen by an attacker must not pile into one bucket, so
// every hash here mixes the whole key with a random per-process seed. The `std::hash` of these
// keys is cheap but unseeded (that of a string has a fixed seed, that of an integer is the
// integer itself), so a crafted set of keys shares one value or one bucket offline; a table
// keyed by input uses these instead. Seeding a fixed hash's value afterwards would not do:
// keys whose unseeded values are equal stay equal.
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::types {

// Seeded 64-bit hash of a UUID; differs between processes.
struct SeededUuidHash {
    std::size_t operator()(const utils::Uuid& uuid) const noexcept;
};

// Seeded 64-bit hash of a `Typeref`: that of its UUID.
struct SeededTyperefHash {
    std::size_t operator()(const Typeref& ref) const noexcept { return SeededUuidHash{}(ref.uuid); }
};

// Seeded remix of a 64-bit value (content hashes are fixed and known, so table slots must not be
// taken from them directly).
struct SeededU64Hash {
    std::size_t operator()(std::uint64_t value) const noexcept;
};

// Seeded 64-bit hash of a byte string. Transparent: a table of strings may be searched by view.
struct SeededStringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
};

// The seeded hash of a key type, for tables generic in their key.
template <typename Key>
struct SeededHash;

template <std::integral Key>
struct SeededHash<Key> {
    std::size_t operator()(Key key) const noexcept {
        return SeededU64Hash{}(static_cast<std::uint64_t>(key));
    }
};
template <>
struct SeededHash<utils::Uuid> : SeededUuidHash {};
template <>
struct SeededHash<Typeref> : SeededTyperefHash {};
template <>
struct SeededHash<std::string> : SeededStringHash {};
template <>
struct SeededHash<std::string_view> : SeededStringHash {};

}  // namespace kdinstr::types
