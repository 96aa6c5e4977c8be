#pragma once
// Short constructors for building IR in tests without a parser or a registry.
//
//   auto f = FunctionBuilder()
//                .name("f")
//                .param(0, ty(1))
//                .block(0, {iadd(1, ty(1), reg(0), reg(0))}, ret(reg(1)))
//                .build();
//
// Types are plain Typerefs (`ty(n)` is a fixed non-wildcard value, `wildcard(i)` a wildcard);
// nothing here interns anything.
#include <gmpxx.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/consts/int_const.hpp"
#include "kdinstr/modules/basic_block.hpp"
#include "kdinstr/modules/external_function.hpp"
#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/modules/symbol.hpp"
#include "kdinstr/modules/terminator.hpp"
#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::tests {

namespace ir = kdinstr::modules;
namespace instr = kdinstr::modules::instructions;
using types::Typeref;

// ---- identities and types

// A uuid that is all zero but its last byte: uuid(1) < uuid(2) in a module's order.
inline utils::Uuid uuid(std::uint8_t n) {
    utils::Uuid u;
    u.bytes[15] = n;
    return u;
}

// A fixed registered-looking Typeref, never a wildcard; equal seeds give equal types.
inline Typeref ty(std::uint8_t seed) {
    Typeref t;
    t.uuid.bytes[0] = 0x10;
    t.uuid.bytes[6] = 0x60;  // a version-6 uuid, as registries mint them
    t.uuid.bytes[15] = seed;
    return t;
}

inline Typeref wildcard(std::uint16_t index) { return Typeref::wildcard(index); }

// ---- operands

inline ir::Operand reg(std::uint32_t n) { return ir::Operand(ir::Name{n}); }
inline ir::Operand undef(Typeref type) { return ir::Operand(type); }
inline ir::Operand imm_int(long value, std::uint32_t bits = 64) {
    return ir::Operand(
        consts::AnyConst(consts::IConst(types::primary::IType{bits}, mpz_class(value))));
}
inline ir::Operand internal_fn(const utils::Uuid& target) {
    return ir::Operand(consts::AnyConst(ir::FunctionPointer::internal(target)));
}
inline ir::Operand external_fn(const utils::Uuid& target) {
    return ir::Operand(consts::AnyConst(ir::FunctionPointer::external(target)));
}

// ---- instructions (the rest can be built from their records: ir::KdInstr(instr::FAdd{...}))

inline ir::KdInstr iadd(std::uint32_t dest, Typeref type, ir::Operand lhs, ir::Operand rhs) {
    return instr::IAdd{ir::Name{dest}, type, std::move(lhs), std::move(rhs),
                       instr::OverflowSignednessPolicy::Wrap};
}
inline ir::KdInstr icmp(std::uint32_t dest, Typeref type, ir::Operand lhs, ir::Operand rhs,
                        instr::ICmpVariant variant = instr::ICmpVariant::Eq) {
    return instr::ICmp{ir::Name{dest}, type, std::move(lhs), std::move(rhs), variant};
}
inline ir::KdInstr phi(std::uint32_t dest, Typeref type,
                       std::vector<std::pair<ir::Operand, std::uint32_t>> values) {
    instr::Phi p{ir::Name{dest}, type, {}};
    for (auto& [operand, label] : values)
        p.values.emplace_back(std::move(operand), ir::Label{label});
    return p;
}
inline ir::KdInstr load(std::uint32_t dest, Typeref type, ir::Operand addr) {
    return instr::MLoad{ir::Name{dest}, type, std::move(addr), std::nullopt, std::nullopt, false};
}
inline ir::KdInstr store(ir::Operand addr, ir::Operand value) {
    return instr::MStore{std::move(addr), std::move(value), std::nullopt, std::nullopt, false};
}
inline ir::KdInstr select(std::uint32_t dest, Typeref type, ir::Operand condition,
                          ir::Operand true_value, ir::Operand false_value) {
    return instr::Select{ir::Name{dest}, std::move(condition), std::move(true_value),
                         std::move(false_value), type};
}
inline ir::KdInstr gep(std::uint32_t dest, Typeref type, Typeref in_type, ir::Operand base,
                       std::vector<ir::Operand> indices = {}) {
    return instr::MGetElementPtr{ir::Name{dest}, type, in_type, std::move(base),
                                 std::move(indices)};
}
// A call without a result.
inline ir::KdInstr invoke(ir::Operand callee, std::vector<ir::Operand> args = {}) {
    return instr::Invoke{std::move(callee), std::move(args), std::nullopt, std::nullopt,
                         std::nullopt};
}
// A call whose result lands in `dest`.
inline ir::KdInstr invoke(std::uint32_t dest, Typeref type, ir::Operand callee,
                          std::vector<ir::Operand> args = {}) {
    return instr::Invoke{std::move(callee), std::move(args), ir::Name{dest}, type, std::nullopt};
}
inline ir::KdInstr meta_assert(ir::Operand condition) {
    return instr::MetaAssert{std::move(condition)};
}
inline ir::KdInstr meta_forall(std::uint32_t dest, Typeref type) {
    return instr::MetaForall{ir::Name{dest}, type};
}

// ---- terminators

inline ir::KdTerminator ret() { return ir::KdTerminator::Ret{std::nullopt}; }
inline ir::KdTerminator ret(ir::Operand value) { return ir::KdTerminator::Ret{std::move(value)}; }
inline ir::KdTerminator jump(std::uint32_t target) {
    return ir::KdTerminator::Jump{ir::Label{target}};
}
inline ir::KdTerminator branch(ir::Operand condition, std::uint32_t when_true,
                               std::uint32_t when_false) {
    return ir::KdTerminator::Branch{std::move(condition), ir::Label{when_true},
                                    ir::Label{when_false}};
}
inline ir::KdTerminator trap() { return ir::KdTerminator::Trap{}; }

// ---- functions and modules

// Starts from an empty body (no entry block) with uuid(1); each call sets one part.
class FunctionBuilder {
  public:
    FunctionBuilder() { f_.uuid = tests::uuid(1); }

    FunctionBuilder& uuid(const utils::Uuid& u) { return f_.uuid = u, *this; }
    FunctionBuilder& name(std::string n) { return f_.name = std::move(n), *this; }
    FunctionBuilder& param(std::uint32_t name, Typeref type) {
        f_.parameters.emplace_back(ir::Name{name}, type);
        return *this;
    }
    FunctionBuilder& returns(Typeref type) { return f_.return_type = type, *this; }
    FunctionBuilder& wildcards(std::set<std::uint16_t> indices) {
        return f_.wildcard_types = std::move(indices), *this;
    }
    FunctionBuilder& meta(bool on = true) { return f_.meta = on, *this; }
    // A block whose own label equals its key; replaces a block of the same label.
    FunctionBuilder& block(std::uint32_t label, std::vector<ir::KdInstr> instructions,
                           ir::KdTerminator terminator) {
        f_.body.insert_or_assign(
            ir::Label{label},
            ir::BasicBlock{ir::Label{label}, std::move(instructions), std::move(terminator)});
        return *this;
    }
    // Direct access for what the calls above do not cover.
    ir::Function& function() { return f_; }

    ir::Function build() const { return f_; }
    std::shared_ptr<const ir::Function> shared() const {
        return std::make_shared<ir::Function>(f_);
    }

  private:
    ir::Function f_;
};

inline ir::ExternalFunction external(const utils::Uuid& u, std::string name,
                                     std::vector<Typeref> parameter_types = {},
                                     std::optional<Typeref> return_type = std::nullopt) {
    return ir::ExternalFunction{u, std::move(name), ir::CallingConvention{},
                                std::move(parameter_types), return_type};
}

inline ir::Module module_of(std::vector<ir::Function> functions,
                            std::vector<ir::ExternalFunction> externals = {}) {
    ir::Module m;
    for (auto& f : functions) {
        const utils::Uuid key = f.uuid;
        m.functions.insert_or_assign(key, std::make_shared<ir::Function>(std::move(f)));
    }
    for (auto& e : externals) {
        const utils::Uuid key = e.uuid;
        m.external_functions.insert_or_assign(key, std::move(e));
    }
    return m;
}

}  // namespace kdinstr::tests
