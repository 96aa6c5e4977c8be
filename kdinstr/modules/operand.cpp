#include "kdinstr/modules/operand.hpp"

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules {

std::string_view to_string(Operand::Kind kind) {
    switch (kind) {
        case Operand::Kind::Reg:
            return "Reg";
        case Operand::Kind::Imm:
            return "Imm";
        case Operand::Kind::Undef:
            return "Undef";
    }
    return "?";
}

namespace {

struct PayloadDebug {
    // A register's debug text is its display text.
    std::string operator()(const Name& n) const { return n.to_string(); }
    std::string operator()(const consts::AnyConst& c) const { return c.debug(); }
    std::string operator()(const types::Typeref& t) const { return t.debug(); }
};

}  // namespace

std::string Operand::debug() const {
    return utils::debug_tuple(to_string(kind()), std::visit(PayloadDebug{}, value_));
}

}  // namespace kdinstr::modules
