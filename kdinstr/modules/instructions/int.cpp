#include "kdinstr/modules/instructions/int.hpp"

#include <string>

#include "kdinstr/modules/instructions/debug_items.hpp"
#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules::instructions {

std::string IAdd::debug() const {
    return utils::debug_record("IAdd", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                           {"variant", std::string(debug_name(variant))},
                                       });
}

std::string ISub::debug() const {
    return utils::debug_record("ISub", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                           {"variant", std::string(debug_name(variant))},
                                       });
}

std::string IMul::debug() const {
    return utils::debug_record("IMul", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                           {"variant", std::string(debug_name(variant))},
                                       });
}

std::string IDiv::debug() const {
    return utils::debug_record("IDiv", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                           {"signedness", std::string(debug_name(signedness))},
                                       });
}

std::string IRem::debug() const {
    return utils::debug_record("IRem", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                           {"signedness", std::string(debug_name(signedness))},
                                       });
}

std::string ICmp::debug() const {
    return utils::debug_record("ICmp", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                           {"variant", std::string(debug_name(variant))},
                                       });
}

std::string ISht::debug() const {
    return utils::debug_record("ISht", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                           {"variant", std::string(debug_name(variant))},
                                       });
}

std::string INeg::debug() const {
    return utils::debug_record("INeg", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"value", value.debug()},
                                       });
}

std::string IAnd::debug() const {
    return utils::debug_record("IAnd", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                       });
}

std::string IOr::debug() const {
    return utils::debug_record("IOr", {
                                          {"dest", dest.to_string()},
                                          {"ty", ty.debug()},
                                          {"lhs", lhs.debug()},
                                          {"rhs", rhs.debug()},
                                      });
}

std::string IXor::debug() const {
    return utils::debug_record("IXor", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                       });
}

std::string INot::debug() const {
    return utils::debug_record("INot", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"value", value.debug()},
                                       });
}

std::string IImplies::debug() const {
    return utils::debug_record("IImplies", {
                                               {"dest", dest.to_string()},
                                               {"ty", ty.debug()},
                                               {"lhs", lhs.debug()},
                                               {"rhs", rhs.debug()},
                                           });
}

std::string IEquiv::debug() const {
    return utils::debug_record("IEquiv", {
                                             {"dest", dest.to_string()},
                                             {"ty", ty.debug()},
                                             {"lhs", lhs.debug()},
                                             {"rhs", rhs.debug()},
                                         });
}

}  // namespace kdinstr::modules::instructions
