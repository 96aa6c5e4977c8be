#include "kdinstr/encoding/bigint_bytes.hpp"

#include <algorithm>

namespace kdinstr::encoding {

namespace {

void twos_complement(std::vector<std::uint8_t>& bytes) {
    bool carry = true;
    for (auto& b : bytes) {
        const std::uint8_t inverted = static_cast<std::uint8_t>(~b);
        b = static_cast<std::uint8_t>(inverted + (carry ? 1 : 0));
        carry = carry && b == 0;
    }
}

}  // namespace

std::vector<std::uint8_t> bigint_to_signed_bytes_le(const mpz_class& value) {
    if (sgn(value) == 0) return {0};
    const mpz_class magnitude = abs(value);
    std::vector<std::uint8_t> bytes((mpz_sizeinbase(magnitude.get_mpz_t(), 2) + 7) / 8);
    std::size_t count = 0;
    mpz_export(bytes.data(), &count, -1, 1, 0, 0, magnitude.get_mpz_t());
    bytes.resize(count);
    const bool negative = sgn(value) < 0;
    const std::uint8_t last = bytes.back();
    // -128, -32768, ... already fit: their magnitude's set top bit is the sign bit itself.
    const bool negative_power =
        negative && last == 0x80 &&
        std::all_of(bytes.begin(), bytes.end() - 1, [](std::uint8_t b) { return b == 0; });
    if (last > 0x7F && !negative_power) bytes.push_back(0);
    if (negative) twos_complement(bytes);
    return bytes;
}

mpz_class bigint_from_signed_bytes_le(std::span<const std::uint8_t> bytes) {
    mpz_class result;
    if (bytes.empty()) return result;
    mpz_import(result.get_mpz_t(), bytes.size(), -1, 1, 0, 0, bytes.data());
    if (bytes.back() & 0x80) {
        mpz_class modulus;
        mpz_ui_pow_ui(modulus.get_mpz_t(), 2, 8 * bytes.size());
        result -= modulus;
    }
    return result;
}

}  // namespace kdinstr::encoding
