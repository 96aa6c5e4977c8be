#include "kdinstr/utils/escape.hpp"

#include <fmt/format.h>

#include <cstdint>

#include "kdinstr/utils/unicode.hpp"

namespace kdinstr::utils {

namespace {

void append_char(std::string& out, char32_t c, char quote) {
    switch (c) {
        case U'\t':
            out += "\\t";
            return;
        case U'\r':
            out += "\\r";
            return;
        case U'\n':
            out += "\\n";
            return;
        case U'\\':
            out += "\\\\";
            return;
        case U'\0':
            out += "\\0";
            return;
        default:
            break;
    }
    if (c == static_cast<char32_t>(quote)) {
        out += '\\';
        out += quote;
    } else if (c >= 0x20 && c < 0x7F) {
        out += static_cast<char>(c);
    } else if (c > 0x10FFFF || is_grapheme_extend(c) || !is_printable(c)) {
        fmt::format_to(std::back_inserter(out), "\\u{{{:x}}}", static_cast<std::uint32_t>(c));
    } else {
        append_utf8(out, c);
    }
}

}  // namespace

void append_escaped(std::string& out, std::string_view text, char quote) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        // Printable ASCII other than the quote and the backslash: the common case, copied as runs.
        if (b >= 0x20 && b < 0x7F && b != '\\' && b != static_cast<unsigned char>(quote)) {
            std::size_t j = i + 1;
            while (j < text.size()) {
                const auto bj = static_cast<unsigned char>(text[j]);
                if (bj < 0x20 || bj >= 0x7F || bj == '\\' || bj == static_cast<unsigned char>(quote))
                    break;
                ++j;
            }
            out.append(text.substr(i, j - i));
            i = j;
            continue;
        }
        char32_t c = 0;
        const std::size_t len = decode_utf8(text, i, c);
        if (len == 0) {
            fmt::format_to(std::back_inserter(out), "\\x{:02x}", b);
            ++i;
            continue;
        }
        append_char(out, c, quote);
        i += len;
    }
}

std::string quote_text(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    append_escaped(out, text, '"');
    out += '"';
    return out;
}

std::string quote_char(char32_t c) {
    std::string out = "'";
    append_char(out, c, '\'');
    out += '\'';
    return out;
}

}  // namespace kdinstr::utils
