#include "kdinstr/encoding/byte_io.hpp"

#include <algorithm>
#include <cstring>

namespace kdinstr::encoding {

IoResult<void> VectorSink::write(std::span<const std::uint8_t> bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return {};
}

IoResult<std::size_t> BufferedSource::read(std::span<std::uint8_t> buffer) {
    if (buffer.empty()) return 0;
    if (available() == 0) {
        auto more = refill();
        if (!more) return std::unexpected(std::move(more.error()));
        if (!*more) return 0;
    }
    const std::size_t n = std::min(buffer.size(), available());
    std::memcpy(buffer.data(), take(n), n);
    return n;
}

}  // namespace kdinstr::encoding
