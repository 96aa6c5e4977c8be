#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::utils {

bool Uuid::is_nil() const {
    for (auto b : bytes)
        if (b != 0) return false;
    return true;
}

std::string Uuid::to_string() const {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(hex[bytes[i] >> 4]);
        out.push_back(hex[bytes[i] & 0xF]);
    }
    return out;
}

}  // namespace kdinstr::utils
