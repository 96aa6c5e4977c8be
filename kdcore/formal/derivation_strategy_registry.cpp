#include "kdcore/formal/derivation_strategy_registry.hpp"

#include <mutex>

#include "kdcore/formal/axioms.hpp"

namespace kdcore::formal {

namespace {

constinit DerivationStrategyRegistryList registry;

}  // namespace

const DerivationStrategyRegistryList& derivation_strategy_registry() { return registry; }

void register_derivation_strategy(const DerivationStrategyRegistry& entry) { registry.push(entry); }

void register_builtin_strategies() {
    static std::once_flag once;
    std::call_once(once, [] {
        register_derivation_strategy({.name = axioms::AxiomStrategy::NAME,
                                      .constructor = &axioms::construct_axiom_strategy});
    });
}

}  // namespace kdcore::formal
