#include "kdinstr/modules/instructions/fp.hpp"

#include <string>

#include "kdinstr/modules/instructions/debug_items.hpp"
#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules::instructions {

std::string FAdd::debug() const {
    return utils::debug_record("FAdd", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                       });
}

std::string FSub::debug() const {
    return utils::debug_record("FSub", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                       });
}

std::string FMul::debug() const {
    return utils::debug_record("FMul", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                       });
}

std::string FDiv::debug() const {
    return utils::debug_record("FDiv", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                       });
}

std::string FRem::debug() const {
    return utils::debug_record("FRem", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                       });
}

std::string FCmp::debug() const {
    return utils::debug_record("FCmp", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"lhs", lhs.debug()},
                                           {"rhs", rhs.debug()},
                                           {"variant", std::string(debug_name(variant))},
                                       });
}

std::string FNeg::debug() const {
    return utils::debug_record("FNeg", {
                                           {"dest", dest.to_string()},
                                           {"ty", ty.debug()},
                                           {"value", value.debug()},
                                       });
}

}  // namespace kdinstr::modules::instructions
