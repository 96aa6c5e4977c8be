#include "kdinstr/consts/any_const.hpp"

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::consts {

std::string_view to_string(AnyConst::Kind kind) {
    switch (kind) {
        case AnyConst::Kind::Int:
            return "Int";
        case AnyConst::Kind::Float:
            return "Float";
        case AnyConst::Kind::FuncPtr:
            return "FuncPtr";
    }
    return "?";
}

std::string AnyConst::debug() const {
    const std::string payload = std::visit([](const auto& c) { return c.debug(); }, value_);
    return utils::debug_tuple(to_string(kind()), payload);
}

}  // namespace kdinstr::consts
