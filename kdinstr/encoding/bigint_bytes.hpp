#pragma once
// Big integers as two's-complement little-endian bytes: the form their binary encoding uses.
#include <gmpxx.h>

#include <cstdint>
#include <span>
#include <vector>

namespace kdinstr::encoding {

// The minimal form: zero is the single byte 00; otherwise no redundant sign byte.
std::vector<std::uint8_t> bigint_to_signed_bytes_le(const mpz_class& value);
// Any length is accepted, non-minimal forms included; no bytes is zero.
mpz_class bigint_from_signed_bytes_le(std::span<const std::uint8_t> bytes);

}  // namespace kdinstr::encoding
