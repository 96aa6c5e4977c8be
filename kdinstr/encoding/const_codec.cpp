#include "kdinstr/encoding/const_codec.hpp"

#include <array>
#include <bit>
#include <span>
#include <utility>
#include <variant>

#include "kdinstr/encoding/try.hpp"
#include "kdinstr/encoding/type_codec.hpp"

namespace kdinstr::encoding {

namespace {

using consts::BigInt;

// Values of magnitude below 2^64 take at most nine bytes in their minimal two's complement.
constexpr std::size_t kSmallBytes = 9;

// The big-integer bytes of a small value, exactly as the general conversion writes them: the
// magnitude's bytes without trailing zeros, a 00 byte when the top bit is set (except for the
// negative powers of two -128, -32768, ...), then the two's complement of a negative value.
std::size_t small_to_bytes(bool negative, std::uint64_t magnitude,
                           std::array<std::uint8_t, kSmallBytes>& out) {
    if (magnitude == 0) {
        out[0] = 0;
        return 1;
    }
    std::size_t n = (static_cast<std::size_t>(std::bit_width(magnitude)) + 7) / 8;
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(magnitude >> (8 * i));
    const std::uint8_t last = out[n - 1];
    const bool negative_power = negative && last == 0x80 && (magnitude & (magnitude - 1)) == 0;
    if (last > 0x7F && !negative_power) out[n++] = 0;
    if (negative) {
        bool carry = true;
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(~out[i]) + (carry ? 1 : 0));
            carry = carry && out[i] == 0;
        }
    }
    return n;
}

// At most nine bytes of two's complement: the value lies within +-2^71.
BigInt small_from_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return BigInt();
    unsigned __int128 bits = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) bits = (bits << 8) | bytes[i];
    if ((bytes.back() & 0x80) == 0) return BigInt::from_magnitude(false, bits);
    const unsigned __int128 modulus = static_cast<unsigned __int128>(1) << (8 * bytes.size());
    return BigInt::from_magnitude(true, modulus - bits);
}

// u32 byte count, then the value in two's complement, little-endian, minimal.
IoResult<void> write_big_int(BorshWriter& w, const BigInt& value) {
    const auto magnitude = value.small_magnitude();
    if (!magnitude) return w.write_bigint(value.to_mpz());
    std::array<std::uint8_t, kSmallBytes> bytes;
    const std::size_t n = small_to_bytes(sgn(value) < 0, *magnitude, bytes);
    KD_TRY(w.write_len(n));
    return w.write_raw(std::span<const std::uint8_t>(bytes.data(), n));
}

// Reads what `write_big_int` writes, non-minimal forms included; short values are converted
// in place, without an intermediate number or buffer.
IoResult<BigInt> read_big_int(BorshReader& r) {
    KD_LET(length, r.read_u32());
    if (length <= kSmallBytes) {
        std::array<std::uint8_t, kSmallBytes> bytes{};
        KD_TRY(r.read_exact(std::span<std::uint8_t>(bytes.data(), length)));
        return small_from_bytes(std::span<const std::uint8_t>(bytes.data(), length));
    }
    KD_LET(value, r.read_bigint_bytes(length));
    return BigInt(std::move(value));
}

}  // namespace

IoResult<void> encode(BorshWriter& w, const consts::BigDecimal& value) {
    KD_TRY(write_big_int(w, value.unscaled));
    return w.write_i64(value.scale);
}

IoResult<consts::BigDecimal> decode_big_decimal(BorshReader& r) {
    KD_LET(unscaled, read_big_int(r));
    KD_LET(scale, r.read_i64());
    return consts::BigDecimal(std::move(unscaled), scale);
}

IoResult<void> encode(BorshWriter& w, const consts::IConst& value) {
    KD_TRY(encode(w, value.ty));
    return write_big_int(w, value.value);
}

IoResult<consts::IConst> decode_iconst(BorshReader& r) {
    KD_LET(ty, decode_itype(r));
    KD_LET(value, read_big_int(r));
    return consts::IConst(ty, std::move(value));
}

IoResult<void> encode(BorshWriter& w, const consts::FConst& value) {
    KD_TRY(encode(w, value.ty));
    return encode(w, value.value);
}

IoResult<consts::FConst> decode_fconst(BorshReader& r) {
    KD_LET(ty, decode_ftype(r));
    KD_LET(value, decode_big_decimal(r));
    return consts::FConst(ty, std::move(value));
}

IoResult<void> encode(BorshWriter& w, const modules::FunctionPointer& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.kind())));
    return encode(w, value.uuid());
}

IoResult<modules::FunctionPointer> decode_function_pointer(BorshReader& r) {
    KD_LET(tag, r.read_tag(1));
    KD_LET(uuid, decode_uuid(r));
    return modules::FunctionPointer(static_cast<modules::FunctionPointerKind>(tag), uuid);
}

IoResult<void> encode(BorshWriter& w, const consts::AnyConst& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.kind())));
    return std::visit([&](const auto& payload) { return encode(w, payload); }, value.variant());
}

IoResult<consts::AnyConst> decode_any_const(BorshReader& r) {
    KD_LET(tag, r.read_tag(2));
    switch (tag) {
        case 0: {
            KD_LET(c, decode_iconst(r));
            return consts::AnyConst(std::move(c));
        }
        case 1: {
            KD_LET(c, decode_fconst(r));
            return consts::AnyConst(std::move(c));
        }
        default: {
            KD_LET(p, decode_function_pointer(r));
            return consts::AnyConst(p);
        }
    }
}

}  // namespace kdinstr::encoding
