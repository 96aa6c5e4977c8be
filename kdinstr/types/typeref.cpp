#include "kdinstr/types/typeref.hpp"

namespace kdinstr::types {

Typeref Typeref::wildcard(std::uint16_t index) {
    Typeref t;
    auto& b = t.uuid.bytes;
    for (int i = 0; i < 6; ++i) b[i] = 0xFF;
    b[6] = 0x8F;
    b[7] = 0xFF;
    b[8] = 0xBF;
    for (int i = 9; i < 14; ++i) b[i] = 0xFF;
    b[14] = static_cast<std::uint8_t>(index & 0xFF);
    b[15] = static_cast<std::uint8_t>(index >> 8);
    return t;
}

bool Typeref::is_wildcard() const {
    const auto& b = uuid.bytes;
    for (int i = 0; i < 6; ++i)
        if (b[i] != 0xFF) return false;
    if (b[7] != 0xFF) return false;
    for (int i = 9; i < 13; ++i)
        if (b[i] != 0xFF) return false;
    return (b[6] >> 4) == 0x8;
}

std::optional<std::uint16_t> Typeref::wildcard_index() const {
    if (!is_wildcard()) return std::nullopt;
    return static_cast<std::uint16_t>(uuid.bytes[14] | (uuid.bytes[15] << 8));
}

std::string Typeref::debug() const { return "Typeref(" + to_string() + ")"; }

}  // namespace kdinstr::types
