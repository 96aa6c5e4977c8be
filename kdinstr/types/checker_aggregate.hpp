#pragma once
// The rules that walk type structure by index: "getelementptr", "insertvalue", "extractvalue".
#include "kdinstr/modules/instructions/mem.hpp"
#include "kdinstr/modules/instructions/misc.hpp"
#include "kdinstr/types/checker_context.hpp"

namespace kdinstr::types::checker {

Step check_getelementptr(Checker& checker, const modules::instructions::MGetElementPtr& gep);
Step check_insertvalue(Checker& checker, const modules::instructions::InsertValue& insert);
Step check_extractvalue(Checker& checker, const modules::instructions::ExtractValue& extract);

}  // namespace kdinstr::types::checker
