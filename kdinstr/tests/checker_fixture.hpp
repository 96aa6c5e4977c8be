#pragma once
// A registry with the usual types interned, and short helpers to type-check one-block functions
// and to spell the errors the checker should give.
#include <gmpxx.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/consts/big_decimal.hpp"
#include "kdinstr/consts/fp_const.hpp"
#include "kdinstr/consts/int_const.hpp"
#include "kdinstr/tests/ir_builder.hpp"
#include "kdinstr/types/checker.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::tests {

using types::primary::FType;
using types::primary::IType;
using types::primary::VcSize;

struct CheckerFixture {
    types::TypeRegistry registry;
    Typeref i1 = intern(IType{1});
    Typeref i2 = intern(IType{2});
    Typeref i8 = intern(IType{8});
    Typeref i16 = intern(IType{16});
    Typeref i32 = intern(IType{32});
    Typeref i64 = intern(IType{64});
    Typeref i80 = intern(IType{80});
    Typeref fp16 = intern(FType::Fp16);
    Typeref bf16 = intern(FType::Bf16);
    Typeref fp32 = intern(FType::Fp32);
    Typeref fp64 = intern(FType::Fp64);
    Typeref fp128 = intern(FType::Fp128);
    Typeref x86_fp80 = intern(FType::X86Fp80);
    Typeref ppc_fp128 = intern(FType::PPCFp128);
    Typeref ptr = intern(types::primary::Ptr{});
    Typeref label = intern(types::primary::PrimaryType::Label{});
    // Never interned: the registry prints it as its unknown-type text.
    Typeref missing = ty(0x42);

    Typeref intern(types::AnyType type) { return registry.search_or_insert(std::move(type)); }

    // <n x element> and <vscale n x element>.
    Typeref vec(types::primary::PrimaryBasicType element, std::uint16_t n) {
        return intern(types::primary::PrimaryType::vector(std::move(element), VcSize::fixed(n)));
    }
    Typeref svec(types::primary::PrimaryBasicType element, std::uint16_t n) {
        return intern(types::primary::PrimaryType::vector(std::move(element), VcSize::scalable(n)));
    }
    Typeref array(Typeref element, std::uint16_t n) {
        return intern(types::aggregate::ArrayType{element, n});
    }
    Typeref strct(std::vector<Typeref> fields, bool packed = false) {
        return intern(types::aggregate::StructType{std::move(fields), packed});
    }

    std::string text(Typeref t) const { return registry.fmt(t).to_string(); }

    // One block 0 holding `body` and ending in `end`; parameters %0.. get `params` in order.
    types::checker::CheckResult check(std::vector<Typeref> params, std::vector<ir::KdInstr> body,
                                      ir::KdTerminator end = trap(),
                                      std::optional<Typeref> returns = std::nullopt) {
        FunctionBuilder b;
        for (std::uint32_t i = 0; i < params.size(); ++i) b.param(i, params[i]);
        if (returns) b.returns(*returns);
        b.block(0, std::move(body), std::move(end));
        return types::checker::type_check(b.build(), registry);
    }
};

inline ir::Operand int_imm(std::uint32_t bits, long value) {
    return ir::Operand(consts::AnyConst(consts::IConst(IType{bits}, mpz_class(value))));
}
inline ir::Operand fp_imm(FType type, long unscaled, std::int64_t scale = 0) {
    return ir::Operand(
        consts::AnyConst(consts::FConst(type, consts::BigDecimal(mpz_class(unscaled), scale))));
}

inline utils::Error type_mismatch(std::string instruction, std::string expected,
                                  std::string found) {
    return utils::Error::TypeMismatch{std::move(instruction), std::move(expected),
                                      std::move(found)};
}

inline utils::Error out_of_bounds(std::size_t index, std::string type, std::size_t maximum,
                                  std::string instruction) {
    return utils::Error::IndexOutOfBounds{index, std::move(type), maximum, std::move(instruction)};
}

// "ok", or the error's message: a failed expectation then shows the whole text.
inline std::string outcome(const types::checker::CheckResult& result) {
    return result ? std::string("ok") : result.error().message();
}
inline std::string outcome(const std::optional<utils::Error>& expected) {
    return expected ? expected->message() : std::string("ok");
}

}  // namespace kdinstr::tests
