#pragma once
// Item texts that the records' debug forms put into their lists and optionals.
#include <cstdint>
#include <string>
#include <utility>

#include "kdinstr/modules/calling_convention.hpp"
#include "kdinstr/modules/instructions/qualifiers.hpp"
#include "kdinstr/modules/label_debug.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::modules::instructions::debug_items {

inline std::string decimal(std::uint32_t v) { return std::to_string(v); }
inline std::string operand(const Operand& o) { return o.debug(); }
inline std::string name(const Name& n) { return n.to_string(); }
inline std::string typeref(const types::Typeref& t) { return t.debug(); }
inline std::string cconv(const CallingConvention& c) { return c.debug(); }
inline std::string ordering(MemoryOrdering m) { return std::string(debug_name(m)); }
inline std::string phi_pair(const std::pair<Operand, Label>& p) {
    // Appending in steps: GCC 12 at -O3 reports a false -Wrestrict on a chain of temporaries.
    std::string out = "(";
    out += p.first.debug();
    out += ", ";
    out += debug_label(p.second);
    out += ')';
    return out;
}

}  // namespace kdinstr::modules::instructions::debug_items
