#pragma once
// An input of an instruction or terminator: a register, an immediate constant, or an undefined
// value of a type. The variant index is the encoding's tag.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::modules {

class Operand {
  public:
    using Variant = std::variant<Name, consts::AnyConst, types::Typeref>;
    enum class Kind : std::uint8_t { Reg = 0, Imm = 1, Undef = 2 };

    // Reg(%0): lets records holding operands be built field by field.
    Operand() : value_(Name{}) {}
    Operand(Name reg) : value_(reg) {}
    Operand(consts::AnyConst imm) : value_(std::move(imm)) {}
    Operand(types::Typeref undef) : value_(undef) {}
    static Operand reg(Name name) { return Operand(name); }
    static Operand imm(consts::AnyConst c) { return Operand(std::move(c)); }
    static Operand undef(types::Typeref ty) { return Operand(ty); }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool is_reg() const { return value_.index() == 0; }
    bool is_imm() const { return value_.index() == 1; }
    bool is_undef() const { return value_.index() == 2; }
    // The payload, or nullptr for another variant.
    const Name* as_reg() const { return std::get_if<Name>(&value_); }
    const consts::AnyConst* as_imm() const { return std::get_if<consts::AnyConst>(&value_); }
    const types::Typeref* as_undef() const { return std::get_if<types::Typeref>(&value_); }
    Name* as_reg() { return std::get_if<Name>(&value_); }
    consts::AnyConst* as_imm() { return std::get_if<consts::AnyConst>(&value_); }
    types::Typeref* as_undef() { return std::get_if<types::Typeref>(&value_); }

    const Variant& variant() const { return value_; }
    Variant& variant() { return value_; }

    friend bool operator==(const Operand& a, const Operand& b) { return a.value_ == b.value_; }

    // Reg(%3), Imm(Int(IConst { .. })), Undef(Typeref(<uuid>)).
    std::string debug() const;

  private:
    Variant value_;
};

// Every instruction holds operands inline: a constant below 2^64 needs no allocation and an
// operand stays within 28 bytes (where pointers are 8 bytes; the layout is ABI-dependent).
static_assert(sizeof(void*) != 8 || sizeof(Operand) <= 28);

// "Reg", "Imm", "Undef".
std::string_view to_string(Operand::Kind kind);

}  // namespace kdinstr::modules
