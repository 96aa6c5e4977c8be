#include "kdinstr/modules/instructions/mem.hpp"

#include <string>

#include "kdinstr/modules/instructions/debug_items.hpp"
#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules::instructions {

std::string MLoad::debug() const {
    return utils::debug_record(
        "MLoad", {
                     {"dest", dest.to_string()},
                     {"ty", ty.debug()},
                     {"addr", addr.debug()},
                     {"alignement", utils::debug_optional(alignement, debug_items::decimal)},
                     {"ordering", utils::debug_optional(ordering, debug_items::ordering)},
                     {"volatile", std::string(volatile_ ? "true" : "false")},
                 });
}

std::string MStore::debug() const {
    return utils::debug_record(
        "MStore", {
                      {"addr", addr.debug()},
                      {"value", value.debug()},
                      {"alignement", utils::debug_optional(alignement, debug_items::decimal)},
                      {"ordering", utils::debug_optional(ordering, debug_items::ordering)},
                      {"volatile", std::string(volatile_ ? "true" : "false")},
                  });
}

std::string MAlloca::debug() const {
    return utils::debug_record(
        "MAlloca", {
                       {"dest", dest.to_string()},
                       {"ty", ty.debug()},
                       {"count", count.debug()},
                       {"alignement", utils::debug_optional(alignement, debug_items::decimal)},
                   });
}

std::string MGetElementPtr::debug() const {
    return utils::debug_record("MGetElementPtr",
                               {
                                   {"dest", dest.to_string()},
                                   {"ty", ty.debug()},
                                   {"in_ty", in_ty.debug()},
                                   {"base", base.debug()},
                                   {"indices", utils::debug_list(indices, debug_items::operand)},
                               });
}

}  // namespace kdinstr::modules::instructions
