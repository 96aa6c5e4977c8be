#pragma once
// The error core shared by both parser stages: the lexer (positions are byte offsets, elements
// are characters) and the token grammar (positions are token indices, elements are tokens).
//
// Two stores exist during a parse:
//   - the recorded alternative error: at most one, the failure that reached furthest, as a
//     position and an ordered list of `Expected` items without duplicates;
//   - the emitted errors: custom messages that validations report while parsing goes on, in
//     emission order, each with the span of what the validated rule consumed.
//
// Writing a rule
// --------------
// Every rule is written once as a template on `bool Track` and takes a `Diagnostics<Track>&`:
//   - `Diagnostics<false>` (the fast run) records nothing but emitted errors: `fail`,
//     `begin_label`/`end_label` and `LabelScope` compile to nothing.
//   - `Diagnostics<true>` (the tracked run) keeps the recorded alternative error exactly.
// Run the parse untracked; when it fails, run it again tracked (from the start, or from any point
// before which no failure can reach the final position) and take the error from that run. The
// emitted errors of the untracked run are the result's own: both runs emit the same ones.
//
// The rules a rule must keep, so that expected lists come out right by construction:
//   1. Every primitive that fails calls `fail(pos, items)` at the position where it failed:
//        a specific token or character that is not there   -> that token / character;
//        a filter that rejects the element there             -> `Expected::something_else()`;
//        any element required at the end of the input        -> `Expected::any()`;
//        end of input required, an element present          -> `Expected::end_of_input()`.
//      A repetition or an optional part records the failure of the attempt that ended it.
//   2. A labelled rule brackets its body with `LabelScope` (or `begin_label`/`end_label`), on
//      success and on failure alike: a failure left at the rule's own start is relabelled.
//   3. Alternatives, optional parts and repetitions that stop rewind with `rewind(mark)`: the
//      position goes back and emitted errors after the mark are dropped. The recorded error is
//      never rewound.
//   4. Validations call `emit(span, message)` and go on.
// Positions are whatever the stage counts; the core never looks at the input itself, except when
// it turns the final errors into `utils::ParserError`s through an input adaptor (below).
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kdinstr/modules/parser/token.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::modules::parser {

class TokenList;

// The labels of the parser's rules; the text is what messages show.
enum class RuleLabel : std::uint8_t {
    // Lexer.
    Numeral,        // "numeral"
    StringLiteral,  // "string literal"
    Register,       // "register"
    Word,           // "identifier or keyword or itype"
    Spacing,        // "whitespace or comment"
    Comment,        // "comment"
    // Type grammar.
    PrimaryType,  // "primary type"
    ArrayType,    // "array type"
    StructType,   // "struct type"
    Type,         // "type"
    // Operand, instruction and module grammar.
    Label,              // "label"
    UndefOperand,       // "undef operand"
    ImmediateOperand,   // "immediate operand"
    IntegerConstant,    // "integer constant"
    FloatConstant,      // "floating-point constant"
    FunctionPointer,    // "function pointer"
    PhiOperandList,     // "phi operand list"
    OperandList,        // "operand list"
    ImportStatement,    // "import statement"
    FunctionDefinition, // "function definition"
};

std::string_view rule_label_text(RuleLabel label);

// One expected item: 32 bits, the kind in the top byte and its payload below.
class Expected {
  public:
    enum class Kind : std::uint8_t {
        EndOfInput,     // "end of input"
        Any,            // "any"
        SomethingElse,  // "something else"
        Label,          // a rule label's text; payload: RuleLabel
        TokenLabel,     // "token {}" with a kind name (the label of `just_match`); payload: kind
        Char,           // "'c'" (lexer); payload: the code point
        Token,          // "'display text'" (grammar); payload: FixedToken
    };

    constexpr Expected() : bits_(0) {}
    static constexpr Expected end_of_input() { return Expected(Kind::EndOfInput, 0); }
    static constexpr Expected any() { return Expected(Kind::Any, 0); }
    static constexpr Expected something_else() { return Expected(Kind::SomethingElse, 0); }
    static constexpr Expected label(RuleLabel l) {
        return Expected(Kind::Label, static_cast<std::uint32_t>(l));
    }
    static constexpr Expected token_label(TokenDiscriminants k) {
        return Expected(Kind::TokenLabel, static_cast<std::uint32_t>(k));
    }
    static constexpr Expected character(char32_t c) {
        return Expected(Kind::Char, static_cast<std::uint32_t>(c));
    }
    static constexpr Expected token(FixedToken t) {
        return Expected(Kind::Token, static_cast<std::uint32_t>(t));
    }

    constexpr Kind kind() const { return static_cast<Kind>(bits_ >> 24); }
    constexpr std::uint32_t payload() const { return bits_ & 0xFFFFFFu; }
    constexpr bool operator==(const Expected&) const = default;

    // The item's text in a message (see Kind).
    std::string text() const;

  private:
    constexpr Expected(Kind kind, std::uint32_t payload)
        : bits_((static_cast<std::uint32_t>(kind) << 24) | payload) {}
    std::uint32_t bits_;
};

// Half-open range of positions, in the stage's units.
struct Span {
    std::size_t start = 0;
    std::size_t end = 0;
    bool operator==(const Span&) const = default;
};

struct EmittedError {
    Span span;
    std::string message;
    bool operator==(const EmittedError&) const = default;
};

// The failure that ended a parse. `found` is the position of the found element, none when the
// input had ended there (or when nothing was recorded at all).
struct SyntaxError {
    std::size_t pos = 0;
    std::optional<std::size_t> found;
    std::vector<Expected> expected;
    bool operator==(const SyntaxError&) const = default;
};

// "found {found} expected {list}": `found_text` is the quoted element or "end of input"; the list
// reads "something else" when empty, the item alone, or "a, b, or c" (two items: "a, or b").
std::string syntax_message(std::string_view found_text, const std::vector<Expected>& expected);

// Where a rule may rewind to: a position and the number of emitted errors at that point.
struct Mark {
    std::size_t pos = 0;
    std::size_t emitted = 0;
};

// The emitted errors; the same in both modes.
class EmittedErrors {
  public:
    void emit(Span span, std::string message) {
        emitted_.push_back(EmittedError{span, std::move(message)});
    }
    std::size_t emitted_count() const { return emitted_.size(); }
    // Drops the errors emitted after the first `count` (a rewind).
    void truncate_emitted(std::size_t count) {
        if (count < emitted_.size()) emitted_.resize(count);
    }
    const std::vector<EmittedError>& emitted() const { return emitted_; }
    std::vector<EmittedError> take_emitted() { return std::move(emitted_); }

  private:
    std::vector<EmittedError> emitted_;
};

template <bool Track>
class Diagnostics;

// The fast run: failures and labels cost nothing.
template <>
class Diagnostics<false> : public EmittedErrors {
  public:
    static constexpr bool tracked = false;
    void fail(std::size_t, Expected) {}
    void fail(std::size_t, std::initializer_list<Expected>) {}
    void begin_label() {}
    void end_label(std::size_t, Expected) {}
};

// The tracked run. Labels nest (one open frame per labelled rule being read); the frames live in
// two flat vectors, so deep nesting costs no allocation per level.
template <>
class Diagnostics<true> : public EmittedErrors {
  public:
    static constexpr bool tracked = true;

    Diagnostics() { frames_.push_back(Frame{}); }

    // Records one primitive failure at `pos` and merges it into the recorded error: none yet,
    // or `pos` further -> it replaces it; `pos` before -> dropped; same position -> its items
    // that the recorded list does not hold are appended, in order.
    void fail(std::size_t pos, Expected item) { fail(pos, {item}); }
    void fail(std::size_t pos, std::initializer_list<Expected> items);

    // A labelled rule begins: the recorded error is set aside and the rule starts with none.
    void begin_label();
    // The labelled rule that began at `start` returns (success or failure): its error, if it
    // lies at `start`, becomes the single `label`; then it is combined with the error set aside:
    // the further one wins; at the same position the longer list comes first (the set-aside one
    // when equally long), followed by the other's items it does not hold.
    void end_label(std::size_t start, Expected label);

    // The recorded alternative error at the bottom level (no label open), if any.
    std::optional<std::pair<std::size_t, std::vector<Expected>>> recorded() const;

    // The syntax error that ends a failed parse whose input has `size` elements: the recorded
    // error, or, when nothing was recorded, one with no items and no found element at `end_pos`.
    SyntaxError final_error(std::size_t size, std::size_t end_pos) const;

  private:
    struct Frame {
        std::size_t pos = 0;
        std::size_t begin = 0;  // first item of this frame in `items_`
        bool present = false;
    };
    std::vector<Frame> frames_;
    std::vector<Expected> items_;
    std::vector<Expected> scratch_;
};

// Brackets a labelled rule: `LabelScope scope(diag, pos, Expected::label(RuleLabel::Numeral));`
template <bool Track>
class LabelScope {
  public:
    LabelScope(Diagnostics<Track>& diag, std::size_t start, Expected label)
        : diag_(diag), start_(start), label_(label) {
        diag_.begin_label();
    }
    ~LabelScope() { diag_.end_label(start_, label_); }
    LabelScope(const LabelScope&) = delete;
    LabelScope& operator=(const LabelScope&) = delete;

  private:
    Diagnostics<Track>& diag_;
    std::size_t start_;
    Expected label_;
};

// Input adaptors: how positions of a stage map to the source text's bytes, and how the element at
// a position is quoted in a message.

// The lexer's input: positions are byte offsets.
class TextInput {
  public:
    explicit TextInput(std::string_view text) : text_(text) {}
    std::size_t size() const { return text_.size(); }
    // "'c'" with the character itself; "'\xNN'" for a byte that is not UTF-8.
    std::string found_text(std::size_t pos) const;
    // The bytes of the element at `pos`; empty at the end.
    Span element_bytes(std::size_t pos) const;
    Span bytes(Span span) const { return span; }

  private:
    std::string_view text_;
};

// The grammar's input: positions are token indices, spans map to the tokens' byte spans.
class TokenInput {
  public:
    explicit TokenInput(const TokenList& tokens) : tokens_(tokens) {}
    std::size_t size() const;
    // "'" + the token's display text + "'".
    std::string found_text(std::size_t pos) const;
    Span element_bytes(std::size_t pos) const { return bytes(Span{pos, pos + 1}); }
    // Tokens [i, j) become (start of token i, end of token j-1); a span that starts at or beyond
    // the end of the token list becomes (source length, source length); an empty span lies at the
    // start of its token.
    Span bytes(Span span) const;

  private:
    const TokenList& tokens_;
};

// The end of a parse as the driver reports it: the emitted errors in emission order, then the
// syntax error when the parse failed; each with its message and its span in source bytes.
template <typename Input>
std::vector<utils::ParserError> to_parser_errors(const Input& input,
                                                 const std::vector<EmittedError>& emitted,
                                                 const std::optional<SyntaxError>& failure) {
    std::vector<utils::ParserError> out;
    out.reserve(emitted.size() + (failure ? 1 : 0));
    for (const auto& e : emitted) {
        const Span b = input.bytes(e.span);
        out.push_back(utils::ParserError{std::nullopt, b.start, b.end, e.message});
    }
    if (failure) {
        const Span b = input.element_bytes(failure->pos);
        const std::string found =
            failure->found ? input.found_text(*failure->found) : std::string("end of input");
        out.push_back(utils::ParserError{std::nullopt, b.start, b.end,
                                         syntax_message(found, failure->expected)});
    }
    return out;
}

}  // namespace kdinstr::modules::parser
