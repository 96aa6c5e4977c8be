#pragma once
// The token grammar's position in the token list, with the leaf rules every grammar rule is made
// of. Each leaf records its failure as the error core asks (diagnostics.hpp), so rules built from
// them get their expected lists right by construction.
//
// A rule is a function template on `bool Track` taking a `TokenCursor<Track>&`:
//
//     template <bool Track>
//     std::optional<Label> label_rule(TokenCursor<Track>& c) {
//         LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::Label));
//         auto i = c.just_match(TokenDiscriminants::Identifier);
//         if (!i) return std::nullopt;
//         return c.state().get_label(c.tokens().joined_name(*i));
//     }
//
// On failure a rule leaves the position where it was or anywhere (the caller rewinds); an
// alternative is `Mark m = c.mark(); if (auto v = a(c)) return v; c.rewind(m); return b(c);`.
#include <cstddef>
#include <optional>
#include <string>

#include "kdinstr/modules/parser/diagnostics.hpp"
#include "kdinstr/modules/parser/state.hpp"
#include "kdinstr/modules/parser/token_list.hpp"

namespace kdinstr::modules::parser {

template <bool Track>
class TokenCursor {
  public:
    TokenCursor(const TokenList& tokens, State& state, Diagnostics<Track>& diag,
                std::size_t pos = 0)
        : tokens_(tokens), state_(state), diag_(diag), pos_(pos) {}

    const TokenList& tokens() const { return tokens_; }
    State& state() { return state_; }
    Diagnostics<Track>& diag() { return diag_; }
    std::size_t pos() const { return pos_; }
    bool at_end() const { return pos_ >= tokens_.size(); }
    // The kind of the token at the position; requires !at_end().
    TokenDiscriminants kind() const { return tokens_.kind(pos_); }

    // One specific token (punctuation, newline, void, import, a terminator word, a keyword):
    // taken when it is there, else it is expected here.
    bool just(FixedToken t) {
        if (!at_end() && tokens_.is(pos_, t)) {
            ++pos_;
            return true;
        }
        diag_.fail(pos_, Expected::token(t));
        return false;
    }

    // `just_match`: one token of `kind`, labelled "token {kind}"; gives its index. The label
    // replaces the inner "something else" / "any", and a one-token rule can fail only at its
    // start, so recording the label directly is the same.
    std::optional<std::size_t> just_match(TokenDiscriminants k) {
        if (!at_end() && tokens_.kind(pos_) == k) return pos_++;
        diag_.fail(pos_, Expected::token_label(k));
        return std::nullopt;
    }

    // One token that `pred(index)` accepts; "something else" for a token it rejects, "any" at
    // the end of the list. Gives its index.
    template <typename Pred>
    std::optional<std::size_t> filter(Pred&& pred) {
        if (at_end()) {
            diag_.fail(pos_, Expected::any());
            return std::nullopt;
        }
        if (pred(pos_)) return pos_++;
        diag_.fail(pos_, Expected::something_else());
        return std::nullopt;
    }

    // The end of the token list.
    bool end() {
        if (at_end()) return true;
        diag_.fail(pos_, Expected::end_of_input());
        return false;
    }

    Mark mark() const { return Mark{pos_, diag_.emitted_count()}; }
    void rewind(Mark m) {
        pos_ = m.pos;
        diag_.truncate_emitted(m.emitted);
    }
    // A validation's error over the tokens [first, last).
    void emit(std::size_t first, std::size_t last, std::string message) {
        diag_.emit(Span{first, last}, std::move(message));
    }

  private:
    const TokenList& tokens_;
    State& state_;
    Diagnostics<Track>& diag_;
    std::size_t pos_;
};

}  // namespace kdinstr::modules::parser
