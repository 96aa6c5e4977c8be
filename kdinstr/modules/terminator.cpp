#include "kdinstr/modules/terminator.hpp"

#include "kdinstr/modules/label_debug.hpp"
#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules {

std::string KdTerminator::debug() const {
    switch (op()) {
        case KdTerminatorOp::Branch: {
            const auto& b = std::get<Branch>(*this);
            return utils::debug_tuple("Branch", b.condition.debug() + ", " +
                                                    debug_label(b.true_target) + ", " +
                                                    debug_label(b.false_target));
        }
        case KdTerminatorOp::Jump:
            return utils::debug_tuple("Jump", debug_label(std::get<Jump>(*this).target));
        case KdTerminatorOp::Ret:
            return utils::debug_tuple(
                "Ret", utils::debug_optional(std::get<Ret>(*this).value,
                                             [](const Operand& o) { return o.debug(); }));
        case KdTerminatorOp::Trap:
            break;
    }
    return "Trap";
}

}  // namespace kdinstr::modules
