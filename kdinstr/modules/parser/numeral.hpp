#pragma once
// Numeric literals, the lexer's first alternative (label "numeral"). Six forms are tried in this
// order at the same position, the first that matches making the token:
//   1. sign? digits "." digits (("e"|"E") sign? digits)?   -> Decimal
//   2. sign? digits ("e"|"E") sign? digits                 -> Decimal
//   3. sign? ("0x"|"0X") hex-digits                        -> Number
//   4. sign? ("0o"|"0O") octal-digits                      -> Number
//   5. sign? ("0b"|"0B") binary-digits                     -> Number
//   6. sign? digits                                        -> Number
// where sign is "+" or "-" and each digit run takes as many digits of its class as follow (at
// least one). A form that fails consumes nothing; its failure stays recorded, so a form that got
// further than the one that made the token may still be the text's final failure (1.x).
#include <gmpxx.h>

#include <cstdint>

#include "kdinstr/consts/big_decimal.hpp"
#include "kdinstr/modules/parser/char_cursor.hpp"

namespace kdinstr::modules::parser {

struct NumeralValue {
    enum class Kind { SmallNumber, BigNumber, Decimal };
    Kind kind = Kind::SmallNumber;
    std::int64_t small = 0;
    mpz_class big;
    consts::BigDecimal decimal;
};

// Reads a numeral at the cursor: on success the cursor is past the literal and `value` holds it
// (the tracked run leaves `value` alone); a decimal whose exponent or scale is out of range emits
// "invalid decimal literal '{}': {}" over the literal and gives zero. On failure nothing is
// consumed.
template <bool Track>
bool numeral_parser(CharCursor<Track>& c, NumeralValue& value);

}  // namespace kdinstr::modules::parser
