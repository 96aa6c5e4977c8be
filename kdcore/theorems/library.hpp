#pragma once
// The theorems of one loaded module; every module's library stays empty in this system.
#include "kdcore/theorems/base.hpp"
#include "kdcore/utils/sharded_map.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdcore::theorems::library {

using TheoremLibrary = kdcore::utils::ShardedMap<kdinstr::utils::Uuid, base::Theorem>;

}  // namespace kdcore::theorems::library
