#pragma once
// The lexer's output: the positioned tokens of one source text, stored compactly.
//
// A 30 MB source holds about ten million tokens, so each takes 16 bytes, its span included: the
// kind, a small inline payload, and the end offset of its span (spans touch, so a token starts
// where the one before it ends). Entries sit in fixed-size chunks: the list grows without
// copying and holds at most one chunk more than it needs. Texts (identifiers, registers, the parts after "."s) are offsets
// into the source, which must outlive the list; numbers that do not fit 64 bits, decimals,
// strings and UUIDs sit in side tables. `token(i)` gives the full `Token` value when one is
// wanted (messages, tests); the grammar reads payloads directly through the accessors.
//
// The accessors of a payload require the matching kind (checked only in debug builds).
#include <gmpxx.h>

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kdinstr/consts/big_decimal.hpp"
#include "kdinstr/modules/parser/diagnostics.hpp"
#include "kdinstr/modules/parser/token.hpp"
#include "kdinstr/utils/text_list.hpp"

namespace kdinstr::modules::parser {

class TokenList {
  public:
    // Offsets are 32-bit: the lexer refuses longer texts.
    static constexpr std::size_t max_source_size = 0xFFFFFFFFu;

    explicit TokenList(std::string_view source) : source_(source) {}

    std::string_view source() const { return source_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    TokenDiscriminants kind(std::size_t i) const { return entry(i).kind; }
    // Byte span: from the end of the token before (0 for the first) to this token's end; it
    // includes the blanks and comments around the token.
    Span span(std::size_t i) const {
        return Span{i == 0 ? 0 : entry(i - 1).end, entry(i).end};
    }

    types::primary::IType itype(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::IType);
        return types::primary::IType{entry(i).a};
    }
    types::primary::FType ftype(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::FType);
        return static_cast<types::primary::FType>(entry(i).small);
    }
    instructions::MemoryOrdering ordering(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::Ordering);
        return static_cast<instructions::MemoryOrdering>(entry(i).small);
    }
    Visibility visibility(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::Visibility);
        return static_cast<Visibility>(entry(i).small);
    }
    CallingConvention calling_convention(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::CallingConvention);
        const auto tag = static_cast<CallingConvention::Tag>(entry(i).small);
        return tag == CallingConvention::Tag::Numbered ? CallingConvention::numbered(entry(i).a)
                                                       : CallingConvention(tag);
    }
    KdTerminatorOp terminator_op(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::TerminatorOp);
        return static_cast<KdTerminatorOp>(entry(i).small);
    }
    instructions::KdInstrOp instr_op(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::InstrOp);
        return static_cast<instructions::KdInstrOp>(entry(i).small);
    }

    // Identifier and MetaIdentifier: the head (without "!"); Register: the name after "%".
    std::string_view name(std::size_t i) const;
    // Identifier and MetaIdentifier: the head and each part after a ".", as written ("a.b.c",
    // without the "!"): the joined name that labels and function names use.
    std::string_view joined_name(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::Identifier ||
               kind(i) == TokenDiscriminants::MetaIdentifier);
        return text_of(i);
    }
    // Identifier, MetaIdentifier, InstrOp: the parts after the head, in order.
    std::vector<std::string_view> parts(std::size_t i) const;
    // The same into `out` (cleared first), reusing its storage.
    void parts_into(std::size_t i, std::vector<std::string_view>& out) const;
    bool has_parts(std::size_t i) const;

    // Number: the value; `small_number` when it fits 64 bits.
    mpz_class number(std::size_t i) const;
    std::optional<std::int64_t> small_number(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::Number);
        const Entry& e = entry(i);
        if (e.small == 0) return std::nullopt;
        return static_cast<std::int64_t>(std::uint64_t{e.a} | (std::uint64_t{e.b} << 32));
    }
    const consts::BigDecimal& decimal(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::Decimal);
        return decimals_[entry(i).a];
    }
    const std::string& string_literal(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::StringLiteral);
        return strings_[entry(i).a];
    }
    const utils::Uuid& uuid(std::size_t i) const {
        assert(kind(i) == TokenDiscriminants::Uuid);
        return uuids_[entry(i).a];
    }

    // Token equality with a fixed token, without building either value. Inline: the grammar
    // calls it with a constant at every keyword and punctuation it tries.
    bool is(std::size_t i, FixedToken t) const {
        const TokenDiscriminants k = kind(i);
        switch (t) {
            case FixedToken::LParen:
                return k == TokenDiscriminants::LParen;
            case FixedToken::RParen:
                return k == TokenDiscriminants::RParen;
            case FixedToken::LBrace:
                return k == TokenDiscriminants::LBrace;
            case FixedToken::RBrace:
                return k == TokenDiscriminants::RBrace;
            case FixedToken::LBracket:
                return k == TokenDiscriminants::LBracket;
            case FixedToken::RBracket:
                return k == TokenDiscriminants::RBracket;
            case FixedToken::LAngle:
                return k == TokenDiscriminants::LAngle;
            case FixedToken::RAngle:
                return k == TokenDiscriminants::RAngle;
            case FixedToken::Comma:
                return k == TokenDiscriminants::Comma;
            case FixedToken::Colon:
                return k == TokenDiscriminants::Colon;
            case FixedToken::Equals:
                return k == TokenDiscriminants::Equals;
            case FixedToken::Newline:
                return k == TokenDiscriminants::Newline;
            case FixedToken::Void:
                return k == TokenDiscriminants::Void;
            case FixedToken::Import:
                return k == TokenDiscriminants::Import;
            case FixedToken::Branch:
                return k == TokenDiscriminants::TerminatorOp && terminator_op(i) == KdTerminatorOp::Branch;
            case FixedToken::Jump:
                return k == TokenDiscriminants::TerminatorOp && terminator_op(i) == KdTerminatorOp::Jump;
            case FixedToken::Ret:
                return k == TokenDiscriminants::TerminatorOp && terminator_op(i) == KdTerminatorOp::Ret;
            case FixedToken::Trap:
                return k == TokenDiscriminants::TerminatorOp && terminator_op(i) == KdTerminatorOp::Trap;
            default:
                // A keyword: an identifier without parts whose text is the keyword; the keywords
                // hold no ".", so comparing the whole word suffices.
                return k == TokenDiscriminants::Identifier && text_of(i) == fixed_token_keyword(t);
        }
    }

    // The token as a value (views into the source stay views).
    Token token(std::size_t i) const;
    // The debug text of every token, in order.
    utils::TextList debug_texts() const;

    // Building, for the lexer: each call appends one token whose span ends at `end`. Texts are
    // given as byte ranges of the source.
    void push_plain(TokenDiscriminants kind, std::size_t end) { push(kind, 0, 0, 0, end); }
    void push_itype(std::uint32_t width, std::size_t end) {
        push(TokenDiscriminants::IType, 0, width, 0, end);
    }
    void push_enum(TokenDiscriminants kind, std::uint8_t value, std::size_t end) {
        push(kind, value, 0, 0, end);
    }
    void push_calling_convention(CallingConvention cc, std::size_t end) {
        push(TokenDiscriminants::CallingConvention, static_cast<std::uint8_t>(cc.tag()),
             cc.number(), 0, end);
    }
    // InstrOp: the whole word (with its "!" for meta mnemonics). Identifier: the whole word.
    // MetaIdentifier: the word after its "!". Register: the name after "%".
    void push_text(TokenDiscriminants kind, std::uint8_t value, Span text, std::size_t end) {
        if (kind == TokenDiscriminants::Identifier && text.end - text.start == kDefine.size() &&
            source_.substr(text.start, kDefine.size()) == kDefine)
            ++definitions_;
        push(kind, value, static_cast<std::uint32_t>(text.start),
             static_cast<std::uint32_t>(text.end - text.start), end);
    }
    void push_small_number(std::int64_t value, std::size_t end) {
        const auto bits = static_cast<std::uint64_t>(value);
        push(TokenDiscriminants::Number, 1, static_cast<std::uint32_t>(bits),
             static_cast<std::uint32_t>(bits >> 32), end);
    }
    void push_number(mpz_class value, std::size_t end);
    void push_decimal(consts::BigDecimal value, std::size_t end);
    void push_string(std::string text, std::size_t end);
    void push_uuid(const utils::Uuid& uuid, std::size_t end);

    // Bytes the list holds (entries and side tables, not the source).
    std::size_t memory_bytes() const;
    // How many tokens are the word "define": at most the number of function definitions, for
    // sizing the list of what a text defines before reading it.
    std::size_t definitions() const { return definitions_; }

    // Lets go of the entries of the whole chunks before the token before `i` (the span of `i`
    // reads the token before it): for a reader that never goes back before `i`. The tokens let go
    // of must not be read again.
    void release_before(std::size_t i);

  private:
    struct Entry {
        std::uint32_t a;
        std::uint32_t b;
        std::uint32_t end;
        TokenDiscriminants kind;
        std::uint8_t small;
        std::uint16_t unused;
    };
    static_assert(sizeof(Entry) == 16);

    static constexpr std::size_t chunk_bits = 16;
    static constexpr std::size_t chunk_size = std::size_t{1} << chunk_bits;
    using Chunk = std::array<Entry, chunk_size>;

    const Entry& entry(std::size_t i) const {
        return (*chunks_[i >> chunk_bits])[i & (chunk_size - 1)];
    }
    void push(TokenDiscriminants kind, std::uint8_t small, std::uint32_t a, std::uint32_t b,
              std::size_t end) {
        if ((size_ & (chunk_size - 1)) == 0) chunks_.push_back(std::make_unique_for_overwrite<Chunk>());
        (*chunks_.back())[size_ & (chunk_size - 1)] =
            Entry{a, b, static_cast<std::uint32_t>(end), kind, small, 0};
        ++size_;
    }
    std::string_view text_of(std::size_t i) const {
        return source_.substr(entry(i).a, entry(i).b);
    }

    std::string_view source_;
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::size_t released_ = 0;  // chunks let go of, from the first
    std::size_t size_ = 0;
    std::size_t definitions_ = 0;
    static constexpr std::string_view kDefine = fixed_token_keyword(FixedToken::Define);
    std::vector<mpz_class> numbers_;
    std::vector<consts::BigDecimal> decimals_;
    std::vector<std::string> strings_;
    std::vector<utils::Uuid> uuids_;
};

}  // namespace kdinstr::modules::parser
