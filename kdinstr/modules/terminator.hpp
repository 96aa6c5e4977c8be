#pragma once
// The last step of a basic block: a conditional branch, a jump, a return or a trap.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "kdinstr/modules/enum_words.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"

namespace kdinstr::modules {

// The kind of a terminator; the variant order of `KdTerminator`.
enum class KdTerminatorOp : std::uint8_t { Branch, Jump, Ret, Trap };

template <>
struct EnumWords<KdTerminatorOp> {
    static constexpr std::array<std::string_view, 4> words{"branch", "jump", "ret", "trap"};
    static constexpr std::array<std::string_view, 4> debug_names{"Branch", "Jump", "Ret", "Trap"};
};

struct TerminatorBranch {
    Operand condition;
    Label true_target;
    Label false_target;
    bool operator==(const TerminatorBranch&) const = default;
};
struct TerminatorJump {
    Label target;
    bool operator==(const TerminatorJump&) const = default;
};
struct TerminatorRet {
    std::optional<Operand> value;
    bool operator==(const TerminatorRet&) const = default;
};
struct TerminatorTrap {
    bool operator==(const TerminatorTrap&) const = default;
};

// The variant index is the encoding's tag and the value of `KdTerminatorOp`.
using KdTerminatorVariant =
    std::variant<TerminatorBranch, TerminatorJump, TerminatorRet, TerminatorTrap>;

// std::visit, std::get and std::holds_alternative work on it as on the variant itself.
class KdTerminator : public KdTerminatorVariant {
  public:
    using Branch = TerminatorBranch;
    using Jump = TerminatorJump;
    using Ret = TerminatorRet;
    using Trap = TerminatorTrap;

    using KdTerminatorVariant::KdTerminatorVariant;
    using KdTerminatorVariant::operator=;

    const KdTerminatorVariant& as_variant() const { return *this; }
    KdTerminatorVariant& as_variant() { return *this; }

    KdTerminatorOp op() const { return static_cast<KdTerminatorOp>(index()); }

    // The operands it reads: the branch condition, or the returned value.
    template <typename F>
    void for_each_operand(F&& f) const {
        if (auto* b = std::get_if<Branch>(this))
            f(b->condition);
        else if (auto* r = std::get_if<Ret>(this); r && r->value)
            f(*r->value);
    }
    template <typename F>
    void for_each_operand_mut(F&& f) {
        if (auto* b = std::get_if<Branch>(this))
            f(b->condition);
        else if (auto* r = std::get_if<Ret>(this); r && r->value)
            f(*r->value);
    }
    // The blocks it may continue in: true target then false target, or the jump's target.
    template <typename F>
    void for_each_target(F&& f) const {
        if (auto* b = std::get_if<Branch>(this)) {
            f(b->true_target);
            f(b->false_target);
        } else if (auto* j = std::get_if<Jump>(this)) {
            f(j->target);
        }
    }

    // Branch(Reg(%0), Label(1), Label(2)), Jump(Label(3)), Ret(Some(Reg(%1))), Ret(None), Trap.
    std::string debug() const;

    friend bool operator==(const KdTerminator& a, const KdTerminator& b) {
        return a.as_variant() == b.as_variant();
    }
};

}  // namespace kdinstr::modules
