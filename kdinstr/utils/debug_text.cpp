#include "kdinstr/utils/debug_text.hpp"

#include "kdinstr/utils/escape.hpp"

namespace kdinstr::utils {

std::string debug_quote(std::string_view text) { return quote_text(text); }

std::string debug_optional_text(const std::optional<std::string>& text) {
    return debug_optional(text, [](const std::string& t) { return debug_quote(t); });
}

std::string debug_tuple(std::string_view name, std::string_view payload) {
    std::string out(name);
    out += '(';
    out += payload;
    out += ')';
    return out;
}

std::string debug_record(std::string_view name,
                         std::initializer_list<std::pair<std::string_view, std::string>> fields) {
    std::string out(name);
    if (fields.size() == 0) return out;
    out += " { ";
    bool first = true;
    for (const auto& [field, value] : fields) {
        if (!first) out += ", ";
        first = false;
        out += field;
        out += ": ";
        out += value;
    }
    out += " }";
    return out;
}

}  // namespace kdinstr::utils
