#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "kdcore/formal/axioms.hpp"
#include "kdcore/formal/derivation_strategy_registry.hpp"
#include "kdcore/load_time.hpp"

namespace {

TEST(DerivationStrategyRegistry, AxiomStrategyRegisteredOnce) {
    kdcore::register_load_time_entries();
    kdcore::formal::register_builtin_strategies();
    std::vector<std::string_view> names;
    for (const auto& entry : kdcore::formal::derivation_strategy_registry())
        names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string_view>{"AxiomStrategy"}));
    auto strategy = kdcore::formal::derivation_strategy_registry().begin()->constructor({});
    ASSERT_TRUE(strategy.has_value());
    EXPECT_EQ((*strategy)->name(), "AxiomStrategy");
    EXPECT_TRUE((*strategy)->is<kdcore::formal::axioms::AxiomStrategy>());
}

}  // namespace
