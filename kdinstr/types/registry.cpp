#include "kdinstr/types/registry.hpp"

#include <algorithm>
#include <utility>

#include "kdinstr/types/type_hash_index.hpp"
#include "kdinstr/types/typeref_index.hpp"
#include "kdinstr/utils/panic.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace kdinstr::types {

namespace {

using Stored = TypeMap::value_type;

// The order in which a merge interns the entries of the other registry (in `Typeref` order, as
// numbered here): that of passes over the entries, repeated while a pass merges something, each
// taking every entry whose elements are mapped by the time it is reached. It is computed from
// the dependencies, in time linear in the entries and their elements.
struct MergePlan {
    static constexpr std::uint32_t kMissing = UINT32_MAX;
    // Per entry, the number of each element that is not a wildcard, in the type's order
    // (kMissing for one the registry does not hold): entry i's are
    // elements[elements_begin[i] .. elements_begin[i + 1]).
    std::vector<std::size_t> elements_begin;
    std::vector<std::uint32_t> elements;
    // The entries to intern, in order; the others never become ready.
    std::vector<std::uint32_t> order;
    std::vector<bool> merged;
};

MergePlan plan_merge(const std::vector<std::pair<Typeref, AnyType>>& entries) {
    const std::size_t n = entries.size();
    if (n >= MergePlan::kMissing) utils::panic("cannot merge a registry of {} types", n);
    MergePlan plan;

    TyperefIndex number(n);
    for (std::size_t i = 0; i < n; ++i)
        number.insert(entries[i].first, static_cast<std::uint32_t>(i));
    plan.elements_begin.assign(n + 1, 0);
    std::vector<std::size_t> waiters_begin(n + 2, 0);
    for (std::size_t i = 0; i < n; ++i) {
        entries[i].second.for_each_element([&](const Typeref& ref) {
            if (ref.is_wildcard()) return;
            const std::uint32_t at = number.find(ref).value_or(MergePlan::kMissing);
            plan.elements.push_back(at);
            if (at != MergePlan::kMissing) ++waiters_begin[at + 2];
        });
        plan.elements_begin[i + 1] = plan.elements.size();
    }

    // Who waits for whom, once per reference: entry d's waiters are
    // waiters[waiters_begin[d] .. waiters_begin[d + 1]).
    for (std::size_t d = 2; d < waiters_begin.size(); ++d) waiters_begin[d] += waiters_begin[d - 1];
    std::vector<std::uint32_t> waiters(waiters_begin[n + 1]);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = plan.elements_begin[i]; k < plan.elements_begin[i + 1]; ++k) {
            const std::uint32_t at = plan.elements[k];
            if (at != MergePlan::kMissing)
                waiters[waiters_begin[at + 1]++] = static_cast<std::uint32_t>(i);
        }
    }

    // The pass that merges an entry is the first one that finds every element mapped. An element
    // merged in pass p is mapped in that same pass for the entries after it, and from pass p + 1
    // on for those before it. Entries whose waiting never ends (an element that is not held, a
    // cycle) get no pass.
    std::vector<std::uint32_t> waiting(n);
    std::vector<std::uint32_t> pass(n, 1);
    std::vector<std::uint32_t> ready;
    ready.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        waiting[i] =
            static_cast<std::uint32_t>(plan.elements_begin[i + 1] - plan.elements_begin[i]);
        if (waiting[i] == 0) ready.push_back(static_cast<std::uint32_t>(i));
    }
    std::uint32_t last_pass = 1;
    for (std::size_t next = 0; next < ready.size(); ++next) {
        const std::uint32_t done = ready[next];
        last_pass = std::max(last_pass, pass[done]);
        for (std::size_t k = waiters_begin[done]; k < waiters_begin[done + 1]; ++k) {
            const std::uint32_t waiter = waiters[k];
            pass[waiter] = std::max(pass[waiter], pass[done] + (done > waiter ? 1u : 0u));
            if (--waiting[waiter] == 0) ready.push_back(waiter);
        }
    }

    // Passes in order, the entries of one pass in `Typeref` order.
    std::vector<std::size_t> pass_begin(static_cast<std::size_t>(last_pass) + 2, 0);
    for (const std::uint32_t i : ready) ++pass_begin[pass[i] + 1];
    for (std::size_t p = 1; p < pass_begin.size(); ++p) pass_begin[p] += pass_begin[p - 1];
    plan.order.resize(ready.size());
    plan.merged.assign(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        if (waiting[i] != 0) continue;
        plan.order[pass_begin[pass[i]]++] = static_cast<std::uint32_t>(i);
        plan.merged[i] = true;
    }
    return plan;
}

}  // namespace

struct TypeRegistry::State {
    State(std::uint16_t clock_seq_start, NodeId node_id)
        : clock_seq(clock_seq_start), node(node_id) {}

    utils::UpgradableRwLock types_lock;
    TypeMap types;
    utils::UpgradableRwLock inverse_lock;
    TypeHashIndex inverse;
    std::atomic<std::uint16_t> clock_seq;
    NodeId node;
};

void DecodedTypes::add(const Typeref& ref, AnyType value) {
    const std::uint64_t number = adds_++;
    const std::size_t before = types_.size();
    // Encoders write ascending `Typeref`s, which the end hint inserts in constant time.
    auto it = types_.try_emplace(types_.end(), ref, std::move(value));
    if (types_.size() != before) {
        first_added_.emplace_back(number, &*it);
        return;
    }
    // try_emplace left `value` alone: the key was there.
    if (it->second == value) return;
    if (content_hash(it->second) != content_hash(value)) relisted_[&*it] = number;
    it->second = std::move(value);
}

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

TypeRegistry::TypeRegistry(DecodedTypes decoded, std::uint16_t clock_seq_start, NodeId node_id)
    : state_(std::make_unique<State>(clock_seq_start, node_id)) {
    State& s = *state_;
    // Moving the map keeps its nodes where they are, so the gathered pointers stay valid.
    s.types = std::move(decoded.types_);
    auto& order = decoded.first_added_;
    if (!decoded.relisted_.empty()) {
        for (auto& [number, entry] : order) {
            if (auto r = decoded.relisted_.find(entry); r != decoded.relisted_.end())
                number = r->second;
        }
        std::sort(order.begin(), order.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    s.inverse.reserve(order.size());
    for (const auto& [number, entry] : order) s.inverse.list(content_hash(entry->second), entry);
}

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

    const Stored* found =
        s.inverse.find_if(hash, [&](const Stored& entry) { return entry.second == value; });
    if (found != nullptr) return found->first;

    types_guard.upgrade();
    inverse_guard.upgrade();
    TypeMap::iterator stored;
    for (;;) {
        // A clock that stepped back could repeat an identifier; a stored type must never change.
        const Typeref ref = mint();
        if (ref.is_wildcard()) continue;
        const std::size_t before = s.types.size();
        // Minted identifiers sort after the earlier ones: the end hint inserts them in constant
        // time. try_emplace leaves `value` alone when the key is taken.
        stored = s.types.try_emplace(s.types.end(), ref, std::move(value));
        if (s.types.size() != before) break;
    }
    s.inverse.list(hash, &*stored);
    inverse_guard.downgrade();
    types_guard.downgrade();
    return stored->first;
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
    std::vector<std::pair<Typeref, AnyType>> entries;
    {
        auto view = other.read();
        entries.assign(view.types().begin(), view.types().end());
    }
    const MergePlan plan = plan_merge(entries);

    std::vector<Typeref> merged(entries.size());
    for (const std::uint32_t i : plan.order) {
        AnyType type = std::move(entries[i].second);
        const std::uint32_t* element = plan.elements.data() + plan.elements_begin[i];
        type.for_each_element([&](Typeref& ref) {
            if (!ref.is_wildcard()) ref = merged[*element++];
        });
        merged[i] = search_or_insert(std::move(type));
    }

    if (plan.order.size() != entries.size()) {
        MergeError error;
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (!plan.merged[i]) error.unresolved.push_back(entries[i].first);
        return std::unexpected(std::move(error));
    }
    std::map<Typeref, Typeref> mapping;
    for (std::size_t i = 0; i < entries.size(); ++i)
        mapping.emplace_hint(mapping.end(), entries[i].first, merged[i]);
    return mapping;
}

void TypeRegistry::insert_decoded(const Typeref& ref, AnyType value) {
    State& s = *state_;
    const std::uint64_t hash = content_hash(value);
    s.types_lock.lock();
    s.inverse_lock.lock();
    // try_emplace leaves `value` alone when the key is taken.
    auto [it, inserted] = s.types.try_emplace(ref, std::move(value));
    if (inserted) {
        s.inverse.list(hash, &*it);
    } else {
        const std::uint64_t old_hash = content_hash(it->second);
        it->second = std::move(value);
        if (old_hash != hash) {
            s.inverse.unlist(old_hash, &*it);
            s.inverse.list(hash, &*it);
        }
    }
    s.inverse_lock.unlock();
    s.types_lock.unlock();
}

std::uint16_t TypeRegistry::clock_sequence() const {
    return state_->clock_seq.load(std::memory_order_relaxed);
}

TypeRegistry::NodeId TypeRegistry::node_id() const { return state_->node; }

}  // namespace kdinstr::types
