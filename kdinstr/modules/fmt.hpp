#pragma once
// One-line text of single IR items (constants, operands, instructions, terminators) for
// messages. Not the assembly syntax: nothing reads this text back.
//
// Each adapter borrows its item, the registry and the module; it must not outlive them. The
// adapters write straight into the formatter's sink (`fmt::format("{}", adapter)` or
// `fmt::format_to`), and `to_string` collects the text for callers that need a string.
//
// Printing only reads the registry (recursive read locks per type text) and never interns, so
// it is safe while the caller holds a read view of the same registry. It never stops the
// process: a type the registry lacks prints as the registry's unknown-type text.
//
// Note: this namespace is named `fmt`; code inside `kdinstr::modules` that includes this header
// must spell the formatting library `::fmt`.
#include <fmt/format.h>

#include <string>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/modules/terminator.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdinstr::modules::fmt {

// A constant. With a module, function pointers are named after the function they point to
// ("ptr %name", "ptr @uuid", "ptr external %name") or marked "<invalid@uuid>" when the module
// has no such function; without a module they print "<unresolved@uuid>".
struct ConstFmt {
    const consts::AnyConst& constant;
    const Module* module = nullptr;

    ::fmt::appender format_to(::fmt::appender out) const;
    std::string to_string() const;
};

// An operand: "%n" for a register, the constant's text for an immediate, and "<type> undef"
// for an undefined value when a registry is given ("undef" alone without one).
struct OperandFmt {
    const Operand& operand;
    const types::TypeRegistry* registry = nullptr;
    const Module* module = nullptr;

    ::fmt::appender format_to(::fmt::appender out) const;
    std::string to_string() const;
};

// An instruction: "%d: <type> = " when it defines a register, the mnemonic, then its
// qualifiers and operands (for example "%3: i32 = iadd.wrap %1, %2").
struct InstrFmt {
    const KdInstr& instr;
    const types::TypeRegistry& registry;
    const Module* module = nullptr;

    ::fmt::appender format_to(::fmt::appender out) const;
    std::string to_string() const;
};

// A terminator: "branch %0, block_1, block_2", "jump label block_3", "ret void", "ret <op>",
// "trap".
struct TerminatorFmt {
    const KdTerminator& terminator;
    const types::TypeRegistry& registry;
    const Module* module = nullptr;

    ::fmt::appender format_to(::fmt::appender out) const;
    std::string to_string() const;
};

inline ConstFmt fmt_const(const consts::AnyConst& constant, const Module* module = nullptr) {
    return ConstFmt{constant, module};
}

inline OperandFmt fmt_operand(const Operand& operand, const types::TypeRegistry* registry = nullptr,
                              const Module* module = nullptr) {
    return OperandFmt{operand, registry, module};
}

inline InstrFmt fmt_instr(const KdInstr& instr, const types::TypeRegistry& registry,
                          const Module* module = nullptr) {
    return InstrFmt{instr, registry, module};
}

inline TerminatorFmt fmt_terminator(const KdTerminator& terminator,
                                    const types::TypeRegistry& registry,
                                    const Module* module = nullptr) {
    return TerminatorFmt{terminator, registry, module};
}

}  // namespace kdinstr::modules::fmt

namespace kdinstr::modules::fmt::detail {

// Shared by the adapters' formatters: no format specifiers are accepted.
template <typename Adapter>
struct AdapterFormatter {
    constexpr auto parse(::fmt::format_parse_context& ctx) { return ctx.begin(); }
    auto format(const Adapter& adapter, ::fmt::format_context& ctx) const {
        return adapter.format_to(ctx.out());
    }
};

}  // namespace kdinstr::modules::fmt::detail

template <>
struct fmt::formatter<kdinstr::modules::fmt::ConstFmt>
    : kdinstr::modules::fmt::detail::AdapterFormatter<kdinstr::modules::fmt::ConstFmt> {};

template <>
struct fmt::formatter<kdinstr::modules::fmt::OperandFmt>
    : kdinstr::modules::fmt::detail::AdapterFormatter<kdinstr::modules::fmt::OperandFmt> {};

template <>
struct fmt::formatter<kdinstr::modules::fmt::InstrFmt>
    : kdinstr::modules::fmt::detail::AdapterFormatter<kdinstr::modules::fmt::InstrFmt> {};

template <>
struct fmt::formatter<kdinstr::modules::fmt::TerminatorFmt>
    : kdinstr::modules::fmt::detail::AdapterFormatter<kdinstr::modules::fmt::TerminatorFmt> {};
