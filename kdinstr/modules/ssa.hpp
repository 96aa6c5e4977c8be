#pragma once
// Dense renumbering of a function's registers: parameters 0..n-1 in order, then the
// destinations in block order. Labels, types and constants keep their values.
#include <expected>

#include "kdinstr/modules/function.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::modules {

// Renumbers in place; the function must not be shared yet. A name defined twice gets two new
// numbers, and every use takes the number of its last definition in block order. A use of a
// name that nothing defines fails with Error::UndefinedName carrying the old number; the
// function is then left partly renumbered and is meant to be dropped.
std::expected<void, utils::Error> normalize_ssa(Function& function);

}  // namespace kdinstr::modules
