#include "kdinstr/types/aggregate.hpp"

#include <fmt/format.h>

#include "kdinstr/types/any_type.hpp"
#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::types::aggregate {

std::string ArrayType::debug() const {
    return utils::debug_record("ArrayType",
                               {{"element", element.debug()}, {"count", fmt::format("{}", count)}});
}

StructFmt StructType::internal_fmt(const TypeMap& types) const { return StructFmt{*this, types}; }

std::string StructType::debug() const {
    return utils::debug_record(
        "StructType",
        {{"elements", utils::debug_list(elements, [](const Typeref& t) { return t.debug(); })},
         {"packed", packed ? "true" : "false"}});
}

std::string StructFmt::to_string() const { return type_text(types, AnyType(value)); }

}  // namespace kdinstr::types::aggregate
