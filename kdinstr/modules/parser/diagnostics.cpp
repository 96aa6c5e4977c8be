#include "kdinstr/modules/parser/diagnostics.hpp"

#include <algorithm>
#include <array>

#include "kdinstr/modules/parser/token_list.hpp"
#include "kdinstr/utils/panic.hpp"
#include "kdinstr/utils/unicode.hpp"

namespace kdinstr::modules::parser {

namespace {

constexpr std::array<std::string_view, 20> label_texts{
    "numeral",
    "string literal",
    "register",
    "identifier or keyword or itype",
    "whitespace or comment",
    "comment",
    "primary type",
    "array type",
    "struct type",
    "type",
    "label",
    "undef operand",
    "immediate operand",
    "integer constant",
    "floating-point constant",
    "function pointer",
    "phi operand list",
    "operand list",
    "import statement",
    "function definition"};

bool holds(const Expected* first, const Expected* last, Expected item) {
    return std::find(first, last, item) != last;
}

}  // namespace

std::string_view rule_label_text(RuleLabel label) {
    const auto i = static_cast<std::size_t>(label);
    if (i >= label_texts.size()) utils::panic("rule label {} out of range", i);
    return label_texts[i];
}

std::string Expected::text() const {
    switch (kind()) {
        case Kind::EndOfInput:
            return "end of input";
        case Kind::Any:
            return "any";
        case Kind::SomethingElse:
            return "something else";
        case Kind::Label:
            return std::string(rule_label_text(static_cast<RuleLabel>(payload())));
        case Kind::TokenLabel: {
            std::string out = "token ";
            out += kind_name(static_cast<TokenDiscriminants>(payload()));
            return out;
        }
        case Kind::Char: {
            std::string out = "'";
            utils::append_utf8(out, static_cast<char32_t>(payload()));
            out += '\'';
            return out;
        }
        case Kind::Token: {
            std::string out = "'";
            out += fixed_token_display(static_cast<FixedToken>(payload()));
            out += '\'';
            return out;
        }
    }
    utils::panic("expected item of unknown kind {}", static_cast<int>(kind()));
}

std::string syntax_message(std::string_view found_text, const std::vector<Expected>& expected) {
    std::string out = "found ";
    out += found_text;
    out += " expected ";
    if (expected.empty()) {
        out += "something else";
    } else if (expected.size() == 1) {
        out += expected.front().text();
    } else {
        for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
            out += expected[i].text();
            out += ", ";
        }
        out += "or ";
        out += expected.back().text();
    }
    return out;
}

void Diagnostics<true>::fail(std::size_t pos, std::initializer_list<Expected> items) {
    Frame& top = frames_.back();
    if (top.present && pos < top.pos) return;
    if (!top.present || pos > top.pos) {
        items_.resize(top.begin);
        top.present = true;
        top.pos = pos;
    }
    for (const Expected item : items) {
        if (!holds(items_.data() + top.begin, items_.data() + items_.size(), item))
            items_.push_back(item);
    }
}

void Diagnostics<true>::begin_label() { frames_.push_back(Frame{0, items_.size(), false}); }

void Diagnostics<true>::end_label(std::size_t start, Expected label) {
    if (frames_.size() < 2) utils::panic("label closed that was never opened");
    const Frame inner = frames_.back();
    frames_.pop_back();
    Frame& saved = frames_.back();

    if (inner.present && inner.pos == start) {
        items_.resize(inner.begin);
        items_.push_back(label);
    }
    if (!inner.present || (saved.present && inner.pos < saved.pos)) {
        items_.resize(inner.begin);
        return;
    }
    if (!saved.present || inner.pos > saved.pos) {
        std::copy(items_.begin() + static_cast<std::ptrdiff_t>(inner.begin), items_.end(),
                  items_.begin() + static_cast<std::ptrdiff_t>(saved.begin));
        items_.resize(saved.begin + (items_.size() - inner.begin));
        saved.present = true;
        saved.pos = inner.pos;
        return;
    }
    // Same position: the longer list first, then the other's items it does not hold.
    const Expected* s_first = items_.data() + saved.begin;
    const Expected* s_last = items_.data() + inner.begin;
    const Expected* i_first = s_last;
    const Expected* i_last = items_.data() + items_.size();
    const bool inner_first = (i_last - i_first) > (s_last - s_first);
    const Expected* a_first = inner_first ? i_first : s_first;
    const Expected* a_last = inner_first ? i_last : s_last;
    const Expected* b_first = inner_first ? s_first : i_first;
    const Expected* b_last = inner_first ? s_last : i_last;
    scratch_.assign(a_first, a_last);
    for (const Expected* it = b_first; it != b_last; ++it)
        if (!holds(a_first, a_last, *it)) scratch_.push_back(*it);
    items_.resize(saved.begin);
    items_.insert(items_.end(), scratch_.begin(), scratch_.end());
}

std::optional<std::pair<std::size_t, std::vector<Expected>>> Diagnostics<true>::recorded() const {
    const Frame& bottom = frames_.front();
    if (!bottom.present) return std::nullopt;
    const std::size_t end = frames_.size() > 1 ? frames_[1].begin : items_.size();
    return std::pair{bottom.pos, std::vector<Expected>(items_.begin(),
                                                       items_.begin() +
                                                           static_cast<std::ptrdiff_t>(end))};
}

SyntaxError Diagnostics<true>::final_error(std::size_t size, std::size_t end_pos) const {
    auto rec = recorded();
    if (!rec) return SyntaxError{end_pos, std::nullopt, {}};
    SyntaxError e;
    e.pos = rec->first;
    if (e.pos < size) e.found = e.pos;
    e.expected = std::move(rec->second);
    return e;
}

std::string TextInput::found_text(std::size_t pos) const {
    if (pos >= text_.size()) return "end of input";
    std::string out = "'";
    char32_t c = 0;
    const std::size_t len = utils::decode_utf8(text_, pos, c);
    if (len == 0) {
        out += fmt::format("\\x{:02x}", static_cast<unsigned char>(text_[pos]));
    } else {
        out.append(text_.substr(pos, len));
    }
    out += '\'';
    return out;
}

Span TextInput::element_bytes(std::size_t pos) const {
    if (pos >= text_.size()) return Span{text_.size(), text_.size()};
    char32_t c = 0;
    const std::size_t len = utils::decode_utf8(text_, pos, c);
    return Span{pos, pos + (len == 0 ? 1 : len)};
}

std::size_t TokenInput::size() const { return tokens_.size(); }

std::string TokenInput::found_text(std::size_t pos) const {
    std::string out = "'";
    out += tokens_.token(pos).display();
    out += '\'';
    return out;
}

Span TokenInput::bytes(Span span) const {
    const std::size_t n = tokens_.size();
    const std::size_t len = tokens_.source().size();
    if (span.start >= n) return Span{len, len};
    const std::size_t start = tokens_.span(span.start).start;
    if (span.end <= span.start) return Span{start, start};
    const std::size_t last = std::min(span.end, n) - 1;
    return Span{start, tokens_.span(last).end};
}

}  // namespace kdinstr::modules::parser
