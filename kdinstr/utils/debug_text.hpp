#pragma once
// The one debug style of the IR's values: records as `Name { field: value, .. }`, one-value
// variants as `Name(value)`, optionals as Some(..)/None, lists as "[a, b]", texts quoted.
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kdinstr::utils {

// The text between double quotes, escaped as `quote_text` (kdinstr/utils/escape.hpp) does.
std::string debug_quote(std::string_view text);

// "[" + items joined by ", " + "]"; `item(element)` gives each element's debug text.
template <typename Range, typename ItemFn>
std::string debug_list(const Range& range, ItemFn&& item) {
    std::string out = "[";
    bool first = true;
    for (const auto& element : range) {
        if (!first) out += ", ";
        first = false;
        out += item(element);
    }
    out += "]";
    return out;
}

// A list of texts, each quoted: ["a", "b"].
template <typename Range>
std::string debug_text_list(const Range& texts) {
    return debug_list(texts, [](const auto& text) { return debug_quote(text); });
}

// Some(item(value)) or None.
template <typename T, typename ItemFn>
std::string debug_optional(const std::optional<T>& value, ItemFn&& item) {
    if (!value) return "None";
    return "Some(" + std::string(item(*value)) + ")";
}

// Some("quoted text") or None.
std::string debug_optional_text(const std::optional<std::string>& text);

// `name(payload)`: a variant carrying one value, already in debug form.
std::string debug_tuple(std::string_view name, std::string_view payload);

// `name { f1: v1, f2: v2 }` with values already in debug form; `name` alone without fields.
std::string debug_record(std::string_view name,
                         std::initializer_list<std::pair<std::string_view, std::string>> fields);

}  // namespace kdinstr::utils
