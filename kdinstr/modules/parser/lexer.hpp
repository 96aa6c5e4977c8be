#pragma once
// The first stage of reading IR assembly: characters to positioned tokens, with every keyword
// decided here (a word naming an IR enum value, a mnemonic or an integer width becomes a token of
// that kind; any other word is an identifier).
//
// Structure, as the messages show it (each alternative is tried in this order at every token):
//   text      = step* spacing end-of-input
//   step      = spacing token spacing        (a token owns its trailing spacing; the first token
//                                              also owns the leading one)
//   spacing   = (blank | comment["comment"])*  ["whitespace or comment"]
//   comment   = ";" (any character but a line feed)*
//   token     = numeral["numeral"] | string["string literal"] | "(" | ")" | "{" | "}" | "[" | "]"
//             | "<" | ">" | "," | ":" | "=" | (spacing "\n" spacing)+ | register["register"]
//             | word["identifier or keyword or itype"]
//   string    = '"' (character other than '"' and '\' | '\' any)* '"'
//   register  = "%" (word character | ".")*
//   word      = "!"? word-character+ ("." word-character*)*
//   numeral   = see numeral.hpp
// A filter (blank, word character, digit, ...) that rejects a character records "something
// else"; a character required at the end of the text records "any".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kdinstr/modules/parser/token_list.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::modules::parser {

struct LexResult {
    // Absent when lexing failed: then `errors` ends with the failure that reached furthest.
    std::optional<TokenList> tokens;
    // The recorded errors in text order (with or without a token list), then the final failure.
    // Offsets are bytes into the source text.
    std::vector<utils::ParserError> errors;
};

// Lexes one source text. The token list refers to `source`, which must outlive it.
LexResult lexer(std::string_view source);

// How the lexer re-runs a failed text with full error tracking: from the start of the
// `lookback`-th token before the one that failed (the failures of a token's alternatives lie at
// most three bytes past its text, and every token takes at least one byte, so four tokens back
// no earlier failure can reach the final position). Exposed for tests, which compare it with a
// re-run from the start of the text.
inline constexpr std::size_t lexer_restart_lookback = 4;
std::optional<utils::ParserError> lexer_final_failure(std::string_view source,
                                                      std::size_t restart_token);

// The messages the lexer records (custom errors); each spans the word or literal alone.
struct LexerMessages {
    // "visibility '{}' does not take any variants, but variants were provided"
    static std::string visibility_variants(std::string_view head);
    // "calling convention '{}' does not take any variants, but variants were provided"
    static std::string calling_convention_variants(std::string_view head);
    // "terminator operation '{}' does not take any variants, but variants were provided"
    static std::string terminator_variants(std::string_view head);
    // "invalid integer type width '{}': {}" with the digits after "i" and the reason.
    static std::string invalid_width(std::string_view digits, std::string_view reason);
    // "invalid decimal literal '{}': {}"
    static std::string invalid_decimal(std::string_view literal, std::string_view reason);
    // "Exponent overflow when parsing '{}'"
    static std::string exponent_overflow(std::string_view literal);
    // The integer reader's reasons.
    static constexpr std::string_view empty_integer = "cannot parse integer from empty string";
    static constexpr std::string_view integer_too_large = "number too large to fit in target type";
    static constexpr std::string_view integer_too_small = "number too small to fit in target type";
    // "source text of {} bytes is too long (at most {} bytes can be read)": offsets are 32-bit.
    static std::string source_too_long(std::size_t size);
};

}  // namespace kdinstr::modules::parser
