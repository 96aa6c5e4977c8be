#include "kdinstr/modules/instructions/misc.hpp"

#include <string>

#include "kdinstr/modules/instructions/debug_items.hpp"
#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules::instructions {

std::string Invoke::debug() const {
    return utils::debug_record("Invoke",
                               {
                                   {"function", function.debug()},
                                   {"args", utils::debug_list(args, debug_items::operand)},
                                   {"dest", utils::debug_optional(dest, debug_items::name)},
                                   {"ty", utils::debug_optional(ty, debug_items::typeref)},
                                   {"cconv", utils::debug_optional(cconv, debug_items::cconv)},
                               });
}

std::string Phi::debug() const {
    return utils::debug_record("Phi",
                               {
                                   {"dest", dest.to_string()},
                                   {"ty", ty.debug()},
                                   {"values", utils::debug_list(values, debug_items::phi_pair)},
                               });
}

std::string Select::debug() const {
    return utils::debug_record("Select", {
                                             {"dest", dest.to_string()},
                                             {"condition", condition.debug()},
                                             {"true_value", true_value.debug()},
                                             {"false_value", false_value.debug()},
                                             {"ty", ty.debug()},
                                         });
}

std::string Cast::debug() const {
    return utils::debug_record("Cast", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"value", value.debug()},
                                           {"variant", std::string(debug_name(variant))},
                                       });
}

std::string InsertValue::debug() const {
    return utils::debug_record("InsertValue",
                               {
                                   {"dest", dest.to_string()},
                                   {"ty", ty.debug()},
                                   {"aggregate", aggregate.debug()},
                                   {"value", value.debug()},
                                   {"indices", utils::debug_list(indices, debug_items::decimal)},
                               });
}

std::string ExtractValue::debug() const {
    return utils::debug_record("ExtractValue",
                               {
                                   {"dest", dest.to_string()},
                                   {"ty", ty.debug()},
                                   {"aggregate", aggregate.debug()},
                                   {"indices", utils::debug_list(indices, debug_items::decimal)},
                               });
}

}  // namespace kdinstr::modules::instructions
