#include "kdinstr/types/type_text_length.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "kdinstr/tests/random_type_maps.hpp"
#include "kdinstr/types/any_type.hpp"

using namespace kdinstr::types;
using namespace kdinstr::types::primary;
using aggregate::ArrayType;
using aggregate::StructType;

namespace {

constexpr std::uint64_t kNoCap = std::numeric_limits<std::uint64_t>::max();

Typeref ref(std::uint32_t n) { return kdinstr::tests::numbered_ref(n); }

// Ends in bytes that the wildcard test ignores: still wildcard 3.
Typeref loose_wildcard() {
    Typeref t = Typeref::wildcard(3);
    t.uuid.bytes[8] = 0x00;
    t.uuid.bytes[13] = 0x12;
    return t;
}

// Every length against the printer: each entry by identifier and by value, the longest of
// them, and identifiers the map does not hold or that are wildcards.
void expect_lengths_of_printed_texts(const TypeMap& types) {
    const TypeTextLengths lengths(types, kNoCap);
    std::uint64_t longest = 0;
    for (const auto& [r, value] : types) {
        const std::uint64_t by_ref = type_text(types, r).size();
        const std::uint64_t by_value = type_text(types, value).size();
        EXPECT_EQ(lengths.of(r), by_ref) << type_text(types, r);
        EXPECT_EQ(lengths.of(value), by_value) << type_text(types, value);
        EXPECT_EQ(lengths.longest_of(r), std::max(by_ref, by_value));
        longest = std::max({longest, by_ref, by_value});
    }
    EXPECT_EQ(lengths.longest(), longest);
    for (const Typeref& other : {ref(0xFFFFFF), Typeref::wildcard(0), Typeref::wildcard(26),
                                 Typeref::wildcard(65535), loose_wildcard()}) {
        EXPECT_EQ(lengths.of(other), type_text(types, other).size());
        if (!types.contains(other)) {
            EXPECT_EQ(lengths.longest_of(other), lengths.of(other));
        }
    }
}

// T_0 = i8, T_k = {T_(k-1), T_(k-1)} under ref(k): T_k prints 6 * 2^k - 4 characters.
TypeMap doubling_chain(std::uint32_t k) {
    TypeMap types{{ref(0), AnyType(IType{8})}};
    for (std::uint32_t i = 1; i <= k; ++i)
        types.emplace(ref(i), AnyType(StructType{{ref(i - 1), ref(i - 1)}, false}));
    return types;
}

}  // namespace

TEST(TypeTextLengths, AgreeWithThePrinter) {
    const Typeref missing = ref(0xFFFFFE);
    const std::vector<std::pair<std::string, TypeMap>> maps = {
        {"empty", {}},
        {"every primary",
         {{ref(1), AnyType(IType{1})},
          {ref(2), AnyType(IType{8388607})},
          {ref(3), AnyType(IType{4294967295u})},
          {ref(4), AnyType(FType::X86Fp80)},
          {ref(5), AnyType(Ptr{})},
          {ref(6), AnyType(PrimaryType::Label{})},
          {ref(7), AnyType(Wildcard{25})},
          {ref(8), AnyType(Wildcard{65535})},
          {ref(9), AnyType(ExtType{ref(1).uuid, {}})},
          {ref(10), AnyType(ExtType{ref(1).uuid, {0, 7, 4294967295u}})},
          {ref(11), AnyType(PrimaryType::vector(FType::Fp64, VcSize::scalable(2)))},
          {ref(12), AnyType(PrimaryType::vector(Wildcard{30}, VcSize::fixed(65535)))},
          {ref(13), AnyType(PrimaryType::vector(ExtType{ref(2).uuid, {1}}, VcSize::fixed(0)))}}},
        {"aggregates",
         {{ref(1), AnyType(IType{32})},
          {ref(2), AnyType(ArrayType{ref(1), 0})},
          {ref(3), AnyType(ArrayType{ref(2), 65535})},
          {ref(4), AnyType(StructType{{}, false})},
          {ref(5), AnyType(StructType{{}, true})},
          {ref(6), AnyType(StructType{{ref(1)}, true})},
          {ref(7), AnyType(StructType{{ref(3), ref(4), ref(5), ref(6), ref(1)}, false})},
          {ref(8), AnyType(ArrayType{ref(7), 10})}}},
        {"elements that are not entries",
         {{ref(1), AnyType(StructType{{Typeref::wildcard(0), missing, Typeref::wildcard(26)}})},
          {ref(2), AnyType(ArrayType{missing, 3})},
          {ref(3), AnyType(ArrayType{loose_wildcard(), 1})},
          {ref(4), AnyType(StructType{{ref(1), ref(2), ref(3), missing}, true})}}},
        // Stored under wildcard identifiers, as only decoded data can be: printed by
        // identifier they are their letters, by value the types they hold.
        {"wildcard identifiers",
         {{ref(1), AnyType(IType{16})},
          {Typeref::wildcard(2), AnyType(StructType{{ref(1), ref(1), ref(1)}})},
          {loose_wildcard(), AnyType(ArrayType{Typeref::wildcard(2), 4})},
          {ref(2), AnyType(StructType{{Typeref::wildcard(2), loose_wildcard()}})}}},
        {"a shared element", doubling_chain(6)},
        {"a type holding itself",
         {{ref(1), AnyType(IType{1})},
          {ref(2), AnyType(StructType{{ref(1), ref(2), ref(2)}})},
          {ref(3), AnyType(ArrayType{ref(2), 2})}}},
        {"two types holding each other",
         {{ref(1), AnyType(StructType{{ref(2)}})}, {ref(2), AnyType(StructType{{ref(1)}})}}},
        // Many paths around one component, whose texts depend on the path that reaches them,
        // beside shared elements outside it, before and after.
        {"a component of four",
         {{ref(1), AnyType(StructType{{ref(2), ref(3), ref(10)}})},
          {ref(2), AnyType(StructType{{ref(3), ref(4), ref(1)}, true})},
          {ref(3), AnyType(ArrayType{ref(4), 7})},
          {ref(4), AnyType(StructType{{ref(1), ref(2), ref(4), ref(11), missing}})},
          {ref(10), AnyType(StructType{{ref(11), ref(11)}})},
          {ref(11), AnyType(FType::Fp16)},
          {ref(20), AnyType(StructType{{ref(1), ref(3), ref(1)}})},
          {ref(21), AnyType(ArrayType{ref(20), 1})}}},
        {"two components, one reaching the other",
         {{ref(1), AnyType(StructType{{ref(2), ref(3)}})},
          {ref(2), AnyType(StructType{{ref(1), ref(3)}})},
          {ref(3), AnyType(StructType{{ref(4), ref(4)}})},
          {ref(4), AnyType(StructType{{ref(3), Typeref::wildcard(1)}})}}},
    };
    for (const auto& [name, types] : maps) {
        SCOPED_TRACE(name);
        expect_lengths_of_printed_texts(types);
    }
}

TEST(TypeTextLengths, AgreeWithThePrinterOnRandomMaps) {
    kdinstr::tests::RandomTypeMaps maps(20261211);
    for (int round = 0; round < 3000; ++round) {
        const TypeMap types = maps.next(9);
        SCOPED_TRACE(round);
        expect_lengths_of_printed_texts(types);

        // Under a cap, every length is the exact one or the cap, whichever is smaller.
        const std::uint64_t cap = maps.pick(300);
        const TypeTextLengths capped(types, cap);
        std::uint64_t longest = 0;
        for (const auto& [r, value] : types) {
            EXPECT_EQ(capped.of(r), std::min<std::uint64_t>(type_text(types, r).size(), cap));
            EXPECT_EQ(capped.of(value),
                      std::min<std::uint64_t>(type_text(types, value).size(), cap));
            EXPECT_EQ(capped.longest_of(r), std::max(capped.of(r), capped.of(value)));
            longest = std::max({longest, capped.of(r), capped.of(value)});
        }
        EXPECT_EQ(capped.longest(), longest);
    }
}

TEST(TypeTextLengths, SharedElementsAreMeasuredOnceAndSaturate) {
    // Printed, T_50 would take petabytes; measured, every length is exact up to the cap.
    const TypeMap types = doubling_chain(70);
    const TypeTextLengths exact(types, kNoCap);
    for (std::uint32_t k = 0; k <= 61; ++k)
        EXPECT_EQ(exact.of(ref(k)), 6 * (std::uint64_t{1} << k) - 4) << k;
    EXPECT_EQ(exact.of(ref(62)), kNoCap);  // 1.5 * 2^64 - 4
    EXPECT_EQ(exact.of(ref(70)), kNoCap);
    EXPECT_EQ(exact.longest(), kNoCap);

    const std::uint64_t cap = 6 * (std::uint64_t{1} << 22) - 4;  // T_22's length
    const TypeTextLengths capped(types, cap);
    EXPECT_EQ(capped.of(ref(21)), 6 * (std::uint64_t{1} << 21) - 4);
    EXPECT_EQ(capped.of(ref(22)), cap);
    EXPECT_EQ(capped.of(ref(23)), cap);
    EXPECT_EQ(capped.of(AnyType(StructType{{ref(10), ref(10)}})), 6 * (std::uint64_t{1} << 11) - 4);
    EXPECT_EQ(capped.of(AnyType(StructType{{ref(22), ref(0)}})), cap);
}

TEST(TypeTextLengths, LongestCountsEveryEntryByIdentifierAndByValue) {
    // T_5 prints 188 characters. Under a wildcard identifier it prints "B", but a merge into
    // another registry makes it an ordinary type again, printed in full.
    const Typeref b = Typeref::wildcard(1);
    TypeMap hidden = doubling_chain(4);
    hidden.emplace(b, AnyType(StructType{{ref(4), ref(4)}}));
    const TypeTextLengths lengths(hidden, kNoCap);
    EXPECT_EQ(lengths.of(b), 1u);
    EXPECT_EQ(lengths.longest_of(b), 188u);
    EXPECT_EQ(lengths.longest_of(ref(4)), 92u);
    EXPECT_EQ(lengths.longest_of(Typeref::wildcard(2)), 1u);
    EXPECT_EQ(lengths.longest_of(ref(99)), unknown_type_text(ref(99)).size());
    EXPECT_EQ(lengths.longest(), 188u);
    EXPECT_EQ(lengths.longest_of_any(), 188u);
    EXPECT_EQ(TypeTextLengths(doubling_chain(1), kNoCap).longest_of_any(),
              unknown_type_text(ref(99)).size());
    EXPECT_EQ(TypeTextLengths(doubling_chain(1), 3).longest_of_any(), 3u);
    // Under a cap, the exact length or the cap, whichever is smaller.
    EXPECT_EQ(TypeTextLengths(hidden, 189).longest(), 188u);
    EXPECT_EQ(TypeTextLengths(hidden, 188).longest(), 188u);
    EXPECT_EQ(TypeTextLengths(hidden, 187).longest(), 187u);
    EXPECT_EQ(TypeTextLengths(TypeMap{}, 0).longest(), 0u);

    // On a cycle, by value prints one turn more than by identifier.
    const TypeMap cycle = {{ref(1), AnyType(StructType{{ref(2)}})},
                           {ref(2), AnyType(StructType{{ref(1)}})}};
    EXPECT_EQ(type_text(cycle, cycle.begin()->second), "{{{" + recursive_type_text(ref(2)) + "}}}");
    const TypeTextLengths cyclic(cycle, kNoCap);
    EXPECT_EQ(cyclic.of(ref(1)), 4 + recursive_type_text(ref(1)).size());
    EXPECT_EQ(cyclic.longest_of(ref(1)), 6 + recursive_type_text(ref(1)).size());
    EXPECT_EQ(cyclic.longest(), 6 + recursive_type_text(ref(1)).size());
}

TEST(TypeTextLengths, CyclesTooManyToWalkCountAsTheCap) {
    // Every type of 12 that hold one another (and, through the last, a type outside) prints
    // every ordering of them: 12! paths, far more than the walks may take. Types outside the
    // cycle keep their exact lengths; types reaching it count as the cap.
    constexpr std::uint32_t kAll = 12;
    TypeMap types{{ref(100), AnyType(IType{64})}};
    for (std::uint32_t i = 0; i < kAll; ++i) {
        StructType s;
        for (std::uint32_t j = 0; j < kAll; ++j) s.elements.push_back(ref(j));
        if (i == kAll - 1) s.elements.push_back(ref(100));
        types.emplace(ref(i), AnyType(std::move(s)));
    }
    types.emplace(ref(200), AnyType(ArrayType{ref(0), 2}));
    types.emplace(ref(201), AnyType(ArrayType{ref(100), 2}));
    const std::uint64_t cap = std::uint64_t{1} << 50;
    const TypeTextLengths lengths(types, cap);
    for (std::uint32_t i = 0; i < kAll; ++i) EXPECT_EQ(lengths.of(ref(i)), cap) << i;
    EXPECT_EQ(lengths.of(ref(200)), cap);
    EXPECT_EQ(lengths.of(ref(100)), 3u);
    EXPECT_EQ(lengths.of(ref(201)), type_text(types, ref(201)).size());
    EXPECT_EQ(lengths.longest(), cap);
}

TEST(TypeTextLengths, DeepNestingIsMeasuredWithoutRecursion) {
    constexpr std::uint32_t depth = 200000;
    TypeMap chain{{ref(0), AnyType(IType{1})}};
    for (std::uint32_t i = 1; i <= depth; ++i)
        chain.emplace(ref(i), AnyType(ArrayType{ref(i - 1), 1}));
    EXPECT_EQ(TypeTextLengths(chain, kNoCap).of(ref(depth)),
              depth * std::string("[ 1 x  ]").size() + 2);

    // A cycle through 50 000 types, each holding the next.
    constexpr std::uint32_t around = 50000;
    TypeMap cycle;
    for (std::uint32_t i = 0; i < around; ++i)
        cycle.emplace(ref(i), AnyType(StructType{{ref((i + 1) % around)}}));
    EXPECT_EQ(TypeTextLengths(cycle, kNoCap).of(ref(0)),
              around * std::string("{}").size() + recursive_type_text(ref(0)).size());
}
