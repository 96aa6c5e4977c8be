#include "kdinstr/modules/instructions/kd_instr.hpp"

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules::instructions {

std::string KdInstr::debug() const {
    const std::string record = std::visit([](const auto& r) { return r.debug(); }, as_variant());
    return utils::debug_tuple(debug_name(opcode()), record);
}

}  // namespace kdinstr::modules::instructions
