#include "kdinstr/types/registry.hpp"

#include <utility>

#include "kdinstr/utils/uuid_gen.hpp"

namespace kdinstr::types {

namespace {

// The Typerefs listed under one hash, in the order they were added; the common single entry
// needs no allocation.
class HashBucket {
  public:
    explicit HashBucket(const Typeref& first) : first_(first) {}
    void push(const Typeref& ref) { rest_.push_back(ref); }
    template <class F>
    const Typeref* find_if(F&& pred) const {
        if (pred(first_)) return &first_;
        for (const auto& ref : rest_) {
            if (pred(ref)) return &ref;
        }
        return nullptr;
    }

  private:
    Typeref first_;
    std::vector<Typeref> rest_;
};

template <class F>
void for_each_inner(const AnyType& type, F&& f) {
    if (const auto* a = type.as_array()) {
        f(a->element);
    } else if (const auto* s = type.as_struct()) {
        for (const auto& e : s->elements) f(e);
    }
}

}  // namespace

struct TypeRegistry::State {
    State(std::uint16_t clock_seq_start, NodeId node_id)
        : clock_seq(clock_seq_start), node(node_id) {}

    utils::UpgradableRwLock types_lock;
    TypeMap types;
    utils::UpgradableRwLock inverse_lock;
    std::map<std::uint64_t, HashBucket> inverse;
    std::atomic<std::uint16_t> clock_seq;
    NodeId node;
};

std::string TypeRegistryFmt::to_string() const { return registry.read().text(ref); }

std::string MergeError::message() const {
    std::string list;
    for (std::size_t i = 0; i < unresolved.size(); ++i) {
        if (i > 0) list += ", ";
        list += unresolved[i].to_string();
    }
    return fmt::format(
        "cannot merge type registry: unresolvable types (an element neither stored nor a "
        "wildcard, or a cycle): [{}]",
        list);
}

TypeRegistry::ReadView::ReadView(utils::UpgradableRwLock& lock, const TypeMap& types)
    : lock_(lock, utils::SharedLock::Mode::Recursive), types_(&types) {}

const AnyType* TypeRegistry::ReadView::find(const Typeref& ref) const {
    if (ref.is_wildcard()) return nullptr;
    auto it = types_->find(ref);
    return it == types_->end() ? nullptr : &it->second;
}

std::string TypeRegistry::ReadView::text(const Typeref& ref) const {
    return type_text(*types_, ref);
}

TypeRegistry::TypeRegistry(std::uint16_t clock_seq_start, NodeId node_id)
    : state_(std::make_unique<State>(clock_seq_start, node_id)) {}

TypeRegistry::TypeRegistry(TypeRegistry&& other)
    : state_(std::exchange(other.state_, std::make_unique<State>(0, NodeId{}))) {}

TypeRegistry& TypeRegistry::operator=(TypeRegistry&& other) {
    if (this != &other) state_ = std::exchange(other.state_, std::make_unique<State>(0, NodeId{}));
    return *this;
}

TypeRegistry::~TypeRegistry() = default;

Typeref TypeRegistry::mint() {
    const std::uint16_t seq = state_->clock_seq.fetch_add(1, std::memory_order_relaxed);
    return Typeref{utils::new_v6(seq, state_->node)};
}

Typeref TypeRegistry::search_or_insert(AnyType value) {
    if (auto index = value.wildcard_index()) return Typeref::wildcard(*index);

    const std::uint64_t hash = content_hash(value);
    State& s = *state_;
    // Declaration order makes the inverse lock go first and the types lock last.
    utils::UpgradableLock types_guard(s.types_lock);
    utils::UpgradableLock inverse_guard(s.inverse_lock);

    auto bucket = s.inverse.find(hash);
    if (bucket != s.inverse.end()) {
        const Typeref* found = bucket->second.find_if([&](const Typeref& ref) {
            auto it = s.types.find(ref);
            return it != s.types.end() && it->second == value;
        });
        if (found != nullptr) return *found;
    }

    types_guard.upgrade();
    inverse_guard.upgrade();
    // A clock that stepped back could repeat an identifier; a stored type must never change.
    Typeref ref = mint();
    while (s.types.contains(ref) || ref.is_wildcard()) ref = mint();
    if (bucket != s.inverse.end()) {
        bucket->second.push(ref);
    } else {
        s.inverse.emplace(hash, HashBucket(ref));
    }
    s.types.emplace(ref, std::move(value));
    inverse_guard.downgrade();
    types_guard.downgrade();
    return ref;
}

std::optional<AnyType> TypeRegistry::get(const Typeref& ref) const {
    if (ref.is_wildcard()) return std::nullopt;
    utils::SharedLock guard(state_->types_lock, utils::SharedLock::Mode::Recursive);
    auto it = state_->types.find(ref);
    if (it == state_->types.end()) return std::nullopt;
    return it->second;
}

TypeRegistry::ReadView TypeRegistry::read() const {
    return ReadView(state_->types_lock, state_->types);
}

std::size_t TypeRegistry::len() const {
    // Recursive as well: a caller that holds a view may ask for the size while a writer waits.
    utils::SharedLock guard(state_->types_lock, utils::SharedLock::Mode::Recursive);
    return state_->types.size();
}

std::expected<std::map<Typeref, Typeref>, MergeError> TypeRegistry::merge_with(
    const TypeRegistry& other) {
    // Types never change once stored, so a snapshot is as good as holding the lock throughout,
    // and interning below cannot wait for our own read of `other` (self-merge, crossed merges).
    std::vector<std::pair<Typeref, AnyType>> pending;
    {
        auto view = other.read();
        pending.assign(view.types().begin(), view.types().end());
    }

    std::map<Typeref, Typeref> mapping;
    const auto ready = [&](const AnyType& type) {
        bool ok = true;
        for_each_inner(
            type, [&](const Typeref& r) { ok = ok && (r.is_wildcard() || mapping.contains(r)); });
        return ok;
    };
    const auto rewrite = [&](Typeref& r) {
        if (r.is_wildcard()) return;
        if (auto it = mapping.find(r); it != mapping.end()) r = it->second;
    };

    while (!pending.empty()) {
        std::vector<std::pair<Typeref, AnyType>> waiting;
        for (auto& [old_ref, type] : pending) {
            if (!ready(type)) {
                waiting.emplace_back(old_ref, std::move(type));
                continue;
            }
            if (auto* a = std::get_if<AnyType::Array>(&type.value)) {
                rewrite(a->element);
            } else if (auto* st = std::get_if<AnyType::Struct>(&type.value)) {
                for (auto& e : st->elements) rewrite(e);
            }
            mapping[old_ref] = search_or_insert(std::move(type));
        }
        if (waiting.size() == pending.size()) {
            MergeError error;
            for (const auto& entry : waiting) error.unresolved.push_back(entry.first);
            return std::unexpected(std::move(error));
        }
        pending = std::move(waiting);
    }
    return mapping;
}

void TypeRegistry::insert_decoded(const Typeref& ref, AnyType value) {
    State& s = *state_;
    const std::uint64_t hash = content_hash(value);
    s.types_lock.lock();
    s.inverse_lock.lock();
    s.types.insert_or_assign(ref, std::move(value));
    if (auto bucket = s.inverse.find(hash); bucket != s.inverse.end()) {
        bucket->second.push(ref);
    } else {
        s.inverse.emplace(hash, HashBucket(ref));
    }
    s.inverse_lock.unlock();
    s.types_lock.unlock();
}

std::uint16_t TypeRegistry::clock_sequence() const {
    return state_->clock_seq.load(std::memory_order_relaxed);
}

TypeRegistry::NodeId TypeRegistry::node_id() const { return state_->node; }

}  // namespace kdinstr::types
