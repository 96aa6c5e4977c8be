#pragma once
// The statistic that a "!analysis" instruction asks for, with its flag set of instruction
// families. Nothing evaluates these yet: they are carried, printed and encoded.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kdinstr/modules/enum_words.hpp"
#include "kdinstr/modules/name.hpp"

namespace kdinstr::analysis {

// A set of instruction families over 32 bits. Only defined bits are ever held by sets built
// from raw numbers; the constructor from bits is the one way in for unchecked input.
class InstructionFlags {
  public:
    static constexpr std::uint32_t META = 0x1;
    static constexpr std::uint32_t SIMPLE = 0x2;
    static constexpr std::uint32_t ARITHMETIC = 0x40;
    static constexpr std::uint32_t ARITHMETIC_INT = 0xC0;
    static constexpr std::uint32_t ARITHMETIC_FP = 0x140;
    static constexpr std::uint32_t INVOKE = 0x200;
    static constexpr std::uint32_t MEMORY = 0x400;
    static constexpr std::uint32_t CONTROL_FLOW = 0x800;
    static constexpr std::uint32_t TERMINATOR = 0x1800;
    static constexpr std::uint32_t ALL = 0x1FC3;

    constexpr InstructionFlags() = default;
    // Keeps only the defined bits; the others are dropped silently.
    static constexpr InstructionFlags from_bits_truncate(std::uint32_t bits) {
        return InstructionFlags(bits & ALL);
    }
    // Holds the bits as given, undefined ones included (the encoder writes them as held).
    static constexpr InstructionFlags from_bits_retain(std::uint32_t bits) {
        return InstructionFlags(bits);
    }

    constexpr std::uint32_t bits() const { return bits_; }
    constexpr bool is_empty() const { return bits_ == 0; }
    // True when every bit of `flag` is in the set (a composite needs all its bits).
    constexpr bool contains(std::uint32_t flag) const { return (bits_ & flag) == flag; }

    constexpr bool operator==(const InstructionFlags&) const = default;

    // "META | SIMPLE", extra bits as " | 0x..", "0x0" when empty.
    std::string to_string() const;
    // "InstructionFlags(" + to_string() + ")".
    std::string debug() const;

  private:
    constexpr explicit InstructionFlags(std::uint32_t bits) : bits_(bits) {}
    std::uint32_t bits_ = 0;
};

// The field-less kind of a statistic; the variant order of `AnalysisStatistic`.
enum class AnalysisStatisticOp : std::uint8_t {
    InstructionCount,
    ExecutionCount,
    TerminationBehavior
};

struct BlockExit {
    bool operator==(const BlockExit&) const = default;
};
struct FunctionExit {
    bool operator==(const FunctionExit&) const = default;
};
struct ReachAny {
    std::vector<modules::Label> labels;
    bool operator==(const ReachAny&) const = default;
};
// The variant index is the encoding's scope byte.
using TerminationScope = std::variant<BlockExit, FunctionExit, ReachAny>;
// Words of the scopes, in variant order: "blockexit", "funcexit", "reach".
inline constexpr std::array<std::string_view, 3> termination_scope_words{"blockexit", "funcexit",
                                                                         "reach"};
// For a scope word that names none of them ({} the word as written).
inline constexpr fmt::format_string<std::string_view> unknown_termination_scope_message{
    "unknown termination scope variant: {} (expected one of: blockexit, funcexit, reach)"};

struct InstructionCount {
    InstructionFlags flags;
    bool operator==(const InstructionCount&) const = default;
};
struct ExecutionCount {
    bool operator==(const ExecutionCount&) const = default;
};
struct TerminationBehavior {
    TerminationScope scope;
    bool operator==(const TerminationBehavior&) const = default;
};
// The variant index is the encoding's tag and the value of `AnalysisStatisticOp`.
using AnalysisStatistic = std::variant<InstructionCount, ExecutionCount, TerminationBehavior>;

inline AnalysisStatisticOp op_of(const AnalysisStatistic& statistic) {
    return static_cast<AnalysisStatisticOp>(statistic.index());
}

// BlockExit, FunctionExit, ReachAny([Label(1), Label(2)]).
std::string debug(const TerminationScope& scope);
// InstructionCount(InstructionFlags(META)), ExecutionCount, TerminationBehavior(BlockExit).
std::string debug(const AnalysisStatistic& statistic);

}  // namespace kdinstr::analysis

namespace kdinstr::modules {

template <>
struct EnumWords<analysis::AnalysisStatisticOp> {
    static constexpr std::array<std::string_view, 3> words{"icnt", "excnt", "term"};
    static constexpr std::array<std::string_view, 3> debug_names{
        "InstructionCount", "ExecutionCount", "TerminationBehavior"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown analysis statistic op: {} (expected one of: {})"};
};

}  // namespace kdinstr::modules
