#include "kdinstr/modules/parser/lexer.hpp"

#include <fmt/format.h>

#include <array>
#include <limits>
#include <utility>

#include "kdinstr/modules/parser/char_cursor.hpp"
#include "kdinstr/modules/parser/keyword_table.hpp"
#include "kdinstr/modules/parser/numeral.hpp"

namespace kdinstr::modules::parser {

std::string LexerMessages::visibility_variants(std::string_view head) {
    return fmt::format("visibility '{}' does not take any variants, but variants were provided",
                       head);
}
std::string LexerMessages::calling_convention_variants(std::string_view head) {
    return fmt::format(
        "calling convention '{}' does not take any variants, but variants were provided", head);
}
std::string LexerMessages::terminator_variants(std::string_view head) {
    return fmt::format(
        "terminator operation '{}' does not take any variants, but variants were provided", head);
}
std::string LexerMessages::invalid_width(std::string_view digits, std::string_view reason) {
    return fmt::format("invalid integer type width '{}': {}", digits, reason);
}
std::string LexerMessages::invalid_decimal(std::string_view literal, std::string_view reason) {
    return fmt::format("invalid decimal literal '{}': {}", literal, reason);
}
std::string LexerMessages::exponent_overflow(std::string_view literal) {
    return fmt::format("Exponent overflow when parsing '{}'", literal);
}
std::string LexerMessages::source_too_long(std::size_t size) {
    return fmt::format("source text of {} bytes is too long (at most {} bytes can be read)", size,
                       TokenList::max_source_size);
}

namespace {

// A token read but not yet stored: its span ends only after the trailing spacing. Numbers and
// strings wait in the lexer's own buffers, so that a token costs no construction of them.
struct Pending {
    TokenDiscriminants kind = TokenDiscriminants::Newline;
    std::uint8_t small = 0;
    std::uint32_t number = 0;  // IType width
    Span text;                 // word, register name
    CallingConvention cc;
};

constexpr std::array<std::pair<char, TokenDiscriminants>, 11> punctuation{{
    {'(', TokenDiscriminants::LParen},
    {')', TokenDiscriminants::RParen},
    {'{', TokenDiscriminants::LBrace},
    {'}', TokenDiscriminants::RBrace},
    {'[', TokenDiscriminants::LBracket},
    {']', TokenDiscriminants::RBracket},
    {'<', TokenDiscriminants::LAngle},
    {'>', TokenDiscriminants::RAngle},
    {',', TokenDiscriminants::Comma},
    {':', TokenDiscriminants::Colon},
    {'=', TokenDiscriminants::Equals},
}};

// The same table by byte, for the fast run's dispatch.
constexpr auto punctuation_kinds = [] {
    std::array<TokenDiscriminants, 128> kinds{};
    for (const auto& [ch, kind] : punctuation) kinds[static_cast<unsigned char>(ch)] = kind;
    return kinds;
}();

// Decimal digits that fit 32 bits, as an unsigned 32-bit reader sees them.
std::expected<std::uint32_t, std::string_view> read_u32(std::string_view digits) {
    if (digits.empty()) return std::unexpected(LexerMessages::empty_integer);
    std::uint64_t v = 0;
    for (const char ch : digits) {
        v = v * 10 + static_cast<std::uint64_t>(ch - '0');
        if (v > std::numeric_limits<std::uint32_t>::max())
            return std::unexpected(LexerMessages::integer_too_large);
    }
    return static_cast<std::uint32_t>(v);
}

bool all_ascii_digits(std::string_view text) {
    for (const char ch : text)
        if (ch < '0' || ch > '9') return false;
    return true;
}

// "cc" followed by decimal digits that fit 32 bits.
inline std::optional<std::uint32_t> numbered_convention(std::string_view head) {
    if (head.size() <= 2 || head[0] != 'c' || head[1] != 'c') return std::nullopt;
    const std::string_view digits = head.substr(2);
    if (!all_ascii_digits(digits)) return std::nullopt;
    auto n = read_u32(digits);
    if (!n) return std::nullopt;
    return *n;
}

template <bool Track>
class Lexer {
  public:
    Lexer(std::string_view text, Diagnostics<Track>& diag, std::size_t pos, TokenList* out)
        : c_(text, diag, pos), out_(out) {}

    // Steps until one fails, then skips spacing (a text of blanks and comments has no token)
    // and requires the end of the text. True when the whole text lexed.
    bool run() {
        while (step()) {
        }
        spacing();
        if (c_.at_end()) return true;
        c_.diag().fail(c_.pos(), Expected::end_of_input());
        return false;
    }

    std::size_t pos() const { return c_.pos(); }

  private:
    using Scope = LabelScope<Track>;

    bool step() {
        const Mark start = c_.mark();
        spacing();
        Pending token;
        if (!alternatives(token)) {
            c_.rewind(start);
            return false;
        }
        spacing();
        if constexpr (!Track) push(token);
        return true;
    }

    bool alternatives(Pending& t) {
        if constexpr (Track) {
            // Every alternative in order, so that each records its expectation.
            if (numeral(t)) return true;
            if (string_literal(t)) return true;
            for (const auto& [ch, kind] : punctuation) {
                if (c_.just(ch)) {
                    t.kind = kind;
                    return true;
                }
            }
            if (newline(t)) return true;
            if (register_name(t)) return true;
            return word(t);
        } else {
            // One dispatch on the first character: an alternative whose first character cannot
            // match fails without consuming anything, so skipping it changes nothing.
            if (c_.at_end()) return false;
            const unsigned char b = c_.byte();
            switch (b) {
                case '0': case '1': case '2': case '3': case '4':
                case '5': case '6': case '7': case '8': case '9':
                case '+': case '-':
                    return numeral(t);
                case '"':
                    return string_literal(t);
                case '(': case ')': case '{': case '}': case '[': case ']':
                case '<': case '>': case ',': case ':': case '=':
                    c_.just(static_cast<char>(b));
                    t.kind = punctuation_kinds[b];
                    return true;
                case '\n':
                    return newline(t);
                case '%':
                    return register_name(t);
                default:
                    return word(t);
            }
        }
    }

    // (blank | comment)*, labelled "whitespace or comment"; never fails, never takes a line feed.
    void spacing() {
        Scope scope(c_.diag(), c_.pos(), Expected::label(RuleLabel::Spacing));
        for (;;) {
            if (c_.filter(is_blank)) continue;
            Scope comment_scope(c_.diag(), c_.pos(), Expected::label(RuleLabel::Comment));
            if (!comment()) break;
        }
    }

    bool comment() {
        if (!c_.just(';')) return false;
        c_.run([](char32_t ch) { return ch != U'\n'; });
        return true;
    }

    bool numeral(Pending& t) {
        Scope scope(c_.diag(), c_.pos(), Expected::label(RuleLabel::Numeral));
        if (!numeral_parser(c_, numeral_)) return false;
        t.kind = numeral_.kind == NumeralValue::Kind::Decimal ? TokenDiscriminants::Decimal
                                                               : TokenDiscriminants::Number;
        return true;
    }

    bool string_literal(Pending& t) {
        Scope scope(c_.diag(), c_.pos(), Expected::label(RuleLabel::StringLiteral));
        const Mark start = c_.mark();
        if (!c_.just('"')) return false;
        std::string& value = string_;
        value.clear();
        for (;;) {
            const std::size_t at = c_.pos();
            if (c_.filter([](char32_t ch) { return ch != U'"' && ch != U'\\'; })) {
                if constexpr (!Track) value.append(c_.text().substr(at, c_.pos() - at));
                continue;
            }
            const Mark escape = c_.mark();
            if (c_.just('\\')) {
                const std::size_t esc = c_.pos();
                if (c_.filter([](char32_t) { return true; })) {
                    if constexpr (!Track) {
                        const char ch = c_.text()[esc];
                        if (ch == 't') {
                            value += '\t';
                        } else if (ch == 'r') {
                            value += '\r';
                        } else if (ch == 'n') {
                            value += '\n';
                        } else {
                            value.append(c_.text().substr(esc, c_.pos() - esc));
                        }
                    }
                    continue;
                }
                c_.rewind(escape);
            }
            break;
        }
        if (!c_.just('"')) {
            c_.rewind(start);
            return false;
        }
        t.kind = TokenDiscriminants::StringLiteral;
        return true;
    }

    // (spacing "\n" spacing)+ as one token.
    bool newline(Pending& t) {
        bool any = false;
        for (;;) {
            const Mark at = c_.mark();
            spacing();
            if (!c_.just('\n')) {
                c_.rewind(at);
                break;
            }
            spacing();
            any = true;
        }
        if (any) t.kind = TokenDiscriminants::Newline;
        return any;
    }

    bool register_name(Pending& t) {
        Scope scope(c_.diag(), c_.pos(), Expected::label(RuleLabel::Register));
        if (!c_.just('%')) return false;
        const std::size_t name = c_.pos();
        c_.run(is_register_char);
        t.kind = TokenDiscriminants::Register;
        t.text = Span{name, c_.pos()};
        return true;
    }

    bool word(Pending& t) {
        Scope scope(c_.diag(), c_.pos(), Expected::label(RuleLabel::Word));
        const Mark start = c_.mark();
        c_.just('!');
        if (!c_.filter(is_word_char)) {
            c_.rewind(start);
            return false;
        }
        c_.run(is_word_char);
        const std::size_t head_end = c_.pos();
        while (c_.just('.')) c_.run(is_word_char);
        if constexpr (!Track) classify(Span{start.pos, head_end}, Span{start.pos, c_.pos()}, t);
        return true;
    }

    // Decides the kind of a word from its head and parts; records the five word errors over the
    // word itself.
    void classify(Span head_span, Span word_span, Pending& t) {
        const std::string_view text = c_.text();
        const std::string_view head = text.substr(head_span.start, head_span.end - head_span.start);
        const bool has_parts = word_span.end != head_span.end;
        const Keyword* kw = find_keyword(head);
        const auto make = [&](TokenDiscriminants kind, std::uint8_t small = 0) {
            t.kind = kind;
            t.small = small;
            t.text = word_span;
        };
        const auto identifier = [&] {
            if (head.front() == '!') {
                make(TokenDiscriminants::MetaIdentifier);
                t.text.start += 1;
            } else {
                make(TokenDiscriminants::Identifier);
            }
        };

        if (head.front() == '!') {
            if (kw && kw->kind == TokenDiscriminants::InstrOp) {
                make(TokenDiscriminants::InstrOp, kw->value);
            } else {
                identifier();
            }
            return;
        }
        if (has_parts) {
            if (kw && kw->kind == TokenDiscriminants::Visibility) {
                c_.emit(word_span, LexerMessages::visibility_variants(head));
                make(TokenDiscriminants::Visibility, kw->value);
            } else if (kw && kw->kind == TokenDiscriminants::CallingConvention) {
                c_.emit(word_span, LexerMessages::calling_convention_variants(head));
                t.kind = TokenDiscriminants::CallingConvention;
                t.cc = CallingConvention(static_cast<CallingConvention::Tag>(kw->value));
            } else if (auto n = numbered_convention(head)) {
                c_.emit(word_span, LexerMessages::calling_convention_variants(head));
                t.kind = TokenDiscriminants::CallingConvention;
                t.cc = CallingConvention::numbered(*n);
            } else if (kw && kw->kind == TokenDiscriminants::InstrOp) {
                make(TokenDiscriminants::InstrOp, kw->value);
            } else if (kw && kw->kind == TokenDiscriminants::TerminatorOp) {
                c_.emit(word_span, LexerMessages::terminator_variants(head));
                make(TokenDiscriminants::TerminatorOp, kw->value);
            } else {
                identifier();
            }
            return;
        }
        if (kw) {
            if (kw->kind == TokenDiscriminants::CallingConvention) {
                t.kind = TokenDiscriminants::CallingConvention;
                t.cc = CallingConvention(static_cast<CallingConvention::Tag>(kw->value));
            } else {
                make(kw->kind, kw->value);
            }
            return;
        }
        if (auto n = numbered_convention(head)) {
            t.kind = TokenDiscriminants::CallingConvention;
            t.cc = CallingConvention::numbered(*n);
            return;
        }
        if (head.front() == 'i' && all_ascii_digits(head.substr(1))) {
            const std::string_view digits = head.substr(1);
            auto width = read_u32(digits);
            if (!width) {
                c_.emit(word_span, LexerMessages::invalid_width(digits, width.error()));
            } else if (*width < types::primary::IType::MIN_BITS ||
                       *width > types::primary::IType::MAX_BITS) {
                c_.emit(word_span, types::primary::IType::width_error_message(*width));
            } else {
                t.kind = TokenDiscriminants::IType;
                t.number = *width;
                return;
            }
        }
        identifier();
    }

    void push(Pending& t) {
        const std::size_t end = c_.pos();
        switch (t.kind) {
            case TokenDiscriminants::IType:
                out_->push_itype(t.number, end);
                return;
            case TokenDiscriminants::CallingConvention:
                out_->push_calling_convention(t.cc, end);
                return;
            case TokenDiscriminants::FType:
            case TokenDiscriminants::Ordering:
            case TokenDiscriminants::Visibility:
            case TokenDiscriminants::TerminatorOp:
                out_->push_enum(t.kind, t.small, end);
                return;
            case TokenDiscriminants::InstrOp:
            case TokenDiscriminants::Identifier:
            case TokenDiscriminants::MetaIdentifier:
            case TokenDiscriminants::Register:
                out_->push_text(t.kind, t.small, t.text, end);
                return;
            case TokenDiscriminants::Number:
                if (numeral_.kind == NumeralValue::Kind::SmallNumber) {
                    out_->push_small_number(numeral_.small, end);
                } else {
                    out_->push_number(std::move(numeral_.big), end);
                }
                return;
            case TokenDiscriminants::Decimal:
                out_->push_decimal(std::move(numeral_.decimal), end);
                return;
            case TokenDiscriminants::StringLiteral:
                out_->push_string(std::move(string_), end);
                return;
            default:
                out_->push_plain(t.kind, end);
                return;
        }
    }

    CharCursor<Track> c_;
    TokenList* out_;
    NumeralValue numeral_;
    std::string string_;
};

// Re-runs the text tracked from `start` (a step boundary) and gives its final failure.
SyntaxError tracked_failure(std::string_view source, std::size_t start) {
    Diagnostics<true> diag;
    Lexer<true> lexer(source, diag, start, nullptr);
    if (lexer.run()) utils::panic("lexer: the tracked run accepted a text the fast run refused");
    return diag.final_error(source.size(), lexer.pos());
}

}  // namespace

LexResult lexer(std::string_view source) {
    LexResult result;
    if (source.size() > TokenList::max_source_size) {
        result.errors.push_back(
            utils::ParserError{std::nullopt, 0, 0, LexerMessages::source_too_long(source.size())});
        return result;
    }
    TokenList tokens(source);
    Diagnostics<false> diag;
    Lexer<false> lexer(source, diag, 0, &tokens);
    const bool ok = lexer.run();
    const TextInput input(source);
    if (ok) {
        result.errors = to_parser_errors(input, diag.emitted(), std::nullopt);
        result.tokens.emplace(std::move(tokens));
        return result;
    }
    const std::size_t restart =
        tokens.size() > lexer_restart_lookback ? tokens.size() - lexer_restart_lookback : 0;
    const std::size_t start = restart == 0 ? 0 : tokens.span(restart - 1).end;
    result.errors = to_parser_errors(input, diag.emitted(), tracked_failure(source, start));
    return result;
}

std::optional<utils::ParserError> lexer_final_failure(std::string_view source,
                                                      std::size_t restart_token) {
    if (source.size() > TokenList::max_source_size) return std::nullopt;
    TokenList tokens(source);
    Diagnostics<false> diag;
    Lexer<false> lexer(source, diag, 0, &tokens);
    if (lexer.run()) return std::nullopt;
    const std::size_t restart = std::min(restart_token, tokens.size());
    const std::size_t start = restart == 0 ? 0 : tokens.span(restart - 1).end;
    auto errors = to_parser_errors(TextInput(source), {}, tracked_failure(source, start));
    return errors.back();
}

}  // namespace kdinstr::modules::parser
