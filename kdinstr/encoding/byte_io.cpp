#include "kdinstr/encoding/byte_io.hpp"

#include <algorithm>
#include <cstring>

namespace kdinstr::encoding {

IoResult<void> VectorSink::write(std::span<const std::uint8_t> bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return {};
}

IoResult<std::size_t> SpanSource::read(std::span<std::uint8_t> buffer) {
    const std::size_t n = std::min(buffer.size(), remaining());
    if (n > 0) std::memcpy(buffer.data(), data_.data() + pos_, n);
    pos_ += n;
    return n;
}

}  // namespace kdinstr::encoding
