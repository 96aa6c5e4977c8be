#pragma once
// What reading encoded input may still cost, in bytes: of input taken out of a decompressor and
// of the records built from it (with what loading later builds beside them). The decoders charge
// as things arrive and before they allocate, never from a count the input declares, so input
// that declares much and holds little is refused once it has cost what it was allowed to,
// whatever the count said. A charge is a compare and a subtraction.
#include <cstddef>
#include <cstdint>
#include <expected>

#include "kdinstr/encoding/byte_io.hpp"

namespace kdinstr::encoding {

class DecodeBudget {
  public:
    // Refuses nothing.
    DecodeBudget() = default;
    // Allows `limit` bytes; a charge past them fails with `exhausted` as its text.
    DecodeBudget(std::size_t limit, const char* exhausted)
        : limit_(limit), left_(limit), exhausted_(exhausted) {}

    // Takes `bytes` from what is left, or fails with the budget's text and leaves nothing.
    IoResult<void> charge(std::size_t bytes) {
        if (bytes <= left_) [[likely]] {
            left_ -= bytes;
            return {};
        }
        return exhaust();
    }
    // `count` records of `bytes` each.
    IoResult<void> charge(std::size_t count, std::size_t bytes) {
        if (bytes != 0 && count > left_ / bytes) return exhaust();
        return charge(count * bytes);
    }

    std::size_t limit() const { return limit_; }
    // What the charges so far took.
    std::size_t spent() const { return limit_ - left_; }

  private:
    IoResult<void> exhaust() {
        left_ = 0;
        return std::unexpected(IoError::invalid_data(exhausted_));
    }

    std::size_t limit_ = SIZE_MAX;
    std::size_t left_ = SIZE_MAX;
    const char* exhausted_ = "";
};

}  // namespace kdinstr::encoding
