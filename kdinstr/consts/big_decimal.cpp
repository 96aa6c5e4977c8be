#include "kdinstr/consts/big_decimal.hpp"

#include <vector>

namespace kdinstr::consts {

namespace {

// Scales span the whole int64 range, so the exponents derived from them need 128 bits.
using Wide = __int128;

std::string wide_to_string(Wide v) {
    const bool negative = v < 0;
    unsigned __int128 mag =
        negative ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mag % 10)));
        mag /= 10;
    } while (mag != 0);
    return negative ? "-" + digits : digits;
}

// Drops the trailing zeros of a non-zero unscaled value, lowering the scale to match.
void normalise(mpz_class& unscaled, Wide& scale) {
    while (mpz_divisible_ui_p(unscaled.get_mpz_t(), 10)) {
        mpz_divexact_ui(unscaled.get_mpz_t(), unscaled.get_mpz_t(), 10);
        --scale;
    }
}

}  // namespace

bool operator==(const BigDecimal& a, const BigDecimal& b) {
    if (sgn(a.unscaled) != sgn(b.unscaled)) return false;
    if (sgn(a.unscaled) == 0) return true;
    if (a.scale == b.scale) return a.unscaled == b.unscaled;
    mpz_class ua = a.unscaled.to_mpz(), ub = b.unscaled.to_mpz();
    Wide sa = a.scale, sb = b.scale;
    normalise(ua, sa);
    normalise(ub, sb);
    return sa == sb && ua == ub;
}

std::string BigDecimal::to_string() const {
    if (sgn(unscaled) == 0) return "0";
    const std::string d = unscaled.magnitude_string();
    const Wide n = static_cast<Wide>(d.size());
    const Wide s = scale;
    const Wide lead = s > n ? s - n : 0;
    const Wide trail = s < 0 ? -s : 0;

    std::string out = sgn(unscaled) < 0 ? "-" : "";
    if (lead > 5) {
        out += d[0];
        if (d.size() > 1) {
            out += '.';
            out.append(d, 1);
        }
        out += 'E';
        out += wide_to_string(n - s - 1);
    } else if (trail > 15) {
        out += d;
        out += "e+";
        out += wide_to_string(-s);
    } else if (s <= 0) {
        out += d;
        out.append(static_cast<std::size_t>(-s), '0');
    } else if (s < n) {
        const auto point = static_cast<std::size_t>(n - s);
        out.append(d, 0, point);
        out += '.';
        out.append(d, point);
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(s - n), '0');
        out += d;
    }
    return out;
}

std::string BigDecimal::debug() const {
    const int sign = sgn(unscaled);
    std::string out = "BigDecimal(sign=";
    out += sign < 0 ? "Minus" : sign == 0 ? "NoSign" : "Plus";
    out += ", scale=" + std::to_string(scale) + ", digits=[";
    if (const auto small = unscaled.small_magnitude(); small && sign != 0) {
        out += std::to_string(*small);
    } else if (sign != 0) {
        const mpz_class big = unscaled.to_mpz();
        std::size_t count = 0;
        std::vector<std::uint64_t> limbs((mpz_sizeinbase(big.get_mpz_t(), 2) + 63) / 64);
        mpz_export(limbs.data(), &count, -1, sizeof(std::uint64_t), 0, 0, big.get_mpz_t());
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0) out += ", ";
            out += std::to_string(limbs[i]);
        }
    }
    out += "])";
    return out;
}

}  // namespace kdinstr::consts
