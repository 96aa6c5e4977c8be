#include "kdinstr/modules/parser/numeral.hpp"

#include <cstdint>
#include <expected>
#include <limits>
#include <string>

#include "kdinstr/modules/parser/lexer.hpp"

namespace kdinstr::modules::parser {

namespace {

using Wide = __int128;

bool is_dec(unsigned char b) { return b >= '0' && b <= '9'; }
bool is_hex(unsigned char b) {
    return is_dec(b) || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
}
bool is_oct(unsigned char b) { return b >= '0' && b <= '7'; }
bool is_bin(unsigned char b) { return b == '0' || b == '1'; }

// A literal as matched: byte ranges into the text.
struct Matched {
    std::size_t start = 0;
    std::size_t end = 0;
    bool negative = false;
    int base = 10;
    Span digits;             // integer digits (forms 1, 2, 6) or the digits after the prefix
    Span fraction;           // form 1
    std::optional<Span> exponent;  // sign and digits after "e"
    bool decimal = false;
};

template <bool Track>
void optional_sign(CharCursor<Track>& c, Matched& m) {
    const std::size_t at = c.pos();
    if (c.one_of('+', '-')) m.negative = c.text()[at] == '-';
}

// One or more digits of a class, as many as follow.
template <bool Track, typename Pred>
bool digit_run(CharCursor<Track>& c, Pred pred, Span& span) {
    span.start = c.pos();
    if (!c.filter_ascii(pred)) return false;
    c.run_ascii(pred);
    span.end = c.pos();
    return true;
}

// ("e" | "E") sign? digits, taken only when all of it is there.
template <bool Track>
bool exponent_part(CharCursor<Track>& c, Matched& m) {
    const Mark at = c.mark();
    if (!c.one_of('e', 'E')) return false;
    const std::size_t sign_start = c.pos();
    Matched sign;
    optional_sign(c, sign);
    Span digits;
    if (!digit_run(c, is_dec, digits)) {
        c.rewind(at);
        return false;
    }
    m.exponent = Span{sign_start, digits.end};
    return true;
}

template <bool Track>
bool form_fraction(CharCursor<Track>& c, Matched& m) {
    const Mark at = c.mark();
    optional_sign(c, m);
    if (digit_run(c, is_dec, m.digits) && c.just('.') && digit_run(c, is_dec, m.fraction)) {
        exponent_part(c, m);
        m.decimal = true;
        return true;
    }
    c.rewind(at);
    return false;
}

template <bool Track>
bool form_exponent(CharCursor<Track>& c, Matched& m) {
    const Mark at = c.mark();
    optional_sign(c, m);
    if (digit_run(c, is_dec, m.digits) && exponent_part(c, m)) {
        m.fraction = Span{m.digits.end, m.digits.end};
        m.decimal = true;
        return true;
    }
    c.rewind(at);
    return false;
}

// "0x" | "0X" (likewise for o and b): each spelling tried as a whole.
template <bool Track>
bool prefix(CharCursor<Track>& c, char lower, char upper) {
    const Mark at = c.mark();
    if (c.just('0') && c.just(lower)) return true;
    c.rewind(at);
    if (c.just('0') && c.just(upper)) return true;
    c.rewind(at);
    return false;
}

template <bool Track, typename Pred>
bool form_based(CharCursor<Track>& c, Matched& m, char lower, char upper, int base, Pred pred) {
    const Mark at = c.mark();
    optional_sign(c, m);
    if (prefix(c, lower, upper) && digit_run(c, pred, m.digits)) {
        m.base = base;
        return true;
    }
    c.rewind(at);
    return false;
}

template <bool Track>
bool form_integer(CharCursor<Track>& c, Matched& m) {
    const Mark at = c.mark();
    optional_sign(c, m);
    if (digit_run(c, is_dec, m.digits)) return true;
    c.rewind(at);
    return false;
}

// The fast run's shortcut: sign and decimal digits followed by none of ". e E x X o O b B"
// can only be form 6 (forms 1 to 5 all need one of those right after the first digit run).
bool plain_integer_ahead(std::string_view text, std::size_t pos) {
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    const std::size_t digits = pos;
    while (pos < text.size() && is_dec(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos == digits) return false;
    if (pos == text.size()) return true;
    switch (text[pos]) {
        case '.': case 'e': case 'E': case 'x': case 'X': case 'o': case 'O': case 'b': case 'B':
            return false;
        default:
            return true;
    }
}

int digit_value(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return ch - 'A' + 10;
}

// The integer of `digits` in `base`, negated when `negative`.
void integer_value(std::string_view digits, int base, bool negative, NumeralValue& out) {
    std::uint64_t magnitude = 0;
    bool fits = true;
    for (const char ch : digits) {
        const auto d = static_cast<std::uint64_t>(digit_value(ch));
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - d) /
                            static_cast<std::uint64_t>(base)) {
            fits = false;
            break;
        }
        magnitude = magnitude * static_cast<std::uint64_t>(base) + d;
    }
    constexpr std::uint64_t limit = std::uint64_t{1} << 63;
    if (fits && (magnitude < limit || (negative && magnitude == limit))) {
        out.kind = NumeralValue::Kind::SmallNumber;
        out.small = negative ? static_cast<std::int64_t>(0 - magnitude)
                             : static_cast<std::int64_t>(magnitude);
        return;
    }
    out.kind = NumeralValue::Kind::BigNumber;
    const std::string text(digits);
    mpz_set_str(out.big.get_mpz_t(), text.c_str(), base);
    if (negative) mpz_neg(out.big.get_mpz_t(), out.big.get_mpz_t());
}

// A signed 128-bit integer from an optional sign and decimal digits, with the integer reader's
// reasons for values out of range.
std::expected<Wide, std::string_view> read_i128(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::unexpected(LexerMessages::empty_integer);
    Wide v = 0;
    for (const char ch : text) {
        const int d = ch - '0';
        if (__builtin_mul_overflow(v, Wide{10}, &v) ||
            (negative ? __builtin_sub_overflow(v, Wide{d}, &v)
                      : __builtin_add_overflow(v, Wide{d}, &v))) {
            return std::unexpected(negative ? LexerMessages::integer_too_small
                                            : LexerMessages::integer_too_large);
        }
    }
    return v;
}

// Unscaled value and scale of forms 1 and 2; none (with the emitted error) when out of range.
template <bool Track>
void decimal_value(CharCursor<Track>& c, const Matched& m, NumeralValue& out) {
    const std::string_view text = c.text();
    const std::string_view literal = text.substr(m.start, m.end - m.start);
    out.kind = NumeralValue::Kind::Decimal;
    out.decimal = consts::BigDecimal{};

    Wide exponent = 0;
    if (m.exponent) {
        auto e = read_i128(text.substr(m.exponent->start, m.exponent->end - m.exponent->start));
        if (!e) {
            c.emit(Span{m.start, m.end}, LexerMessages::invalid_decimal(literal, e.error()));
            return;
        }
        exponent = *e;
    }
    Wide scale = 0;
    const auto fraction_digits = static_cast<Wide>(m.fraction.end - m.fraction.start);
    if (__builtin_sub_overflow(fraction_digits, exponent, &scale) ||
        scale < std::numeric_limits<std::int64_t>::min() ||
        scale > std::numeric_limits<std::int64_t>::max()) {
        c.emit(Span{m.start, m.end},
               LexerMessages::invalid_decimal(literal, LexerMessages::exponent_overflow(literal)));
        return;
    }
    std::string digits(text.substr(m.digits.start, m.digits.end - m.digits.start));
    digits.append(text.substr(m.fraction.start, m.fraction.end - m.fraction.start));
    NumeralValue unscaled;
    integer_value(digits, 10, m.negative, unscaled);
    if (unscaled.kind == NumeralValue::Kind::SmallNumber) {
        out.decimal.unscaled = unscaled.small;
    } else {
        out.decimal.unscaled = std::move(unscaled.big);
    }
    out.decimal.scale = static_cast<std::int64_t>(scale);
}

}  // namespace

template <bool Track>
bool numeral_parser(CharCursor<Track>& c, NumeralValue& value) {
    const std::size_t start = c.pos();
    Matched m;
    const auto attempt = [&](auto form) {
        m = Matched{};
        m.start = start;
        return form();
    };
    bool ok = false;
    if (!Track && plain_integer_ahead(c.text(), start)) {
        ok = attempt([&] { return form_integer(c, m); });
    } else {
        ok = attempt([&] { return form_fraction(c, m); }) ||
             attempt([&] { return form_exponent(c, m); }) ||
             attempt([&] { return form_based(c, m, 'x', 'X', 16, is_hex); }) ||
             attempt([&] { return form_based(c, m, 'o', 'O', 8, is_oct); }) ||
             attempt([&] { return form_based(c, m, 'b', 'B', 2, is_bin); }) ||
             attempt([&] { return form_integer(c, m); });
    }
    if (!ok) return false;
    m.end = c.pos();
    if constexpr (!Track) {
        if (m.decimal) {
            decimal_value(c, m, value);
        } else {
            integer_value(c.text().substr(m.digits.start, m.digits.end - m.digits.start), m.base,
                          m.negative, value);
        }
    }
    return true;
}

template bool numeral_parser<false>(CharCursor<false>&, NumeralValue&);
template bool numeral_parser<true>(CharCursor<true>&, NumeralValue&);

}  // namespace kdinstr::modules::parser
