#include "kdinstr/utils/unicode.hpp"

#include <cstdint>

#include "kdinstr/utils/unicode_tables.hpp"

namespace kdinstr::utils {

namespace {

template <std::size_t N, std::size_t B>
bool lookup(const std::uint8_t (&index)[N], const std::uint64_t (&blocks)[B][4], char32_t cp) {
    const std::size_t high = cp >> unicode_tables::block_bits;
    if (high >= N) return false;
    const std::uint64_t word = blocks[index[high]][(cp >> 6) & 3];
    return (word >> (cp & 63)) & 1;
}

}  // namespace

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool is_white_space(char32_t cp) {
    return lookup(unicode_tables::white_space_index, unicode_tables::white_space_blocks, cp);
}

bool is_xid_continue(char32_t cp) {
    return lookup(unicode_tables::xid_continue_index, unicode_tables::xid_continue_blocks, cp);
}

bool is_grapheme_extend(char32_t cp) {
    return lookup(unicode_tables::grapheme_extend_index, unicode_tables::grapheme_extend_blocks,
                  cp);
}

bool is_printable(char32_t cp) {
    return !lookup(unicode_tables::not_printable_index, unicode_tables::not_printable_blocks, cp);
}

}  // namespace kdinstr::utils
