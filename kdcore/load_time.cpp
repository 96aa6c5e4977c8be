#include "kdcore/load_time.hpp"

#include "kdcore/ext/plugin_registry.hpp"
#include "kdcore/formal/derivation_strategy_registry.hpp"

namespace kdcore {

void register_load_time_entries(void (*between)()) {
    kdcore::formal::register_builtin_strategies();
    if (between != nullptr) between();
    kdcore::ext::register_builtin_plugins();
}

}  // namespace kdcore
