#pragma once
// A module loaded into an instance. Built by the loader, then published in the instance's
// module table and read-only from then on.
#include <memory>

#include "kdcore/base/module/function_context.hpp"
#include "kdcore/base/module_key.hpp"
#include "kdcore/theorems/library.hpp"
#include "kdcore/utils/sharded_map.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdcore::base {
class InstanceContext;
}

namespace kdcore::base::module {

struct ModuleContext {
    ModuleKey key;  // null until the table assigns it
    std::weak_ptr<kdcore::base::InstanceContext> instance;
    // Keyed by identifiers from outside: a seeded hash, so that crafted ones share no bucket.
    kdcore::utils::ShardedMap<kdinstr::utils::Uuid, FunctionContext> functions;
    kdcore::theorems::library::TheoremLibrary theorems;  // always empty
    kdinstr::utils::Uuid uuid;                           // version 6, minted when added
    kdinstr::modules::Module module;                     // types already in the instance's registry
};

}  // namespace kdcore::base::module
