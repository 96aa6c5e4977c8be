#include "kdinstr/modules/parser/token_list.hpp"

#include <algorithm>

#include <utility>

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules::parser {

namespace {

// The parts of a word after its head: the texts between the "."s, in order.
void split_parts(std::string_view word, std::vector<std::string_view>& parts) {
    parts.clear();
    std::size_t dot = word.find('.');
    while (dot != std::string_view::npos) {
        const std::size_t next = word.find('.', dot + 1);
        parts.push_back(word.substr(dot + 1, next == std::string_view::npos ? std::string_view::npos
                                                                            : next - dot - 1));
        dot = next;
    }
}

}  // namespace

std::string_view TokenList::name(std::size_t i) const {
    const std::string_view text = text_of(i);
    if (kind(i) == TokenDiscriminants::Register) return text;
    return text.substr(0, text.find('.'));
}

std::vector<std::string_view> TokenList::parts(std::size_t i) const {
    std::vector<std::string_view> out;
    parts_into(i, out);
    return out;
}

void TokenList::parts_into(std::size_t i, std::vector<std::string_view>& out) const {
    split_parts(text_of(i), out);
}

bool TokenList::has_parts(std::size_t i) const {
    return text_of(i).find('.') != std::string_view::npos;
}

mpz_class TokenList::number(std::size_t i) const {
    if (auto small = small_number(i)) {
        mpz_class v;
        mpz_set_si(v.get_mpz_t(), *small);
        return v;
    }
    return numbers_[entry(i).a];
}

Token TokenList::token(std::size_t i) const {
    const Entry& e = entry(i);
    switch (e.kind) {
        case TokenDiscriminants::IType:
            return itype(i);
        case TokenDiscriminants::FType:
            return ftype(i);
        case TokenDiscriminants::Ordering:
            return ordering(i);
        case TokenDiscriminants::Visibility:
            return visibility(i);
        case TokenDiscriminants::CallingConvention:
            return calling_convention(i);
        case TokenDiscriminants::TerminatorOp:
            return terminator_op(i);
        case TokenDiscriminants::InstrOp:
            return Token::InstrOp{instr_op(i), parts(i)};
        case TokenDiscriminants::Void:
            return Token::Void{};
        case TokenDiscriminants::Import:
            return Token::Import{};
        case TokenDiscriminants::Identifier:
            return Token::Identifier{name(i), parts(i)};
        case TokenDiscriminants::MetaIdentifier:
            return Token::MetaIdentifier{name(i), parts(i)};
        case TokenDiscriminants::Uuid:
            return uuid(i);
        case TokenDiscriminants::Register:
            return Token::Register{name(i)};
        case TokenDiscriminants::Number:
            return Token::Number{number(i)};
        case TokenDiscriminants::Decimal:
            return Token::Decimal{decimal(i)};
        case TokenDiscriminants::StringLiteral:
            return Token::StringLiteral{string_literal(i)};
        case TokenDiscriminants::LParen:
            return Token::LParen{};
        case TokenDiscriminants::RParen:
            return Token::RParen{};
        case TokenDiscriminants::LBrace:
            return Token::LBrace{};
        case TokenDiscriminants::RBrace:
            return Token::RBrace{};
        case TokenDiscriminants::LBracket:
            return Token::LBracket{};
        case TokenDiscriminants::RBracket:
            return Token::RBracket{};
        case TokenDiscriminants::LAngle:
            return Token::LAngle{};
        case TokenDiscriminants::RAngle:
            return Token::RAngle{};
        case TokenDiscriminants::Comma:
            return Token::Comma{};
        case TokenDiscriminants::Colon:
            return Token::Colon{};
        case TokenDiscriminants::Equals:
            return Token::Equals{};
        case TokenDiscriminants::Newline:
            return Token::Newline{};
    }
    utils::panic("token of unknown kind {}", static_cast<int>(e.kind));
}

utils::TextList TokenList::debug_texts() const {
    utils::TextList out;
    out.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) out.push_back(token(i).debug());
    return out;
}

void TokenList::push_number(mpz_class value, std::size_t end) {
    if (sizeof(long) == 8 && mpz_fits_slong_p(value.get_mpz_t())) {
        push_small_number(mpz_get_si(value.get_mpz_t()), end);
        return;
    }
    push(TokenDiscriminants::Number, 0, static_cast<std::uint32_t>(numbers_.size()), 0, end);
    numbers_.push_back(std::move(value));
}

void TokenList::push_decimal(consts::BigDecimal value, std::size_t end) {
    push(TokenDiscriminants::Decimal, 0, static_cast<std::uint32_t>(decimals_.size()), 0, end);
    decimals_.push_back(std::move(value));
}

void TokenList::push_string(std::string text, std::size_t end) {
    push(TokenDiscriminants::StringLiteral, 0, static_cast<std::uint32_t>(strings_.size()), 0,
         end);
    strings_.push_back(std::move(text));
}

void TokenList::push_uuid(const utils::Uuid& uuid, std::size_t end) {
    push(TokenDiscriminants::Uuid, 0, static_cast<std::uint32_t>(uuids_.size()), 0, end);
    uuids_.push_back(uuid);
}

void TokenList::release_before(std::size_t i) {
    if (i < 2) return;
    const std::size_t keep = std::min((i - 2) >> chunk_bits, chunks_.size());
    for (; released_ < keep; ++released_) chunks_[released_].reset();
}

std::size_t TokenList::memory_bytes() const {
    std::size_t n = (chunks_.size() - released_) * sizeof(Chunk) +
                    chunks_.capacity() * sizeof(void*) +
                    numbers_.capacity() * sizeof(mpz_class) +
                    decimals_.capacity() * sizeof(consts::BigDecimal) +
                    strings_.capacity() * sizeof(std::string) + uuids_.capacity() * sizeof(utils::Uuid);
    for (const auto& s : strings_) n += s.capacity() > 15 ? s.capacity() : 0;
    return n;
}

}  // namespace kdinstr::modules::parser
