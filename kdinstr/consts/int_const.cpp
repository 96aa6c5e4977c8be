#include "kdinstr/consts/int_const.hpp"

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::consts {

std::string to_decimal_string(const mpz_class& value) { return value.get_str(10); }

std::string to_decimal_string(const BigInt& value) { return value.get_str(10); }

IConst IConst::from_u64(std::uint64_t v) { return IConst(types::primary::IType{64}, BigInt(v)); }

std::string IConst::to_string() const {
    return fmt::format("{} {}", ty.to_string(), to_decimal_string(value));
}

std::string IConst::debug() const {
    return utils::debug_record("IConst", {{"ty", ty.debug()}, {"value", to_decimal_string(value)}});
}

}  // namespace kdinstr::consts
