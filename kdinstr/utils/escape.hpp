#pragma once
// The one escaping of texts shown in debug form (token texts, quoted lists in messages, the
// character in a version-requirement error). The rules are the usual debug escapes:
//   \t \r \n \\ and \0 for those characters; a backslash before the quote that encloses the text
//   (\" in a quoted text, \' in a quoted character; the other quote stays as it is);
//   \u{hex} (lower case, no leading zeros) for every character that is not printable (categories
//   Zs other than U+0020, Zl, Zp, Cc, Cf, Cs, Co, Cn) or that has Grapheme_Extend, so a combining
//   mark never fuses with the quote or backslash before it: "e\u{301}";
//   \xNN for each byte that is not part of well-formed UTF-8 (possible from C++ callers only).
// Everything else is copied unchanged.
#include <string>
#include <string_view>

namespace kdinstr::utils {

// Appends `text` escaped for a text enclosed in `quote` (either '"' or '\'').
void append_escaped(std::string& out, std::string_view text, char quote);

// `"` + escaped text + `"`.
std::string quote_text(std::string_view text);

// `'` + the escaped character + `'`.
std::string quote_char(char32_t c);

}  // namespace kdinstr::utils
