#include "kdinstr/consts/fp_const.hpp"

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::consts {

std::string FConst::to_string() const {
    return fmt::format("{} {}", types::primary::ftype_text(ty), value.to_string());
}

std::string FConst::debug() const {
    return utils::debug_record(
        "FConst", {{"ty", std::string(types::primary::ftype_debug(ty))}, {"value", value.debug()}});
}

}  // namespace kdinstr::consts
