#include "kdinstr/consts/big_int.hpp"

#include <charconv>
#include <limits>
#include <ostream>

namespace kdinstr::consts {

namespace {

using U128 = unsigned __int128;

// The low 64 bits of |value|.
std::uint64_t low_magnitude(const mpz_class& value) {
    if constexpr (GMP_NUMB_BITS == 64) {
        return static_cast<std::uint64_t>(mpz_getlimbn(value.get_mpz_t(), 0));
    } else {
        std::uint64_t words[2] = {0, 0};
        std::size_t count = 0;
        mpz_export(words, &count, -1, sizeof(std::uint64_t), 0, 0, value.get_mpz_t());
        return words[0];
    }
}

mpz_class from_u128(U128 magnitude) {
    const std::uint64_t words[2] = {static_cast<std::uint64_t>(magnitude),
                                    static_cast<std::uint64_t>(magnitude >> 64)};
    mpz_class out;
    mpz_import(out.get_mpz_t(), 2, -1, sizeof(std::uint64_t), 0, 0, words);
    return out;
}

// Signed value of a small form, held in 128 bits (it needs 65).
__int128 wide(bool negative, std::uint64_t magnitude) {
    return negative ? -static_cast<__int128>(magnitude) : static_cast<__int128>(magnitude);
}

BigInt from_wide(__int128 v) {
    const bool negative = v < 0;
    const U128 magnitude = negative ? U128{0} - static_cast<U128>(v) : static_cast<U128>(v);
    return BigInt::from_magnitude(negative, magnitude);
}

}  // namespace

BigInt BigInt::from_magnitude(bool negative, U128 magnitude) {
    if ((magnitude >> 64) == 0)
        return from_magnitude(negative, static_cast<std::uint64_t>(magnitude));
    mpz_class value = from_u128(magnitude);
    if (negative) mpz_neg(value.get_mpz_t(), value.get_mpz_t());
    BigInt out;
    out.set_big(new mpz_class(std::move(value)));
    return out;
}

void BigInt::assign(mpz_class value) {
    if (mpz_sizeinbase(value.get_mpz_t(), 2) <= 64) {
        set_small(sgn(value) < 0, low_magnitude(value));
    } else {
        set_big(new mpz_class(std::move(value)));
    }
}

int BigInt::sign() const {
    switch (form_) {
        case Form::NonNegative:
            return magnitude() == 0 ? 0 : 1;
        case Form::Negative:
            return -1;
        case Form::Big:
            break;
    }
    return sgn(big());
}

std::optional<std::int64_t> BigInt::to_i64() const {
    if (!is_small()) return std::nullopt;
    const std::uint64_t m = magnitude();
    constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (form_ == Form::NonNegative) {
        if (m > max) return std::nullopt;
        return static_cast<std::int64_t>(m);
    }
    if (m > max + 1) return std::nullopt;
    // -m in two's complement: also right for -2^63.
    return static_cast<std::int64_t>(std::uint64_t{0} - m);
}

std::optional<std::uint64_t> BigInt::to_u64() const {
    if (form_ != Form::NonNegative) return std::nullopt;
    return magnitude();
}

mpz_class BigInt::to_mpz() const {
    if (!is_small()) return big();
    mpz_class out;
    const std::uint64_t m = magnitude();
    if constexpr (sizeof(unsigned long) >= sizeof(std::uint64_t)) {
        mpz_set_ui(out.get_mpz_t(), static_cast<unsigned long>(m));
    } else {
        mpz_import(out.get_mpz_t(), 1, -1, sizeof m, 0, 0, &m);
    }
    if (form_ == Form::Negative) mpz_neg(out.get_mpz_t(), out.get_mpz_t());
    return out;
}

bool BigInt::fits_slong_p() const {
    if constexpr (sizeof(long) == sizeof(std::int64_t)) {
        return to_i64().has_value();
    } else {
        return to_mpz().fits_slong_p();
    }
}

bool BigInt::fits_ulong_p() const {
    if constexpr (sizeof(unsigned long) == sizeof(std::uint64_t)) {
        return to_u64().has_value();
    } else {
        return to_mpz().fits_ulong_p();
    }
}

long BigInt::get_si() const {
    if constexpr (sizeof(long) == sizeof(std::int64_t)) {
        if (const auto v = to_i64()) return static_cast<long>(*v);
    }
    return to_mpz().get_si();
}

unsigned long BigInt::get_ui() const {
    if constexpr (sizeof(unsigned long) == sizeof(std::uint64_t)) {
        if (is_small()) return static_cast<unsigned long>(magnitude());
    }
    return to_mpz().get_ui();
}

std::string BigInt::get_str(int base) const {
    if (!is_small() || base < 2 || base > 36) return to_mpz().get_str(base);
    char buffer[1 + 64];
    char* at = buffer;
    if (form_ == Form::Negative) *at++ = '-';
    const auto end = std::to_chars(at, buffer + sizeof buffer, magnitude(), base).ptr;
    return std::string(buffer, end);
}

std::string BigInt::magnitude_string() const {
    if (!is_small()) return abs(*this).get_str(10);
    char buffer[20];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, magnitude()).ptr;
    return std::string(buffer, end);
}

BigInt abs(const BigInt& v) {
    if (v.is_small()) return BigInt::from_magnitude(false, v.magnitude());
    return BigInt(mpz_class(abs(v.big())));
}

BigInt BigInt::operator-() const {
    if (is_small()) return from_magnitude(form_ == Form::NonNegative, magnitude());
    return BigInt(mpz_class(-big()));
}

bool operator==(const BigInt& a, const BigInt& b) {
    if (a.form_ != b.form_) return false;
    if (a.is_small()) return a.magnitude() == b.magnitude();
    return cmp(a.big(), b.big()) == 0;
}

std::strong_ordering operator<=>(const BigInt& a, const BigInt& b) {
    if (a.is_small() && b.is_small()) return wide(a.form_ == BigInt::Form::Negative, a.magnitude()) <=>
                                             wide(b.form_ == BigInt::Form::Negative, b.magnitude());
    // A big value lies beyond every small one, on the side of its sign.
    if (a.is_small()) return 0 <=> b.sign();
    if (b.is_small()) return a.sign() <=> 0;
    return cmp(a.big(), b.big()) <=> 0;
}

BigInt operator+(const BigInt& a, const BigInt& b) {
    if (a.is_small() && b.is_small())
        return from_wide(wide(a.form_ == BigInt::Form::Negative, a.magnitude()) +
                         wide(b.form_ == BigInt::Form::Negative, b.magnitude()));
    return BigInt(mpz_class(a.to_mpz() + b.to_mpz()));
}

BigInt operator-(const BigInt& a, const BigInt& b) {
    if (a.is_small() && b.is_small())
        return from_wide(wide(a.form_ == BigInt::Form::Negative, a.magnitude()) -
                         wide(b.form_ == BigInt::Form::Negative, b.magnitude()));
    return BigInt(mpz_class(a.to_mpz() - b.to_mpz()));
}

BigInt operator*(const BigInt& a, const BigInt& b) {
    if (a.is_small() && b.is_small())
        return BigInt::from_magnitude(a.form_ != b.form_,
                                      static_cast<U128>(a.magnitude()) * b.magnitude());
    return BigInt(mpz_class(a.to_mpz() * b.to_mpz()));
}

std::ostream& operator<<(std::ostream& out, const BigInt& value) { return out << value.to_string(); }

}  // namespace kdinstr::consts
