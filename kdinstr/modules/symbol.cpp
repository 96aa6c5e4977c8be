#include "kdinstr/modules/symbol.hpp"

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::modules {

std::string_view to_string(FunctionPointerKind kind) {
    return kind == FunctionPointerKind::Internal ? "internal" : "external";
}

std::string FunctionPointer::debug() const {
    return utils::debug_tuple(is_internal() ? "Internal" : "External", uuid_.to_string());
}

}  // namespace kdinstr::modules
