#include "kdinstr/modules/parser/keyword_table.hpp"

#include <array>
#include <string>
#include <vector>

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules::parser {

namespace {

// Open addressing over a power-of-two table; the words are few and fixed.
class KeywordTable {
  public:
    KeywordTable() {
        add("import", TokenDiscriminants::Import, 0);
        add("void", TokenDiscriminants::Void, 0);
        add_enum<Visibility>(TokenDiscriminants::Visibility);
        for (std::uint32_t tag = 0; tag < CallingConvention::tag_count; ++tag) {
            const auto cc = *CallingConvention::from_tag(tag);
            if (cc.tag() == CallingConvention::Tag::Numbered) continue;
            names_.push_back(cc.to_string());
        }
        for (std::uint32_t tag = 0; tag < names_.size(); ++tag)
            add(names_[tag], TokenDiscriminants::CallingConvention, static_cast<std::uint8_t>(tag));
        add_enum<instructions::KdInstrOp>(TokenDiscriminants::InstrOp);
        add_enum<KdTerminatorOp>(TokenDiscriminants::TerminatorOp);
        for (const auto f : types::primary::ALL_FTYPES)
            add(types::primary::ftype_text(f), TokenDiscriminants::FType,
                static_cast<std::uint8_t>(f));
        add_enum<instructions::MemoryOrdering>(TokenDiscriminants::Ordering);
    }

    const Keyword* find(std::string_view word) const {
        if (word.size() > max_length_ || word.empty()) return nullptr;
        for (std::size_t i = hash(word) & mask;; i = (i + 1) & mask) {
            const Keyword& k = slots_[i];
            if (k.text.empty()) return nullptr;
            if (k.text == word) return &k;
        }
    }

  private:
    static constexpr std::size_t size = 256;
    static constexpr std::size_t mask = size - 1;

    // Length and three characters: constant time per word, and few enough collisions for a
    // table this sparse (probing resolves them).
    static std::size_t hash(std::string_view word) {
        const auto at = [&](std::size_t i) { return static_cast<std::uint32_t>(
                                                 static_cast<unsigned char>(word[i])); };
        const std::uint32_t h = static_cast<std::uint32_t>(word.size()) * 0x9E3779B1u ^
                                at(0) * 0x85EBCA77u ^ at(word.size() - 1) * 0xC2B2AE3Du ^
                                at(word.size() / 2) * 0x27D4EB2Fu;
        return h ^ (h >> 15);
    }

    template <typename E>
    void add_enum(TokenDiscriminants kind) {
        const auto all = words<E>();
        for (std::size_t v = 0; v < all.size(); ++v) add(all[v], kind, static_cast<std::uint8_t>(v));
    }

    void add(std::string_view text, TokenDiscriminants kind, std::uint8_t value) {
        if (++count_ * 2 > size) utils::panic("keyword table full");
        std::size_t i = hash(text) & mask;
        while (!slots_[i].text.empty()) {
            if (slots_[i].text == text) utils::panic("keyword '{}' listed twice", text);
            i = (i + 1) & mask;
        }
        slots_[i] = Keyword{text, kind, value};
        if (text.size() > max_length_) max_length_ = text.size();
    }

    // Owns the texts of the named conventions (their table is private to CallingConvention).
    std::vector<std::string> names_;
    std::array<Keyword, size> slots_{};
    std::size_t count_ = 0;
    std::size_t max_length_ = 0;
};

}  // namespace

const Keyword* find_keyword(std::string_view word) {
    static const KeywordTable table;
    return table.find(word);
}

}  // namespace kdinstr::modules::parser
