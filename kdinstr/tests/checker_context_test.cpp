#include "kdinstr/types/checker_context.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/registry.hpp"

namespace {

using kdinstr::types::checker::NameSlots;

// Names inside and far outside the range a function of this size usually numbers its
// registers in, mixed, with repeats.
TEST(NameSlots, DenseAndSparseNamesBehaveAsOneMap) {
    NameSlots slots = kdinstr::modules::name_table_for_names(4);
    struct Step {
        enum { Insert, Assign } op;
        std::uint32_t name;
        std::uint32_t value;
        bool inserted;
    };
    const std::vector<Step> steps = {
        {Step::Insert, 0, 10, true},          {Step::Insert, 0, 11, false},
        {Step::Insert, 9, 12, true},          {Step::Insert, 4099, 13, true},
        {Step::Insert, 4099, 14, false},      {Step::Assign, 9, 15, true},
        {Step::Assign, 0xFFFFFFFFu, 16, true}, {Step::Insert, 0xFFFFFFFFu, 17, false},
        {Step::Assign, 3, 18, true},
    };
    for (const auto& s : steps) {
        if (s.op == Step::Insert) {
            EXPECT_EQ(slots.insert(s.name, s.value), s.inserted) << s.name;
        } else {
            slots.assign(s.name, s.value);
        }
    }
    const std::vector<std::pair<std::uint32_t, std::optional<std::uint32_t>>> expected = {
        {0, 10}, {9, 15}, {4099, 13}, {0xFFFFFFFFu, 16}, {3, 18},
        {1, std::nullopt}, {10, std::nullopt}, {4100, std::nullopt}, {0xFFFFFFFEu, std::nullopt},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(slots.find(name), value) << name;
}

TEST(NameSlots, EmptyFindsNothing) {
    const NameSlots slots = kdinstr::modules::name_table_for_names(0);
    for (std::uint32_t name : {0u, 1u, 2u, 1000u, 0xFFFFFFFFu})
        EXPECT_EQ(slots.find(name), std::nullopt) << name;
}

// More types than the checker keeps facts of at once, looked up in turns: each answer is
// that of its own type.
TEST(Checker, FactsOfManyTypesInTurn) {
    using kdinstr::types::primary::IType;
    kdinstr::types::TypeRegistry registry;
    std::vector<kdinstr::types::Typeref> widths;
    for (std::uint32_t bits = 1; bits <= 100; ++bits)
        widths.push_back(registry.search_or_insert(IType{bits}));
    kdinstr::types::checker::Checker checker(registry, 0);
    for (int round = 0; round < 3; ++round)
        for (std::size_t i = 0; i < widths.size(); i += (round == 1 ? 7 : 1)) {
            const auto facts = checker.facts(widths[i]);
            EXPECT_TRUE(facts.is_int()) << i;
            EXPECT_EQ(facts.width, i + 1) << round;
        }
    EXPECT_FALSE(checker.facts(kdinstr::types::Typeref{}).is_int());
}

}  // namespace
