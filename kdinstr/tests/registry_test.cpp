#include "kdinstr/types/registry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kdinstr/utils/uuid_gen.hpp"

using namespace kdinstr::types;
using namespace kdinstr::types::primary;
using aggregate::ArrayType;
using aggregate::StructType;
using namespace std::chrono_literals;

namespace {

// A registered-looking identifier whose order is given by `n`.
Typeref tr(std::uint8_t n) {
    Typeref t;
    t.uuid.bytes[0] = n;
    t.uuid.bytes[6] = 0x60;
    return t;
}

// The same for many: ordered by `n`, after every `tr`.
Typeref key(std::uint32_t n) {
    Typeref t = tr(0xff);
    for (int i = 0; i < 4; ++i) t.uuid.bytes[1 + i] = static_cast<std::uint8_t>(n >> (24 - 8 * i));
    return t;
}

// Stored types in `Typeref` order, their elements written as the rank of the element among the
// stored `Typeref`s ("?" for one not held, the wildcard's index otherwise). For a registry that
// minted everything itself, the rank is the order of minting.
std::vector<std::string> minting_shape(const TypeRegistry& reg) {
    const auto view = reg.read();
    std::map<Typeref, std::size_t> rank;
    for (const auto& [ref, type] : view.types()) rank.emplace(ref, rank.size());
    const auto name = [&](const Typeref& r) {
        if (r.is_wildcard()) return "w" + std::to_string(*r.wildcard_index());
        auto it = rank.find(r);
        return it == rank.end() ? std::string("?") : std::to_string(it->second);
    };
    std::vector<std::string> out;
    for (const auto& [ref, type] : view.types()) {
        std::string text;
        if (const auto* a = type.as_array()) {
            text = "[" + name(a->element) + " x " + std::to_string(a->count) + "]";
        } else if (const auto* st = type.as_struct()) {
            text = st->packed ? "packed{" : "{";
            for (const auto& e : st->elements) text += name(e) + ",";
            text += "}";
        } else {
            text = type.debug();
        }
        out.push_back(text);
    }
    return out;
}

// The merge as a pass over the pending entries in `Typeref` order, repeated until a pass merges
// nothing: what `merge_with` must be equivalent to.
std::expected<std::map<Typeref, Typeref>, MergeError> merge_by_passes(TypeRegistry& target,
                                                                      const TypeRegistry& other) {
    std::vector<std::pair<Typeref, AnyType>> pending;
    {
        auto view = other.read();
        pending.assign(view.types().begin(), view.types().end());
    }
    std::map<Typeref, Typeref> mapping;
    const auto inner = [](AnyType& type) {
        std::vector<Typeref*> out;
        if (auto* a = std::get_if<AnyType::Array>(&type.value)) out.push_back(&a->element);
        if (auto* st = std::get_if<AnyType::Struct>(&type.value))
            for (auto& e : st->elements) out.push_back(&e);
        return out;
    };
    while (!pending.empty()) {
        std::vector<std::pair<Typeref, AnyType>> waiting;
        for (auto& [old_ref, type] : pending) {
            const auto refs = inner(type);
            const bool ready = std::all_of(refs.begin(), refs.end(), [&](const Typeref* r) {
                return r->is_wildcard() || mapping.contains(*r);
            });
            if (!ready) {
                waiting.emplace_back(old_ref, std::move(type));
                continue;
            }
            for (Typeref* r : refs)
                if (!r->is_wildcard()) *r = mapping.at(*r);
            mapping[old_ref] = target.search_or_insert(std::move(type));
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

}  // namespace

TEST(TypeRegistry, EqualValuesShareOneTyperef) {
    TypeRegistry reg;
    const std::vector<AnyType> values = {
        IType{32},
        IType{1},
        FType::Fp64,
        Ptr{},
        PrimaryType::Label{},
        PrimaryType::vector(Wildcard{0}, VcSize::fixed(4)),
        ExtType{kdinstr::utils::Uuid{}, {1, 2}},
        StructType{{}, false},
        StructType{{}, true},
    };
    std::vector<Typeref> refs;
    for (const auto& v : values) refs.push_back(reg.search_or_insert(v));
    EXPECT_EQ(reg.len(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(reg.search_or_insert(values[i]), refs[i]);
        EXPECT_EQ(reg.get(refs[i]), values[i]);
        EXPECT_FALSE(refs[i].is_wildcard());
    }
    EXPECT_EQ(reg.len(), values.size());
    std::vector<Typeref> sorted = refs;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST(TypeRegistry, MintsVersionSixInOrderWithNodeAndSequence) {
    TypeRegistry reg(16383, {1, 2, 3, 4, 0, 0});
    const Typeref a = reg.search_or_insert(IType{8});
    const Typeref b = reg.search_or_insert(IType{16});
    EXPECT_EQ(reg.clock_sequence(), 16385);
    for (const auto& r : {a, b}) {
        EXPECT_EQ(r.uuid.bytes[6] >> 4, 6);
        EXPECT_EQ(r.uuid.bytes[8] >> 6, 2);
        EXPECT_EQ(
            (std::array<std::uint8_t, 6>{r.uuid.bytes[10], r.uuid.bytes[11], r.uuid.bytes[12],
                                         r.uuid.bytes[13], r.uuid.bytes[14], r.uuid.bytes[15]}),
            (std::array<std::uint8_t, 6>{1, 2, 3, 4, 0, 0}));
    }
    // Sequence 16383 then 16384, taken modulo 16384.
    EXPECT_EQ(((a.uuid.bytes[8] & 0x3F) << 8) | a.uuid.bytes[9], 0x3FFF);
    EXPECT_EQ(((b.uuid.bytes[8] & 0x3F) << 8) | b.uuid.bytes[9], 0);
    EXPECT_LE(kdinstr::utils::v6_timestamp(a.uuid), kdinstr::utils::v6_timestamp(b.uuid));
}

TEST(TypeRegistry, WildcardsAreNeverStored) {
    TypeRegistry reg;
    reg.search_or_insert(IType{1});
    for (std::uint16_t index : {0, 3, 25, 26, 65535}) {
        EXPECT_EQ(reg.search_or_insert(Wildcard{index}), Typeref::wildcard(index));
        EXPECT_EQ(reg.get(Typeref::wildcard(index)), std::nullopt);
    }
    EXPECT_EQ(reg.len(), 1u);
    // A wildcard key in decoded data is still not handed out by a lookup.
    reg.insert_decoded(Typeref::wildcard(4), AnyType(Ptr{}));
    EXPECT_EQ(reg.get(Typeref::wildcard(4)), std::nullopt);
    EXPECT_EQ(reg.read().find(Typeref::wildcard(4)), nullptr);
}

TEST(TypeRegistry, TextAdapter) {
    TypeRegistry reg;
    const Typeref i1 = reg.search_or_insert(IType{1});
    const Typeref pair = reg.search_or_insert(StructType{{i1, i1}, false});
    const Typeref arr = reg.search_or_insert(ArrayType{pair, 3});
    const Typeref with_missing =
        reg.search_or_insert(StructType{{tr(9), Typeref::wildcard(2)}, true});
    struct Case {
        Typeref ref;
        std::string text;
    };
    const std::vector<Case> cases = {
        {i1, "i1"},
        {pair, "{i1, i1}"},
        {arr, "[ 3 x {i1, i1} ]"},
        {with_missing, "packed {<unknown type 09000000-0000-6000-0000-000000000000>, C}"},
        {tr(9), "<unknown type 09000000-0000-6000-0000-000000000000>"},
        {Typeref::wildcard(0), "A"},
        {Typeref::wildcard(65535), "_65535"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reg.fmt(c.ref).to_string(), c.text);
        EXPECT_EQ(fmt::format("{}", reg.fmt(c.ref)), c.text);
        EXPECT_EQ(reg.read().text(c.ref), c.text);
    }
    // Printing while holding a view locks recursively and returns.
    auto view = reg.read();
    EXPECT_EQ(reg.fmt(arr).to_string(), "[ 3 x {i1, i1} ]");
}

TEST(TypeRegistry, ReadViewAndGet) {
    TypeRegistry reg;
    const Typeref a = reg.search_or_insert(IType{64});
    {
        auto view = reg.read();
        ASSERT_NE(view.find(a), nullptr);
        EXPECT_EQ(*view.find(a), AnyType(IType{64}));
        EXPECT_EQ(view.find(tr(1)), nullptr);
        EXPECT_EQ(view.types().size(), 1u);
        EXPECT_EQ(reg.get(a), AnyType(IType{64}));  // a second read under the view
        EXPECT_EQ(reg.len(), 1u);
    }
    EXPECT_EQ(reg.get(tr(1)), std::nullopt);
    // No lock left behind: storing a new type does not wait.
    reg.search_or_insert(IType{65});
    EXPECT_EQ(reg.len(), 2u);
}

TEST(TypeRegistry, ReadsWhileAnotherThreadInterns) {
    TypeRegistry reg;
    const Typeref a = reg.search_or_insert(IType{1});
    auto view = reg.read();
    // The interning thread has to wait for this view before it can store its type.
    auto writer = std::async(std::launch::async, [&] { return reg.search_or_insert(IType{2}); });
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(reg.get(a), AnyType(IType{1}));
        ASSERT_EQ(reg.fmt(a).to_string(), "i1");
    }
    view.release();
    ASSERT_EQ(writer.wait_for(10s), std::future_status::ready);
    const Typeref b = writer.get();
    EXPECT_EQ(reg.get(b), AnyType(IType{2}));
}

TEST(TypeRegistry, ConcurrentInterningGivesOneTyperefPerValue) {
    TypeRegistry reg;
    std::vector<AnyType> values;
    for (std::uint32_t w = 1; w <= 150; ++w) values.emplace_back(IType{w});
    for (std::uint16_t n = 0; n < 50; ++n)
        values.emplace_back(PrimaryType::vector(FType::Fp32, VcSize::fixed(n)));

    constexpr int threads = 8;
    std::vector<std::vector<Typeref>> results(threads, std::vector<Typeref>(values.size()));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            std::vector<std::size_t> order(values.size());
            for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::shuffle(order.begin(), order.end(), std::mt19937(t));
            for (auto i : order) {
                results[t][i] = reg.search_or_insert(values[i]);
                auto again = reg.get(results[t][i]);  // readers mixed with writers
                if (!again || *again != values[i]) results[t][i] = Typeref{};
            }
        });
    }
    for (auto& th : pool) th.join();
    EXPECT_EQ(reg.len(), values.size());
    for (int t = 1; t < threads; ++t) EXPECT_EQ(results[t], results[0]);
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(reg.get(results[0][i]), values[i]);
}

TEST(TypeRegistry, MergeMapsEqualTypesToExistingOnes) {
    TypeRegistry target, source;
    const Typeref t32 = target.search_or_insert(IType{32});
    const Typeref s32 = source.search_or_insert(IType{32});
    EXPECT_NE(t32, s32);
    const Typeref sptr = source.search_or_insert(Ptr{});

    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.has_value());
    EXPECT_EQ(merged->size(), 2u);
    EXPECT_EQ(merged->at(s32), t32);
    EXPECT_EQ(target.get(merged->at(sptr)), AnyType(Ptr{}));
    EXPECT_EQ(target.len(), 2u);

    auto again = target.merge_with(source);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, *merged);
    EXPECT_EQ(target.len(), 2u);

    TypeRegistry empty;
    auto none = target.merge_with(empty);
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());

    // Into itself: the identity, no deadlock on its own read.
    auto self = target.merge_with(target);
    ASSERT_TRUE(self.has_value());
    EXPECT_EQ(self->size(), 2u);
    for (const auto& [from, to] : *self) EXPECT_EQ(from, to);
}

TEST(TypeRegistry, MergeOrdersElementsBeforeAggregates) {
    TypeRegistry source;
    // The struct sorts before its elements, the array after its struct: two passes.
    source.insert_decoded(tr(1), StructType{{tr(5), Typeref::wildcard(0), tr(6)}, false});
    source.insert_decoded(tr(2), ArrayType{tr(1), 2});
    source.insert_decoded(tr(3), StructType{{}, true});
    source.insert_decoded(tr(5), IType{8});
    source.insert_decoded(tr(6), IType{8});  // a duplicate value: maps to the same new Typeref

    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.has_value());
    ASSERT_EQ(merged->size(), 5u);
    const auto& m = *merged;
    EXPECT_EQ(m.at(tr(5)), m.at(tr(6)));
    EXPECT_EQ(target.len(), 4u);
    EXPECT_EQ(target.get(m.at(tr(1))),
              AnyType(StructType{{m.at(tr(5)), Typeref::wildcard(0), m.at(tr(5))}, false}));
    EXPECT_EQ(target.get(m.at(tr(2))), AnyType(ArrayType{m.at(tr(1)), 2}));
    EXPECT_EQ(target.fmt(m.at(tr(2))).to_string(), "[ 2 x {i8, A, i8} ]");
    // Minting order of the target: first pass i8 (and the empty struct), then the struct, then
    // the array, whose ready element only became ready in the second pass.
    EXPECT_LT(m.at(tr(3)), m.at(tr(5)));
    EXPECT_LT(m.at(tr(5)), m.at(tr(1)));
    EXPECT_LT(m.at(tr(1)), m.at(tr(2)));
}

TEST(TypeRegistry, MergeOfUnresolvableEntriesEndsWithError) {
    TypeRegistry source;
    source.insert_decoded(tr(1), IType{1});
    source.insert_decoded(tr(2), ArrayType{tr(9), 1});         // element not held
    source.insert_decoded(tr(3), StructType{{tr(4)}, false});  // cycle 3 -> 4 -> 3
    source.insert_decoded(tr(4), StructType{{tr(3)}, false});
    source.insert_decoded(tr(5), StructType{{tr(5)}, false});         // itself
    source.insert_decoded(tr(6), StructType{{tr(1), tr(2)}, false});  // waits on a failure

    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_FALSE(merged.has_value());
    EXPECT_EQ(merged.error().unresolved, (std::vector<Typeref>{tr(2), tr(3), tr(4), tr(5), tr(6)}));
    EXPECT_EQ(merged.error().message(),
              "cannot merge type registry: unresolvable types (an element neither stored nor a "
              "wildcard, or a cycle): [02000000-0000-6000-0000-000000000000, "
              "03000000-0000-6000-0000-000000000000, 04000000-0000-6000-0000-000000000000, "
              "05000000-0000-6000-0000-000000000000, 06000000-0000-6000-0000-000000000000]");
    // What could be merged before the stop stays.
    EXPECT_EQ(target.len(), 1u);
}

TEST(TypeRegistry, DecodedEntriesKeepTheirKeys) {
    TypeRegistry reg(7, {});
    reg.insert_decoded(tr(2), IType{4});
    reg.insert_decoded(tr(1), IType{4});  // the same value twice: the first listed one wins
    reg.insert_decoded(tr(3), IType{5});
    reg.insert_decoded(tr(3), IType{6});  // a repeated key keeps the later value
    EXPECT_EQ(reg.len(), 3u);
    EXPECT_EQ(reg.search_or_insert(IType{4}), tr(2));
    EXPECT_EQ(reg.get(tr(3)), AnyType(IType{6}));
    EXPECT_EQ(reg.search_or_insert(IType{6}), tr(3));
    EXPECT_EQ(reg.clock_sequence(), 7);
    EXPECT_EQ(reg.len(), 3u);
}

TEST(TypeRegistry, MoveLeavesAnEmptyRegistry) {
    TypeRegistry a(0, {9, 9, 9, 9, 9, 9});
    const Typeref r = a.search_or_insert(IType{3});
    TypeRegistry b(std::move(a));
    EXPECT_EQ(b.get(r), AnyType(IType{3}));
    EXPECT_EQ(b.node_id(), (TypeRegistry::NodeId{9, 9, 9, 9, 9, 9}));
    EXPECT_EQ(a.len(), 0u);  // NOLINT(bugprone-use-after-move): documented state
}

TEST(TypeRegistry, MergeInternsInTheOrderOfRepeatedPasses) {
    // Random small registries whose aggregates point forwards and backwards in `Typeref` order,
    // at themselves, at wildcards, at identifiers not held, in cycles, with repeated values.
    std::mt19937 rng(20240611);
    const auto pick = [&](std::uint32_t n) {
        return static_cast<std::uint32_t>(
            std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng));
    };
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        const std::uint32_t n = pick(14);
        std::vector<Typeref> keys;
        for (std::uint32_t i = 0; i < n; ++i)
            keys.push_back(tr(static_cast<std::uint8_t>(2 * i + 1)));
        const auto element = [&] {
            const std::uint32_t roll = pick(20);
            if (roll == 0) return Typeref::wildcard(static_cast<std::uint16_t>(pick(3)));
            if (roll == 1 || n == 0)
                return tr(static_cast<std::uint8_t>(200 + pick(3)));  // not held
            return keys[pick(n)];
        };
        TypeRegistry source;
        for (const Typeref& key : keys) {
            switch (pick(round % 3 == 0 ? 2 : 4)) {
                case 0:
                    source.insert_decoded(key, IType{1 + pick(3)});
                    break;
                case 1:
                    source.insert_decoded(key, Wildcard{static_cast<std::uint16_t>(pick(2))});
                    break;
                case 2:
                    source.insert_decoded(
                        key, ArrayType{element(), static_cast<std::uint16_t>(pick(2))});
                    break;
                default: {
                    std::vector<Typeref> fields;
                    for (std::uint32_t f = pick(4); f > 0; --f) fields.push_back(element());
                    source.insert_decoded(key, StructType{std::move(fields), pick(2) == 1});
                }
            }
        }
        // Both targets already hold a type that some entries map to.
        TypeRegistry by_passes, by_work_list;
        for (TypeRegistry* t : {&by_passes, &by_work_list}) {
            t->search_or_insert(IType{2});
            t->search_or_insert(StructType{{}, false});
        }
        const auto want = merge_by_passes(by_passes, source);
        const auto got = by_work_list.merge_with(source);
        ASSERT_EQ(got.has_value(), want.has_value());
        if (!got) {
            EXPECT_EQ(got.error(), want.error());
        }
        EXPECT_EQ(minting_shape(by_work_list), minting_shape(by_passes));
        if (got) {
            const auto ranks = [](const TypeRegistry& reg, const std::map<Typeref, Typeref>& m) {
                const auto view = reg.read();
                std::vector<std::pair<Typeref, std::ptrdiff_t>> out;
                for (const auto& [from, to] : m)
                    out.emplace_back(from,
                                     std::distance(view.types().begin(), view.types().find(to)));
                return out;
            };
            EXPECT_EQ(ranks(by_work_list, *got), ranks(by_passes, *want));
        }
    }
}

TEST(TypeRegistry, MergeOfALongChainWhoseElementsSortLast) {
    // Each array's element sorts after it: repeated passes would need one pass per link.
    constexpr std::uint32_t kLength = 100'000;
    TypeRegistry source;
    for (std::uint32_t i = 0; i < kLength; ++i)
        source.insert_decoded(key(i), ArrayType{key(i + 1), 2});
    source.insert_decoded(key(kLength), IType{32});

    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.has_value());
    ASSERT_EQ(merged->size(), kLength + 1);
    EXPECT_EQ(target.len(), kLength + 1);
    const auto view = target.read();
    for (std::uint32_t i = 0; i < kLength; ++i) {
        const AnyType* stored = view.find(merged->at(key(i)));
        ASSERT_NE(stored, nullptr);
        ASSERT_EQ(*stored, AnyType(ArrayType{merged->at(key(i + 1)), 2})) << i;
    }
    EXPECT_EQ(*view.find(merged->at(key(kLength))), AnyType(IType{32}));
}

TEST(TypeRegistry, RepeatedDecodedKeysAreListedOnce) {
    // Which of several `Typeref`s holding one value a lookup returns: the one listed first. A
    // repetition that keeps the value's hash keeps the place; one that changes it lists anew.
    struct Case {
        std::string name;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> adds;  // (key, width)
        std::uint32_t width;
        std::uint32_t found;
    };
    const std::vector<Case> cases = {
        {"first listed wins", {{2, 4}, {1, 4}}, 4, 2},
        {"repeat in place", {{2, 4}, {1, 4}, {2, 4}}, 4, 2},
        {"left and came back", {{2, 4}, {1, 4}, {2, 5}, {2, 4}}, 4, 1},
        {"arrived later", {{2, 5}, {1, 4}, {2, 4}}, 4, 1},
        {"moved away", {{2, 4}, {1, 4}, {2, 5}}, 5, 2},
        {"moved away, first listed gone", {{2, 4}, {1, 4}, {2, 5}}, 4, 1},
        {"many repeats", {{3, 4}, {3, 4}, {3, 4}, {3, 4}, {1, 4}}, 4, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TypeRegistry one_by_one(7, {});
        DecodedTypes gathered;
        for (const auto& [n, width] : c.adds) {
            one_by_one.insert_decoded(tr(static_cast<std::uint8_t>(n)), IType{width});
            gathered.add(tr(static_cast<std::uint8_t>(n)), IType{width});
        }
        TypeRegistry built(std::move(gathered), 7, {});
        EXPECT_EQ(built.read().types(), one_by_one.read().types());
        const std::size_t len = built.len();
        const Typeref want = tr(static_cast<std::uint8_t>(c.found));
        EXPECT_EQ(one_by_one.search_or_insert(IType{c.width}), want);
        EXPECT_EQ(built.search_or_insert(IType{c.width}), want);
        EXPECT_EQ(built.len(), len);
    }
}

TEST(TypeRegistry, DecodedRelistingOfManyEqualTypes) {
    // Many `Typeref`s of one value relisted in reverse order, then some relisted back: a large
    // instance of the rules above.
    constexpr std::uint32_t kCount = 4000;
    TypeRegistry one_by_one;
    DecodedTypes gathered;
    const auto add = [&](std::uint32_t n, AnyType type) {
        one_by_one.insert_decoded(key(n), type);
        gathered.add(key(n), std::move(type));
    };
    for (std::uint32_t k = 0; k < kCount; ++k) add(k, IType{8});
    for (std::uint32_t k = kCount; k-- > 0;) add(k, IType{9 + k % 3});
    for (std::uint32_t k = kCount; k-- > kCount / 2;) add(k, IType{8});
    TypeRegistry built(std::move(gathered), 0, {});
    EXPECT_EQ(built.read().types(), one_by_one.read().types());
    for (std::uint32_t w : {8, 9, 10, 11}) {
        const Typeref want = one_by_one.search_or_insert(IType{w});
        EXPECT_EQ(built.search_or_insert(IType{w}), want) << w;
    }
    // The relisted ones went back in reverse order, so the last key is listed first.
    EXPECT_EQ(built.search_or_insert(IType{8}), key(kCount - 1));
}
