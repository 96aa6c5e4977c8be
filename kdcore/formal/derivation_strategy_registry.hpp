#pragma once
// The process-wide derivation-strategy registry, filled at load time.
#include <expected>
#include <memory>
#include <string_view>

#include "kdcore/formal/derivation_strategy.hpp"
#include "kdcore/utils/kd_error.hpp"
#include "kdcore/utils/load_time_registry.hpp"

namespace kdcore::base {
class InstanceContext;
}

namespace kdcore::formal {

struct DerivationStrategyRegistry {
    std::string_view name;
    std::expected<std::shared_ptr<DynDerivationStrategy>, kdcore::utils::KdError> (*constructor)(
        std::weak_ptr<kdcore::base::InstanceContext> instance);
};

using DerivationStrategyRegistryList = kdcore::utils::LoadTimeRegistry<DerivationStrategyRegistry>;

// Walking it yields the most recently registered entry first.
const DerivationStrategyRegistryList& derivation_strategy_registry();

// Adds an entry at the head. Meant for load-time registration only.
void register_derivation_strategy(const DerivationStrategyRegistry& entry);

// Registers "AxiomStrategy" once; later calls do nothing.
void register_builtin_strategies();

}  // namespace kdcore::formal
