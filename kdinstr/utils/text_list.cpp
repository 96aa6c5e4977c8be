#include "kdinstr/utils/text_list.hpp"

#include <algorithm>

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::utils {

void TextList::push_back(std::string_view text) {
    if (blocks_.empty() || blocks_.back().size() + text.size() > blocks_.back().capacity()) {
        starts_.push_back(total_);
        blocks_.emplace_back().reserve(std::max(block_size, text.size()));
    }
    blocks_.back().append(text);
    total_ += text.size();
    ends_.push_back(total_);
}

std::string_view TextList::operator[](std::size_t i) const {
    const std::size_t start = i == 0 ? 0 : ends_[i - 1];
    // The last block that starts at or before the text: the one that holds it (an empty text
    // at a block's start may be given from either side, as an empty view).
    const auto block = std::upper_bound(starts_.begin(), starts_.end(), start) - 1;
    const std::size_t k = static_cast<std::size_t>(block - starts_.begin());
    return std::string_view(blocks_[k]).substr(start - *block, ends_[i] - start);
}

bool operator==(const TextList& a, const TextList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

void PrintTo(const TextList& list, std::ostream* os) { *os << debug_text_list(list); }

}  // namespace kdinstr::utils
