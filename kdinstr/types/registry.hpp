#pragma once
// Content-addressed store of IR types: one `Typeref` per distinct type value.
//
// Thread safety: any number of threads may use one registry at once. The types map and the hash
// index each sit behind an `UpgradableRwLock` (types first, released last). Lookups (`get`,
// `read`, `fmt`, `len`, and the other side of `merge_with`) take recursive shared reads, which a
// waiting writer does not hold back, so a thread that holds a view can look up again.
//
// RULE: a thread that holds a `ReadView` (or is inside a text adapter) of a registry must not call
// `search_or_insert` or `merge_with` on that same registry until it has dropped the view: storing
// a new type upgrades to the write lock, which waits for every reader, the caller's own included.
//
// A registry only grows. Moving a registry is allowed only while no other thread uses it; a
// moved-from registry is empty.
#include <fmt/format.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/upgradable_rwlock.hpp"

namespace kdinstr::types {

class TypeRegistry;

// Registry entries as a decoder reads them, gathered before they become a registry (see the
// `TypeRegistry` constructor that takes them). A repeated `Typeref` keeps its later type in
// place, so repeats cost no memory and no index work; the hash index is built once at the end.
class DecodedTypes {
  public:
    DecodedTypes() = default;
    DecodedTypes(DecodedTypes&&) = default;
    DecodedTypes& operator=(DecodedTypes&&) = default;

    // Stores `value` under `ref` as it comes, with no check of any kind.
    void add(const Typeref& ref, AnyType value);
    // Distinct `Typeref`s added so far.
    std::size_t size() const { return types_.size(); }

  private:
    friend class TypeRegistry;
    TypeMap types_;
    // Stored entries in the order they were first added, with the number of that add.
    std::vector<std::pair<std::uint64_t, const TypeMap::value_type*>> first_added_;
    // Entries whose repetition changed the type's content hash, with the number of the add
    // that did it: they are listed in the index as if first added then.
    std::map<const TypeMap::value_type*, std::uint64_t> relisted_;
    std::uint64_t adds_ = 0;
};

// Text adapter for the type a `Typeref` names in a registry; takes the registry's read lock while
// it writes. Text: the type's text; the wildcard's letter for a wildcard `Typeref`;
// "<unknown type {}>" with the UUID text for an identifier the registry does not hold.
struct TypeRegistryFmt {
    const TypeRegistry& registry;
    Typeref ref;
    std::string to_string() const;
};

// A merge that could not finish: these entries of the other registry (ascending `Typeref` order)
// refer to a `Typeref` that is neither a wildcard nor held by that registry, or to one another in
// a cycle. Types merged before the stop stay in the target registry.
struct MergeError {
    std::vector<Typeref> unresolved;

    bool operator==(const MergeError&) const = default;

    // "cannot merge type registry: unresolvable types (an element neither stored nor a wildcard,
    // or a cycle): [{}]" with the UUID texts joined by ", ".
    std::string message() const;
};

class TypeRegistry {
  public:
    using NodeId = std::array<std::uint8_t, 6>;

    // A held read lock on the types map, giving direct access to it. See the RULE above.
    class ReadView {
      public:
        const TypeMap& types() const { return *types_; }
        // The stored type, or nullptr (always for a wildcard `Typeref`).
        const AnyType* find(const Typeref& ref) const;
        // The registry adapter's text, without taking the lock again.
        std::string text(const Typeref& ref) const;
        void release() { lock_.unlock(); }

      private:
        friend class TypeRegistry;
        ReadView(utils::UpgradableRwLock& lock, const TypeMap& types);
        utils::SharedLock lock_;
        const TypeMap* types_;
    };

    // Both maps empty; minting starts at `clock_seq_start` and writes `node_id` into every minted
    // `Typeref`.
    explicit TypeRegistry(std::uint16_t clock_seq_start = 0, NodeId node_id = {});
    // Holds the decoded entries as `insert_decoded` would have stored them one after another, in
    // time linear in their number.
    TypeRegistry(DecodedTypes decoded, std::uint16_t clock_seq_start, NodeId node_id);
    TypeRegistry(TypeRegistry&& other);
    TypeRegistry& operator=(TypeRegistry&& other);
    TypeRegistry(const TypeRegistry&) = delete;
    TypeRegistry& operator=(const TypeRegistry&) = delete;
    ~TypeRegistry();

    // The `Typeref` of an equal stored type, or a freshly minted version-6 one under which the
    // value is now stored. A wildcard type gives its reserved `Typeref` at once, storing nothing.
    // Never fails.
    Typeref search_or_insert(AnyType value);

    // A copy of the stored type; none for an identifier not held and for any wildcard `Typeref`.
    std::optional<AnyType> get(const Typeref& ref) const;
    // Holds the types map read-locked until the view is dropped.
    ReadView read() const;
    // Number of stored types.
    std::size_t len() const;
    // Text adapter (see TypeRegistryFmt).
    TypeRegistryFmt fmt(const Typeref& ref) const { return TypeRegistryFmt{*this, ref}; }

    // Interns every type of `other` into this registry, element types before the aggregates that
    // use them, and returns the map from each of other's `Typeref`s to this registry's one.
    // The types are interned in the order of repeated passes over other's entries in `Typeref`
    // order, each pass taking every entry whose elements are mapped by then; the order is
    // computed up front, so the work is linear in the size of `other` whatever its shape.
    // `other` is only read (a snapshot is taken first, so merging a registry into itself or two
    // registries into each other at once cannot deadlock). Ends with MergeError when some
    // entries can never become ready; the others are interned first.
    std::expected<std::map<Typeref, Typeref>, MergeError> merge_with(const TypeRegistry& other);

    // Stores `value` under `ref` as it comes and lists it in the hash index, with no check of any
    // kind. A repeated `ref` keeps the later value; it stays where it was listed when the value's
    // content hash is unchanged and is listed anew otherwise (no stale entry is left behind).
    // For registries built by hand; a decoder gathers `DecodedTypes`, which stays linear when
    // many `Typeref`s with one value are relisted.
    void insert_decoded(const Typeref& ref, AnyType value);

    // The next clock sequence value minting will use, and the node id.
    std::uint16_t clock_sequence() const;
    NodeId node_id() const;

  private:
    struct State;
    Typeref mint();
    std::unique_ptr<State> state_;
};

}  // namespace kdinstr::types

template <>
struct fmt::formatter<kdinstr::types::TypeRegistryFmt> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::types::TypeRegistryFmt& f, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(f.to_string(), ctx);
    }
};

template <>
struct fmt::formatter<kdinstr::types::MergeError> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::types::MergeError& e, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(e.message(), ctx);
    }
};
