#pragma once
// The rule of "cast": shape first, then the width, kind or size tests of its conversion.
#include "kdinstr/modules/instructions/misc.hpp"
#include "kdinstr/types/checker_context.hpp"

namespace kdinstr::types::checker {

Step check_cast(Checker& checker, const modules::instructions::Cast& cast);

}  // namespace kdinstr::types::checker
