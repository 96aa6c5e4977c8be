#pragma once
// UTF-8 decoding and the few Unicode character classes the IR's texts need. The classes come from
// generated tables (scripts/gen_unicode_tables.py), so the build needs no Unicode library.
#include <cstddef>
#include <string>
#include <string_view>

namespace kdinstr::utils {

// Decodes the well-formed UTF-8 sequence at text[i] (i < text.size()) into `cp` and returns its
// length, 1 to 4. Returns 0 when the bytes there are no such sequence: a stray continuation byte,
// a truncated sequence, an overlong form, a surrogate or a value above U+10FFFF. Never reads
// past the end of `text`.
inline std::size_t decode_utf8(std::string_view text, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (len > text.size() - i) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Appends the UTF-8 form of a code point (at most U+10FFFF, no surrogate).
void append_utf8(std::string& out, char32_t cp);

// Unicode White_Space.
bool is_white_space(char32_t cp);
// Unicode XID_Continue (ASCII: letters, digits and "_").
bool is_xid_continue(char32_t cp);
// Unicode Grapheme_Extend: combining marks and the like, which attach to what precedes them.
bool is_grapheme_extend(char32_t cp);
// Not one of the categories Zs (U+0020 excepted), Zl, Zp, Cc, Cf, Cs, Co, Cn.
bool is_printable(char32_t cp);

}  // namespace kdinstr::utils
