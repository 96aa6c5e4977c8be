#pragma once
// Opcodes and the small enums that qualify an instruction, with their words and debug names.
#include <array>
#include <cstdint>
#include <string_view>

#include "kdinstr/modules/enum_words.hpp"

namespace kdinstr::modules::instructions {

// The position of the record in `KdInstr`; also the encoding's tag.
enum class KdInstrOp : std::uint8_t {
    IAdd,
    ISub,
    IMul,
    IDiv,
    IRem,
    ICmp,
    ISht,
    INeg,
    IAnd,
    IOr,
    IXor,
    INot,
    IImplies,
    IEquiv,
    FAdd,
    FSub,
    FMul,
    FDiv,
    FRem,
    FCmp,
    FNeg,
    MLoad,
    MStore,
    MAlloca,
    MGetElementPtr,
    Invoke,
    Phi,
    Select,
    Cast,
    InsertValue,
    ExtractValue,
    MetaAssert,
    MetaAssume,
    MetaIsDef,
    MetaProb,
    MetaAnalysisStat,
    MetaForall,
};
inline constexpr std::size_t kd_instr_op_count = 37;
// Opcodes from here on are meta instructions, allowed only in meta functions.
inline constexpr KdInstrOp first_meta_op = KdInstrOp::MetaAssert;

constexpr bool is_meta(KdInstrOp op) { return op >= first_meta_op; }

enum class OverflowSignednessPolicy : std::uint8_t { Wrap, SSat, USat, STrap, UTrap };
enum class IntegerSignedness : std::uint8_t { Signed, Unsigned };
enum class ICmpVariant : std::uint8_t { Eq, Ne, Ugt, Uge, Ult, Ule, Sgt, Sge, Slt, Sle };
enum class IShiftVariant : std::uint8_t { Lsl, Lsr, Asr, Rol, Ror };
enum class FCmpVariant : std::uint8_t {
    Oeq,
    Ogt,
    Oge,
    Olt,
    Ole,
    One,
    Ueq,
    Ugt,
    Uge,
    Ult,
    Ule,
    Une,
    Ord,
};
enum class CastVariant : std::uint8_t {
    Trunc,
    ZExt,
    SExt,
    FpTrunc,
    FpExt,
    FpToUI,
    FpToSI,
    UIToFp,
    SIToFp,
    PtrToInt,
    IntToPtr,
    Bitcast,
};
enum class MemoryOrdering : std::uint8_t { Unordered, Monotonic, Acq, Rel, AcqRel, SeqCst };
// The kind of a "!prob" statistic, as the text parser names it.
enum class MetaProbVariant : std::uint8_t { Probability, ExpectedValue, Variance };

}  // namespace kdinstr::modules::instructions

namespace kdinstr::modules {

template <>
struct EnumWords<instructions::KdInstrOp> {
    static constexpr std::array<std::string_view, 37> words{
        "iadd",      "isub",        "imul",         "idiv",          "irem",    "icmp",    "isht",
        "ineg",      "and",         "or",           "xor",           "not",     "implies", "equiv",
        "fadd",      "fsub",        "fmul",         "fdiv",          "frem",    "fcmp",    "fneg",
        "load",      "store",       "alloca",       "getelementptr", "invoke",  "phi",     "select",
        "cast",      "insertvalue", "extractvalue", "!assert",       "!assume", "!isdef",  "!prob",
        "!analysis", "!forall"};
    static constexpr std::array<std::string_view, 37> debug_names{
        "IAdd",           "ISub",       "IMul",       "IDiv",      "IRem",     "ICmp",
        "ISht",           "INeg",       "IAnd",       "IOr",       "IXor",     "INot",
        "IImplies",       "IEquiv",     "FAdd",       "FSub",      "FMul",     "FDiv",
        "FRem",           "FCmp",       "FNeg",       "MLoad",     "MStore",   "MAlloca",
        "MGetElementPtr", "Invoke",     "Phi",        "Select",    "Cast",     "InsertValue",
        "ExtractValue",   "MetaAssert", "MetaAssume", "MetaIsDef", "MetaProb", "MetaAnalysisStat",
        "MetaForall"};
};

template <>
struct EnumWords<instructions::OverflowSignednessPolicy> {
    static constexpr std::array<std::string_view, 5> words{"wrap", "ssat", "usat", "strap",
                                                           "utrap"};
    static constexpr std::array<std::string_view, 5> debug_names{"Wrap", "SSat", "USat", "STrap",
                                                                 "UTrap"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown overflow signedness policy: {} (expected one of: {})"};
};

template <>
struct EnumWords<instructions::IntegerSignedness> {
    static constexpr std::array<std::string_view, 2> words{"signed", "unsigned"};
    static constexpr std::array<std::string_view, 2> debug_names{"Signed", "Unsigned"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown signedness variant: {} (expected one of: {})"};
};

template <>
struct EnumWords<instructions::ICmpVariant> {
    static constexpr std::array<std::string_view, 10> words{"eq",  "ne",  "ugt", "uge", "ult",
                                                            "ule", "sgt", "sge", "slt", "sle"};
    static constexpr std::array<std::string_view, 10> debug_names{
        "Eq", "Ne", "Ugt", "Uge", "Ult", "Ule", "Sgt", "Sge", "Slt", "Sle"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown integer comparison variant: {} (expected one of: {})"};
};

template <>
struct EnumWords<instructions::IShiftVariant> {
    static constexpr std::array<std::string_view, 5> words{"lsl", "lsr", "asr", "rol", "ror"};
    static constexpr std::array<std::string_view, 5> debug_names{"Lsl", "Lsr", "Asr", "Rol", "Ror"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown integer isht variant: {} (expected one of: {})"};
};

template <>
struct EnumWords<instructions::FCmpVariant> {
    static constexpr std::array<std::string_view, 13> words{
        "oeq", "ogt", "oge", "olt", "ole", "one", "ueq", "ugt", "uge", "ult", "ule", "une", "ord"};
    static constexpr std::array<std::string_view, 13> debug_names{
        "Oeq", "Ogt", "Oge", "Olt", "Ole", "One", "Ueq", "Ugt", "Uge", "Ult", "Ule", "Une", "Ord"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown floating-point comparison variant: {} (expected one of: {})"};
};

template <>
struct EnumWords<instructions::CastVariant> {
    static constexpr std::array<std::string_view, 12> words{
        "trunc",  "zext",   "sext",   "fptrunc",  "fpext",    "fptoui",
        "fptosi", "uitofp", "sitofp", "ptrtoint", "inttoptr", "bitcast"};
    static constexpr std::array<std::string_view, 12> debug_names{
        "Trunc",  "ZExt",   "SExt",   "FpTrunc",  "FpExt",    "FpToUI",
        "FpToSI", "UIToFp", "SIToFp", "PtrToInt", "IntToPtr", "Bitcast"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown cast variant: {} (expected one of: {})"};
};

template <>
struct EnumWords<instructions::MemoryOrdering> {
    static constexpr std::array<std::string_view, 6> words{"unordered", "monotonic", "acquire",
                                                           "release",   "acq_rel",   "seq_cst"};
    static constexpr std::array<std::string_view, 6> debug_names{
        "Unordered", "Monotonic", "Acq", "Rel", "AcqRel", "SeqCst"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown memory ordering variant: {} (expected one of: {})"};
};

template <>
struct EnumWords<instructions::MetaProbVariant> {
    static constexpr std::array<std::string_view, 3> words{"prb", "xpt", "var"};
    static constexpr std::array<std::string_view, 3> debug_names{"Probability", "ExpectedValue",
                                                                 "Variance"};
    static constexpr UnknownWordMessage unknown_word_message{
        "unknown meta-probability variant: {} (expected one of: {})"};
};

}  // namespace kdinstr::modules

namespace kdinstr::modules::instructions {

// The mnemonic ("iadd", "!prob", ...).
constexpr std::string_view opname(KdInstrOp op) { return word(op); }

}  // namespace kdinstr::modules::instructions
