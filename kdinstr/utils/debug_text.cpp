#include "kdinstr/utils/debug_text.hpp"

#include <fmt/format.h>

#include <cstdint>

namespace kdinstr::utils {

namespace {

// Length of the well-formed UTF-8 sequence at text[i] and its code point, or 0 when the bytes
// there are not UTF-8 (overlong forms and surrogates included).
std::size_t decode_utf8(std::string_view text, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t b0 = byte(i);
    std::size_t len = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const std::uint8_t b = byte(i + k);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool is_control(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

}  // namespace

std::string debug_quote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t len = decode_utf8(text, i, cp);
        if (len == 0) {
            out += fmt::format("\\x{:02x}", static_cast<std::uint8_t>(text[i]));
            ++i;
            continue;
        }
        switch (cp) {
            case U'"':
                out += "\\\"";
                break;
            case U'\\':
                out += "\\\\";
                break;
            case U'\n':
                out += "\\n";
                break;
            case U'\r':
                out += "\\r";
                break;
            case U'\t':
                out += "\\t";
                break;
            case U'\0':
                out += "\\0";
                break;
            default:
                if (is_control(cp)) {
                    out += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(cp));
                } else {
                    out.append(text.substr(i, len));
                }
        }
        i += len;
    }
    out += '"';
    return out;
}

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
