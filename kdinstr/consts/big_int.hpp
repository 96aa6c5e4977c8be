#pragma once
// An arbitrary-precision signed integer that holds every value of magnitude below 2^64 inline
// and only larger ones in a GMP number of its own.
//
// Constants are in nearly every instruction, and almost all of them are small: keeping those
// out of the heap saves an allocation per constant when a module is built, copied, decoded and
// dropped. Nine bytes, byte-aligned, so that the records holding constants stay compact.
//
// The form is canonical (a value has one representation), so equality compares forms. The
// operations mirror the parts of `mpz_class` that callers use (sgn, cmp, abs, comparisons,
// fits_*_p, get_*, get_str, +, -, *), and a value converts to `mpz_class` for the rest.
#include <fmt/format.h>
#include <gmpxx.h>

#include <compare>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace kdinstr::consts {

class BigInt {
  public:
    BigInt() noexcept { set_small(false, 0); }
    template <std::integral T>
    BigInt(T value) noexcept {
        if constexpr (std::is_signed_v<T>) {
            if (value < 0) {
                set_small(true, std::uint64_t{0} - static_cast<std::uint64_t>(value));
                return;
            }
        }
        set_small(false, static_cast<std::uint64_t>(value));
    }
    BigInt(const mpz_class& value) { assign(value); }
    BigInt(mpz_class&& value) { assign(std::move(value)); }
    // Any integer expression of the number library, as `mpz_class` takes it.
    template <typename U>
    BigInt(const __gmp_expr<mpz_t, U>& expression) : BigInt(mpz_class(expression)) {}
    // The value with this sign and magnitude; a negative zero is zero.
    static BigInt from_magnitude(bool negative, std::uint64_t magnitude) noexcept {
        BigInt out;
        out.set_small(negative && magnitude != 0, magnitude);
        return out;
    }
    static BigInt from_magnitude(bool negative, unsigned __int128 magnitude);

    BigInt(const BigInt& other) {
        if (other.is_small())
            copy_bytes(other);
        else
            set_big(new mpz_class(other.big()));
    }
    BigInt(BigInt&& other) noexcept {
        copy_bytes(other);
        other.set_small(false, 0);
    }
    BigInt& operator=(const BigInt& other) {
        if (this != &other) *this = BigInt(other);
        return *this;
    }
    BigInt& operator=(BigInt&& other) noexcept {
        if (this != &other) {
            release();
            copy_bytes(other);
            other.set_small(false, 0);
        }
        return *this;
    }
    ~BigInt() { release(); }

    // True when the value needs no number of its own (magnitude below 2^64).
    bool is_small() const { return form_ != Form::Big; }
    // -1, 0 or 1.
    int sign() const;
    // |value| when the value is small.
    std::optional<std::uint64_t> small_magnitude() const {
        if (!is_small()) return std::nullopt;
        return magnitude();
    }
    std::optional<std::int64_t> to_i64() const;
    std::optional<std::uint64_t> to_u64() const;

    mpz_class to_mpz() const;
    operator mpz_class() const { return to_mpz(); }

    // As `mpz_class` has them: get_ui and get_si keep the low bits of a value that does not fit.
    bool fits_slong_p() const;
    bool fits_ulong_p() const;
    long get_si() const;
    unsigned long get_ui() const;
    // Digits in `base` (2 to 36, lower case), "-" in front of a negative value.
    std::string get_str(int base = 10) const;
    std::string to_string() const { return get_str(10); }
    // The decimal digits of |value|.
    std::string magnitude_string() const;

    friend int sgn(const BigInt& v) { return v.sign(); }
    // Negative, zero or positive as a is below, equal to or above b.
    friend int cmp(const BigInt& a, const BigInt& b) {
        const auto order = a <=> b;
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    friend BigInt abs(const BigInt& v);
    BigInt operator-() const;

    friend bool operator==(const BigInt& a, const BigInt& b);
    friend std::strong_ordering operator<=>(const BigInt& a, const BigInt& b);
    template <std::integral T>
    friend bool operator==(const BigInt& a, T b) {
        return a == BigInt(b);
    }
    template <std::integral T>
    friend std::strong_ordering operator<=>(const BigInt& a, T b) {
        return a <=> BigInt(b);
    }

    friend BigInt operator+(const BigInt& a, const BigInt& b);
    friend BigInt operator-(const BigInt& a, const BigInt& b);
    friend BigInt operator*(const BigInt& a, const BigInt& b);
    BigInt& operator+=(const BigInt& other) { return *this = *this + other; }
    BigInt& operator-=(const BigInt& other) { return *this = *this - other; }
    BigInt& operator*=(const BigInt& other) { return *this = *this * other; }

  private:
    enum class Form : unsigned char { NonNegative, Negative, Big };

    std::uint64_t magnitude() const {
        std::uint64_t m;
        std::memcpy(&m, payload_, sizeof m);
        return m;
    }
    mpz_class* big_ptr() const {
        mpz_class* p;
        std::memcpy(&p, payload_, sizeof p);
        return p;
    }
    const mpz_class& big() const { return *big_ptr(); }
    void set_small(bool negative, std::uint64_t magnitude) noexcept {
        form_ = negative ? Form::Negative : Form::NonNegative;
        std::memcpy(payload_, &magnitude, sizeof magnitude);
    }
    void set_big(mpz_class* number) noexcept {
        form_ = Form::Big;
        std::memcpy(payload_, &number, sizeof number);
    }
    void copy_bytes(const BigInt& other) noexcept {
        form_ = other.form_;
        std::memcpy(payload_, other.payload_, sizeof payload_);
    }
    void release() noexcept {
        if (!is_small()) delete big_ptr();
    }
    // Small when the magnitude fits, else moved into a number of its own.
    void assign(mpz_class value);

    Form form_;
    unsigned char payload_[8];
};

static_assert(sizeof(void*) <= 8);
static_assert(alignof(BigInt) == 1);

std::ostream& operator<<(std::ostream& out, const BigInt& value);

}  // namespace kdinstr::consts

template <>
struct fmt::formatter<kdinstr::consts::BigInt> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::consts::BigInt& v, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(v.to_string(), ctx);
    }
};
