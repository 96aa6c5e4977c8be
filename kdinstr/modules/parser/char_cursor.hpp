#pragma once
// The lexer's position in the source text and its primitives over characters, each recording its
// failure as the error core asks (diagnostics.hpp). Shared by the lexer and the numerals.
//
// A byte that is not part of well-formed UTF-8 is a character that nothing accepts: every
// `just` misses it and every `filter` rejects it, so the text fails there.
#include <cstddef>
#include <string>
#include <string_view>

#include "kdinstr/modules/parser/diagnostics.hpp"
#include "kdinstr/utils/unicode.hpp"

namespace kdinstr::modules::parser {

template <bool Track>
class CharCursor {
  public:
    CharCursor(std::string_view text, Diagnostics<Track>& diag, std::size_t pos = 0)
        : text_(text), pos_(pos), diag_(diag) {}

    std::string_view text() const { return text_; }
    std::size_t pos() const { return pos_; }
    bool at_end() const { return pos_ >= text_.size(); }
    // The byte at the position; requires !at_end().
    unsigned char byte() const { return static_cast<unsigned char>(text_[pos_]); }
    Diagnostics<Track>& diag() { return diag_; }

    // The character at the position: its code point and length in bytes; length 0 for a byte
    // that is not UTF-8. Requires !at_end().
    struct Char {
        char32_t cp;
        std::size_t len;
    };
    Char peek() const {
        const unsigned char b = byte();
        if (b < 0x80) return Char{b, 1};
        char32_t cp = 0;
        const std::size_t len = utils::decode_utf8(text_, pos_, cp);
        return Char{cp, len};
    }

    // One specific ASCII character.
    bool just(char c) {
        if (!at_end() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        diag_.fail(pos_, Expected::character(static_cast<unsigned char>(c)));
        return false;
    }
    // One of two ASCII characters; a miss expects both, in this order.
    bool one_of(char a, char b) {
        if (!at_end() && (text_[pos_] == a || text_[pos_] == b)) {
            ++pos_;
            return true;
        }
        diag_.fail(pos_, {Expected::character(static_cast<unsigned char>(a)),
                          Expected::character(static_cast<unsigned char>(b))});
        return false;
    }
    // One character that `pred(code point)` accepts; records "any" at the end of the text and
    // "something else" for a rejected (or malformed) character.
    template <typename Pred>
    bool filter(Pred&& pred) {
        if (at_end()) {
            diag_.fail(pos_, Expected::any());
            return false;
        }
        const Char c = peek();
        if (c.len != 0 && pred(c.cp)) {
            pos_ += c.len;
            return true;
        }
        diag_.fail(pos_, Expected::something_else());
        return false;
    }
    // As `filter`, for a class of ASCII bytes only (digits and the like): no decoding.
    template <typename Pred>
    bool filter_ascii(Pred&& pred) {
        if (at_end()) {
            diag_.fail(pos_, Expected::any());
            return false;
        }
        if (pred(byte())) {
            ++pos_;
            return true;
        }
        diag_.fail(pos_, Expected::something_else());
        return false;
    }
    // Zero or more characters of a class, as many as follow; records the failure that stops it.
    template <typename Pred>
    std::size_t run(Pred&& pred) {
        const std::size_t start = pos_;
        // ASCII needs no decoding; the general loop takes over at the first other byte and
        // records the stop.
        while (pos_ < text_.size() && byte() < 0x80 && pred(static_cast<char32_t>(byte()))) ++pos_;
        std::size_t n = pos_ - start;
        while (filter(pred)) ++n;
        return n;
    }
    template <typename Pred>
    std::size_t run_ascii(Pred&& pred) {
        const std::size_t start = pos_;
        while (!at_end() && pred(byte())) ++pos_;
        // The stop, recorded as `filter_ascii` would.
        filter_ascii(pred);
        return pos_ - start;
    }

    // Moves forward to `p` over characters the caller has already checked; records nothing.
    void skip_to(std::size_t p) { pos_ = p; }

    Mark mark() const { return Mark{pos_, diag_.emitted_count()}; }
    void rewind(Mark m) {
        pos_ = m.pos;
        diag_.truncate_emitted(m.emitted);
    }
    void emit(Span span, std::string message) { diag_.emit(span, std::move(message)); }

  private:
    std::string_view text_;
    std::size_t pos_;
    Diagnostics<Track>& diag_;
};

// Blank: White_Space other than line feed.
inline bool is_blank(char32_t c) {
    if (c < 0x80) return c == ' ' || c == '\t' || c == '\r' || c == 0x0B || c == 0x0C;
    return utils::is_white_space(c);
}

// Word character: XID_Continue.
inline bool is_word_char(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    }
    return utils::is_xid_continue(c);
}

// Register character: a word character or ".".
inline bool is_register_char(char32_t c) { return c == '.' || is_word_char(c); }

}  // namespace kdinstr::modules::parser
