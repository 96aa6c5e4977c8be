#pragma once
// Words and debug names of the IR's small field-less enums, read and written in one way.
//
// Each enum specialises `EnumWords` with two arrays indexed by the enum's value: the word that
// the text parser accepts (and most printers write) and the debug name. Keeping both tables
// beside the enum is what keeps the lexer, the builder and the printer in agreement. Enums that
// the instruction builder reads from variant words also give `unknown_word_message`, the
// template ({} the word as written, {} the word list) for a word that names no value.
#include <fmt/format.h>

#include <array>
#include <concepts>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules {

template <typename E>
struct EnumWords;

template <typename E>
concept WordEnum = requires {
    EnumWords<E>::words;
    EnumWords<E>::debug_names;
};

// The message template for a word that names no value: the word, then `word_list`.
using UnknownWordMessage = fmt::format_string<std::string_view, std::string>;

template <typename E>
concept VariantWordEnum = WordEnum<E> && requires {
    { EnumWords<E>::unknown_word_message } -> std::convertible_to<UnknownWordMessage>;
};

// All words in value order (value 0 first).
template <WordEnum E>
constexpr std::span<const std::string_view> words() {
    return EnumWords<E>::words;
}

// Number of values of the enum; a raw byte at or above it names no value.
template <WordEnum E>
constexpr std::size_t value_count() {
    return EnumWords<E>::words.size();
}

// The value numbered `raw`, or none when it is out of range (decoders reject such bytes).
template <WordEnum E>
constexpr std::optional<E> from_raw(std::size_t raw) {
    if (raw >= value_count<E>()) return std::nullopt;
    return static_cast<E>(raw);
}

namespace detail {
[[noreturn]] inline void bad_enum_value(std::size_t raw) {
    utils::panic("enum value {} out of range", raw);
}
}  // namespace detail

template <WordEnum E>
constexpr std::string_view word(E value) {
    const auto raw = static_cast<std::size_t>(value);
    if (raw >= value_count<E>()) detail::bad_enum_value(raw);
    return EnumWords<E>::words[raw];
}

template <WordEnum E>
constexpr std::string_view debug_name(E value) {
    const auto raw = static_cast<std::size_t>(value);
    if (raw >= value_count<E>()) detail::bad_enum_value(raw);
    return EnumWords<E>::debug_names[raw];
}

// The value whose word equals the whole text, case included; none otherwise (no message).
template <WordEnum E>
constexpr std::optional<E> from_str(std::string_view text) {
    const auto& all = EnumWords<E>::words;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] == text) return static_cast<E>(i);
    return std::nullopt;
}

// All words in value order joined by ", ", as messages list them.
template <WordEnum E>
std::string word_list() {
    return fmt::format("{}", fmt::join(EnumWords<E>::words, ", "));
}

// The message for a variant word that names no value of `E`.
template <VariantWordEnum E>
std::string unknown_word_message(std::string_view word) {
    return fmt::format(EnumWords<E>::unknown_word_message, std::string_view(word), word_list<E>());
}

}  // namespace kdinstr::modules
