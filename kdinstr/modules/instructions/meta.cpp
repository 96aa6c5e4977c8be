#include "kdinstr/modules/instructions/meta.hpp"

#include <string>

#include "kdinstr/modules/instructions/debug_items.hpp"
#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules::instructions {

std::string MetaProbOperand::debug() const {
    return utils::debug_tuple(debug_name(kind), value.debug());
}

std::string MetaAssert::debug() const {
    return utils::debug_record("MetaAssert", {
                                                 {"condition", condition.debug()},
                                             });
}

std::string MetaAssume::debug() const {
    return utils::debug_record("MetaAssume", {
                                                 {"condition", condition.debug()},
                                             });
}

std::string MetaIsDef::debug() const {
    return utils::debug_record("MetaIsDef", {
                                                {"dest", dest.to_string()},
                                                {"ty", ty.debug()},
                                                {"operand", operand.debug()},
                                            });
}

std::string MetaProb::debug() const {
    return utils::debug_record("MetaProb", {
                                               {"dest", dest.to_string()},
                                               {"ty", ty.debug()},
                                               {"operand", operand.debug()},
                                           });
}

std::string MetaAnalysisStat::debug() const {
    return utils::debug_record("MetaAnalysisStat", {
                                                       {"dest", dest.to_string()},
                                                       {"ty", ty.debug()},
                                                       {"statistic", analysis::debug(statistic)},
                                                   });
}

std::string MetaForall::debug() const {
    return utils::debug_record("MetaForall", {
                                                 {"dest", dest.to_string()},
                                                 {"ty", ty.debug()},
                                             });
}

}  // namespace kdinstr::modules::instructions
