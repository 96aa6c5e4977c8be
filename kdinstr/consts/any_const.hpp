#pragma once
// A constant: integer, floating point or function pointer. The variant index is the
// encoding's tag.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "kdinstr/consts/fp_const.hpp"
#include "kdinstr/consts/int_const.hpp"
#include "kdinstr/modules/symbol.hpp"

namespace kdinstr::consts {

class AnyConst {
  public:
    using Variant = std::variant<IConst, FConst, modules::FunctionPointer>;
    enum class Kind : std::uint8_t { Int = 0, Float = 1, FuncPtr = 2 };

    AnyConst(IConst c) : value_(std::move(c)) {}
    AnyConst(FConst c) : value_(std::move(c)) {}
    AnyConst(modules::FunctionPointer p) : value_(p) {}

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool is_int() const { return value_.index() == 0; }
    bool is_float() const { return value_.index() == 1; }
    bool is_func_ptr() const { return value_.index() == 2; }
    // The payload, or nullptr for another variant.
    const IConst* as_int() const { return std::get_if<IConst>(&value_); }
    const FConst* as_float() const { return std::get_if<FConst>(&value_); }
    const modules::FunctionPointer* as_func_ptr() const {
        return std::get_if<modules::FunctionPointer>(&value_);
    }
    IConst* as_int() { return std::get_if<IConst>(&value_); }
    FConst* as_float() { return std::get_if<FConst>(&value_); }
    modules::FunctionPointer* as_func_ptr() {
        return std::get_if<modules::FunctionPointer>(&value_);
    }

    const Variant& variant() const { return value_; }
    Variant& variant() { return value_; }

    friend bool operator==(const AnyConst& a, const AnyConst& b) { return a.value_ == b.value_; }

    // Int(IConst { .. }), Float(FConst { .. }), FuncPtr(Internal(<uuid>)).
    std::string debug() const;

  private:
    Variant value_;
};

// "Int", "Float", "FuncPtr".
std::string_view to_string(AnyConst::Kind kind);

}  // namespace kdinstr::consts
