#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/modules/instructions/kd_instr.hpp"

namespace {

using namespace kdinstr::modules;
using namespace kdinstr::modules::instructions;
using kdinstr::types::Typeref;
namespace analysis = kdinstr::analysis;

Typeref ty(std::uint8_t n) {
    Typeref t;
    t.uuid.bytes[15] = n;
    return t;
}
Operand reg(std::uint32_t n) { return Operand(Name{n}); }

TEST(KdInstrOp, MnemonicsDebugNamesAndParsing) {
    struct Case {
        KdInstrOp op;
        std::string_view mnemonic;
        std::string_view debug;
    };
    const std::vector<Case> cases = {
        {KdInstrOp::IAdd, "iadd", "IAdd"},
        {KdInstrOp::ISub, "isub", "ISub"},
        {KdInstrOp::IMul, "imul", "IMul"},
        {KdInstrOp::IDiv, "idiv", "IDiv"},
        {KdInstrOp::IRem, "irem", "IRem"},
        {KdInstrOp::ICmp, "icmp", "ICmp"},
        {KdInstrOp::ISht, "isht", "ISht"},
        {KdInstrOp::INeg, "ineg", "INeg"},
        {KdInstrOp::IAnd, "and", "IAnd"},
        {KdInstrOp::IOr, "or", "IOr"},
        {KdInstrOp::IXor, "xor", "IXor"},
        {KdInstrOp::INot, "not", "INot"},
        {KdInstrOp::IImplies, "implies", "IImplies"},
        {KdInstrOp::IEquiv, "equiv", "IEquiv"},
        {KdInstrOp::FAdd, "fadd", "FAdd"},
        {KdInstrOp::FSub, "fsub", "FSub"},
        {KdInstrOp::FMul, "fmul", "FMul"},
        {KdInstrOp::FDiv, "fdiv", "FDiv"},
        {KdInstrOp::FRem, "frem", "FRem"},
        {KdInstrOp::FCmp, "fcmp", "FCmp"},
        {KdInstrOp::FNeg, "fneg", "FNeg"},
        {KdInstrOp::MLoad, "load", "MLoad"},
        {KdInstrOp::MStore, "store", "MStore"},
        {KdInstrOp::MAlloca, "alloca", "MAlloca"},
        {KdInstrOp::MGetElementPtr, "getelementptr", "MGetElementPtr"},
        {KdInstrOp::Invoke, "invoke", "Invoke"},
        {KdInstrOp::Phi, "phi", "Phi"},
        {KdInstrOp::Select, "select", "Select"},
        {KdInstrOp::Cast, "cast", "Cast"},
        {KdInstrOp::InsertValue, "insertvalue", "InsertValue"},
        {KdInstrOp::ExtractValue, "extractvalue", "ExtractValue"},
        {KdInstrOp::MetaAssert, "!assert", "MetaAssert"},
        {KdInstrOp::MetaAssume, "!assume", "MetaAssume"},
        {KdInstrOp::MetaIsDef, "!isdef", "MetaIsDef"},
        {KdInstrOp::MetaProb, "!prob", "MetaProb"},
        {KdInstrOp::MetaAnalysisStat, "!analysis", "MetaAnalysisStat"},
        {KdInstrOp::MetaForall, "!forall", "MetaForall"},
    };
    ASSERT_EQ(cases.size(), kd_instr_op_count);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.mnemonic);
        EXPECT_EQ(static_cast<std::size_t>(c.op), i);
        EXPECT_EQ(opname(c.op), c.mnemonic);
        EXPECT_EQ(debug_name(c.op), c.debug);
        EXPECT_EQ(from_str<KdInstrOp>(c.mnemonic), c.op);
        EXPECT_EQ(is_meta(c.op), i >= 31);
        EXPECT_EQ(c.mnemonic.starts_with("!"), i >= 31);
    }
    EXPECT_EQ(from_str<KdInstrOp>("!prob"), KdInstrOp{34});
    EXPECT_EQ(from_str<KdInstrOp>("getelementptr"), KdInstrOp{24});
    for (std::string_view bad : {"prob", "IAdd", "IADD", "", "!pro", "iadd ", "!"})
        EXPECT_EQ(from_str<KdInstrOp>(bad), std::nullopt) << bad;
}

// Every value's word and debug name, in value order, and the parser's refusals.
template <typename E>
void check_words(const std::vector<std::pair<std::string_view, std::string_view>>& expected,
                 const std::vector<std::string_view>& rejected) {
    ASSERT_EQ(value_count<E>(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto value = static_cast<E>(i);
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(word(value), expected[i].first);
        EXPECT_EQ(debug_name(value), expected[i].second);
        EXPECT_EQ(from_str<E>(expected[i].first), value);
        EXPECT_EQ(from_raw<E>(i), value);
    }
    EXPECT_EQ(from_raw<E>(expected.size()), std::nullopt);
    for (auto bad : rejected) EXPECT_EQ(from_str<E>(bad), std::nullopt) << bad;
}

TEST(Qualifiers, WordsDebugNamesAndParsing) {
    check_words<OverflowSignednessPolicy>({{"wrap", "Wrap"},
                                           {"ssat", "SSat"},
                                           {"usat", "USat"},
                                           {"strap", "STrap"},
                                           {"utrap", "UTrap"}},
                                          {"Wrap", "WRAP", "", "wra"});
    check_words<IntegerSignedness>({{"signed", "Signed"}, {"unsigned", "Unsigned"}},
                                   {"Signed", "sign", ""});
    check_words<ICmpVariant>({{"eq", "Eq"},
                              {"ne", "Ne"},
                              {"ugt", "Ugt"},
                              {"uge", "Uge"},
                              {"ult", "Ult"},
                              {"ule", "Ule"},
                              {"sgt", "Sgt"},
                              {"sge", "Sge"},
                              {"slt", "Slt"},
                              {"sle", "Sle"}},
                             {"EQ", "e", "oeq"});
    check_words<IShiftVariant>(
        {{"lsl", "Lsl"}, {"lsr", "Lsr"}, {"asr", "Asr"}, {"rol", "Rol"}, {"ror", "Ror"}},
        {"Lsl", "shl"});
    check_words<FCmpVariant>({{"oeq", "Oeq"},
                              {"ogt", "Ogt"},
                              {"oge", "Oge"},
                              {"olt", "Olt"},
                              {"ole", "Ole"},
                              {"one", "One"},
                              {"ueq", "Ueq"},
                              {"ugt", "Ugt"},
                              {"uge", "Uge"},
                              {"ult", "Ult"},
                              {"ule", "Ule"},
                              {"une", "Une"},
                              {"ord", "Ord"}},
                             {"eq", "uno", "Ord"});
    check_words<CastVariant>({{"trunc", "Trunc"},
                              {"zext", "ZExt"},
                              {"sext", "SExt"},
                              {"fptrunc", "FpTrunc"},
                              {"fpext", "FpExt"},
                              {"fptoui", "FpToUI"},
                              {"fptosi", "FpToSI"},
                              {"uitofp", "UIToFp"},
                              {"sitofp", "SIToFp"},
                              {"ptrtoint", "PtrToInt"},
                              {"inttoptr", "IntToPtr"},
                              {"bitcast", "Bitcast"}},
                             {"FpToUI", "fptoUI", "cast"});
    check_words<MemoryOrdering>({{"unordered", "Unordered"},
                                 {"monotonic", "Monotonic"},
                                 {"acquire", "Acq"},
                                 {"release", "Rel"},
                                 {"acq_rel", "AcqRel"},
                                 {"seq_cst", "SeqCst"}},
                                {"Acq", "acq", "ACQUIRE", "acq_rel ", ""});
    check_words<MetaProbVariant>(
        {{"prb", "Probability"}, {"xpt", "ExpectedValue"}, {"var", "Variance"}},
        {"prob", "ev", "Probability"});
    check_words<analysis::AnalysisStatisticOp>({{"icnt", "InstructionCount"},
                                                {"excnt", "ExecutionCount"},
                                                {"term", "TerminationBehavior"}},
                                               {"InstructionCount", "ICNT", "blockexit"});
    EXPECT_EQ(from_str<MemoryOrdering>("acq_rel"), MemoryOrdering{4});
}

struct ShapeCase {
    std::string label;
    KdInstr instr;
    std::optional<Name> dest;
    std::optional<Typeref> dest_ty;
    std::vector<Operand> operands;
    std::vector<Typeref> types;
};

TEST(Instruction, DestinationOperandsAndTypesPerKind) {
    const Typeref t = ty(1), u = ty(2);
    const Operand undef = Operand(ty(9));
    const std::vector<ShapeCase> cases = {
        {"iadd",
         IAdd{Name{3}, t, reg(1), reg(2), OverflowSignednessPolicy::Wrap},
         Name{3},
         t,
         {reg(1), reg(2)},
         {t}},
        {"idiv",
         IDiv{Name{3}, t, reg(2), reg(1), IntegerSignedness::Unsigned},
         Name{3},
         t,
         {reg(2), reg(1)},
         {t}},
        {"icmp",
         ICmp{Name{4}, t, reg(1), undef, ICmpVariant::Sle},
         Name{4},
         t,
         {reg(1), undef},
         {t}},
        {"isht",
         ISht{Name{4}, t, reg(1), reg(2), IShiftVariant::Ror},
         Name{4},
         t,
         {reg(1), reg(2)},
         {t}},
        {"and", IAnd{Name{5}, t, reg(1), reg(2)}, Name{5}, t, {reg(1), reg(2)}, {t}},
        {"equiv", IEquiv{Name{5}, t, reg(2), reg(1)}, Name{5}, t, {reg(2), reg(1)}, {t}},
        {"ineg", INeg{Name{6}, t, reg(1)}, Name{6}, t, {reg(1)}, {t}},
        {"not", INot{Name{6}, t, reg(1)}, Name{6}, t, {reg(1)}, {t}},
        {"frem", FRem{Name{7}, t, reg(1), reg(2)}, Name{7}, t, {reg(1), reg(2)}, {t}},
        {"fcmp",
         FCmp{Name{7}, t, reg(1), reg(2), FCmpVariant::Ord},
         Name{7},
         t,
         {reg(1), reg(2)},
         {t}},
        {"fneg", FNeg{Name{8}, t, reg(1)}, Name{8}, t, {reg(1)}, {t}},
        {"load",
         MLoad{Name{9}, t, reg(1), 4, MemoryOrdering::Acq, true},
         Name{9},
         t,
         {reg(1)},
         {t}},
        {"store",
         MStore{reg(1), reg(2), std::nullopt, std::nullopt, false},
         std::nullopt,
         std::nullopt,
         {reg(1), reg(2)},
         {}},
        {"alloca", MAlloca{Name{2}, t, reg(1), std::nullopt}, Name{2}, t, {reg(1)}, {t}},
        {"getelementptr",
         MGetElementPtr{Name{5}, t, u, reg(0), {reg(1), reg(2)}},
         Name{5},
         t,
         {reg(0), reg(1), reg(2)},
         {t, u}},
        {"getelementptr no indices",
         MGetElementPtr{Name{5}, t, u, reg(0), {}},
         Name{5},
         t,
         {reg(0)},
         {t, u}},
        {"invoke with result",
         Invoke{reg(0), {reg(1), reg(2)}, Name{3}, t, std::nullopt},
         Name{3},
         t,
         {reg(0), reg(1), reg(2)},
         {t}},
        {"invoke without result",
         Invoke{reg(0),
                {reg(1)},
                std::nullopt,
                std::nullopt,
                CallingConvention(CallingConvention::Tag::FastC)},
         std::nullopt,
         std::nullopt,
         {reg(0), reg(1)},
         {}},
        {"invoke without arguments",
         Invoke{reg(7), {}, std::nullopt, std::nullopt, std::nullopt},
         std::nullopt,
         std::nullopt,
         {reg(7)},
         {}},
        {"invoke without type",
         Invoke{reg(7), {}, Name{1}, std::nullopt, std::nullopt},
         Name{1},
         std::nullopt,
         {reg(7)},
         {}},
        {"phi",
         Phi{Name{7}, t, {{reg(1), Label{0}}, {reg(2), Label{1}}}},
         Name{7},
         t,
         {reg(1), reg(2)},
         {t}},
        {"phi empty", Phi{Name{7}, t, {}}, Name{7}, t, {}, {t}},
        {"select",
         Select{Name{4}, reg(0), reg(1), reg(2), t},
         Name{4},
         t,
         {reg(0), reg(1), reg(2)},
         {t}},
        {"cast", Cast{Name{1}, t, reg(0), CastVariant::Bitcast}, Name{1}, t, {reg(0)}, {t}},
        {"insertvalue",
         InsertValue{Name{3}, t, reg(1), reg(2), {0, 1}},
         Name{3},
         t,
         {reg(1), reg(2)},
         {t}},
        {"extractvalue", ExtractValue{Name{3}, t, reg(1), {2}}, Name{3}, t, {reg(1)}, {t}},
        {"!assert", MetaAssert{reg(0)}, std::nullopt, std::nullopt, {reg(0)}, {}},
        {"!assume", MetaAssume{reg(1)}, std::nullopt, std::nullopt, {reg(1)}, {}},
        {"!isdef", MetaIsDef{Name{2}, t, reg(1)}, Name{2}, t, {reg(1)}, {t}},
        {"!prob probability",
         MetaProb{Name{8}, t, {MetaProbVariant::Probability, reg(7)}},
         Name{8},
         t,
         {reg(7)},
         {t}},
        {"!prob variance",
         MetaProb{Name{8}, t, {MetaProbVariant::Variance, reg(6)}},
         Name{8},
         t,
         {reg(6)},
         {t}},
        {"!analysis",
         MetaAnalysisStat{Name{9}, t, analysis::ExecutionCount{}},
         Name{9},
         t,
         {},
         {t}},
        {"!forall", MetaForall{Name{0}, t}, Name{0}, t, {}, {t}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.instr.destination(), c.dest);
        EXPECT_EQ(c.instr.destination_type(), c.dest_ty);

        std::vector<Operand> seen;
        for (const Operand& o : c.instr.operands()) seen.push_back(o);
        EXPECT_EQ(seen, c.operands);
        EXPECT_EQ(c.instr.operands().size(), c.operands.size());
        for (std::size_t i = 0; i < c.operands.size(); ++i)
            EXPECT_EQ(c.instr.operands()[i], c.operands[i]);
        std::vector<Operand> visited;
        c.instr.for_each_operand([&](const Operand& o) { visited.push_back(o); });
        EXPECT_EQ(visited, c.operands);

        std::vector<Typeref> types;
        for (const Typeref& r : c.instr.referenced_types()) types.push_back(r);
        EXPECT_EQ(types, c.types);
        std::vector<Typeref> visited_types;
        c.instr.for_each_type([&](const Typeref& r) { visited_types.push_back(r); });
        EXPECT_EQ(visited_types, c.types);
    }
}

TEST(Instruction, OperandsMutRewritesInPlaceInOrder) {
    KdInstr gep = MGetElementPtr{Name{5}, ty(1), ty(2), reg(0), {reg(1), reg(2)}};
    std::uint32_t next = 10;
    for (Operand& o : gep.operands_mut()) o = reg(next++);
    EXPECT_EQ(gep, KdInstr(MGetElementPtr{Name{5}, ty(1), ty(2), reg(10), {reg(11), reg(12)}}));

    KdInstr phi = Phi{Name{7}, ty(1), {{reg(1), Label{0}}, {reg(2), Label{4}}}};
    phi.for_each_operand_mut([](Operand& o) { o = reg(o.as_reg()->value + 100); });
    EXPECT_EQ(phi, KdInstr(Phi{Name{7}, ty(1), {{reg(101), Label{0}}, {reg(102), Label{4}}}}));

    KdInstr prob = MetaProb{Name{8}, ty(1), {MetaProbVariant::ExpectedValue, reg(3)}};
    prob.operands_mut()[0] = reg(4);
    EXPECT_EQ(prob, KdInstr(MetaProb{Name{8}, ty(1), {MetaProbVariant::ExpectedValue, reg(4)}}));
}

TEST(Instruction, RemapTypes) {
    const TypeRemap map = {{ty(1), ty(11)}, {ty(2), ty(12)}, {ty(11), ty(21)}};
    struct Case {
        std::string label;
        KdInstr before;
        KdInstr after;
    };
    const std::vector<Case> cases = {
        // A mapped value is not looked up again (1 -> 11, not 21); undef types stay.
        {"iadd", IAdd{Name{3}, ty(1), Operand(ty(1)), reg(2), OverflowSignednessPolicy::SSat},
         IAdd{Name{3}, ty(11), Operand(ty(1)), reg(2), OverflowSignednessPolicy::SSat}},
        {"getelementptr", MGetElementPtr{Name{5}, ty(2), ty(1), reg(0), {Operand(ty(2))}},
         MGetElementPtr{Name{5}, ty(12), ty(11), reg(0), {Operand(ty(2))}}},
        {"not in map", Cast{Name{1}, ty(3), reg(0), CastVariant::ZExt},
         Cast{Name{1}, ty(3), reg(0), CastVariant::ZExt}},
        {"wildcard", MetaForall{Name{0}, Typeref::wildcard(0)},
         MetaForall{Name{0}, Typeref::wildcard(0)}},
        {"invoke with type", Invoke{reg(0), {Operand(ty(1))}, Name{1}, ty(1), std::nullopt},
         Invoke{reg(0), {Operand(ty(1))}, Name{1}, ty(11), std::nullopt}},
        {"invoke without type", Invoke{reg(0), {}, std::nullopt, std::nullopt, std::nullopt},
         Invoke{reg(0), {}, std::nullopt, std::nullopt, std::nullopt}},
        {"select", Select{Name{4}, reg(0), Operand(ty(2)), reg(2), ty(2)},
         Select{Name{4}, reg(0), Operand(ty(2)), reg(2), ty(12)}},
        {"store", MStore{Operand(ty(1)), reg(1), 8, std::nullopt, false},
         MStore{Operand(ty(1)), reg(1), 8, std::nullopt, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        KdInstr instr = c.before;
        instr.remap_types(map);
        EXPECT_EQ(instr, c.after);
        KdInstr untouched = c.before;
        untouched.remap_types({});
        EXPECT_EQ(untouched, c.before);
    }
}

TEST(Instruction, DebugTexts) {
    const Typeref t = ty(1);
    const std::string tt = t.debug();
    struct Case {
        KdInstr instr;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {MetaAssert{reg(0)}, "MetaAssert(MetaAssert { condition: Reg(%0) })"},
        {IAdd{Name{3}, t, reg(1), reg(2), OverflowSignednessPolicy::Wrap},
         "IAdd(IAdd { dest: %3, ty: " + tt + ", lhs: Reg(%1), rhs: Reg(%2), variant: Wrap })"},
        {IRem{Name{3}, t, reg(1), reg(2), IntegerSignedness::Signed},
         "IRem(IRem { dest: %3, ty: " + tt + ", lhs: Reg(%1), rhs: Reg(%2), signedness: Signed })"},
        {INot{Name{1}, t, Operand(t)},
         "INot(INot { dest: %1, ty: " + tt + ", value: Undef(" + tt + ") })"},
        {MLoad{Name{5}, t, reg(4), 4, MemoryOrdering::Acq, true},
         "MLoad(MLoad { dest: %5, ty: " + tt +
             ", addr: Reg(%4), alignement: Some(4), ordering: Some(Acq), volatile: true })"},
        {MStore{reg(1), reg(2), std::nullopt, std::nullopt, false},
         "MStore(MStore { addr: Reg(%1), value: Reg(%2), alignement: None, ordering: None, "
         "volatile: false })"},
        {MAlloca{Name{2}, t, reg(1), 16},
         "MAlloca(MAlloca { dest: %2, ty: " + tt + ", count: Reg(%1), alignement: Some(16) })"},
        {MGetElementPtr{Name{6}, t, t, reg(0), {reg(1), reg(2)}},
         "MGetElementPtr(MGetElementPtr { dest: %6, ty: " + tt + ", in_ty: " + tt +
             ", base: Reg(%0), indices: [Reg(%1), Reg(%2)] })"},
        {Invoke{reg(0), {}, std::nullopt, std::nullopt, CallingConvention::numbered(9)},
         "Invoke(Invoke { function: Reg(%0), args: [], dest: None, ty: None, cconv: "
         "Some(Numbered(9)) })"},
        {Invoke{reg(0), {reg(1)}, Name{2}, t, CallingConvention(CallingConvention::Tag::SwiftC)},
         "Invoke(Invoke { function: Reg(%0), args: [Reg(%1)], dest: Some(%2), ty: Some(" + tt +
             "), cconv: Some(SwiftC) })"},
        {Phi{Name{7}, t, {{reg(1), Label{0}}, {reg(2), Label{1}}}},
         "Phi(Phi { dest: %7, ty: " + tt +
             ", values: [(Reg(%1), Label(0)), (Reg(%2), Label(1))] })"},
        {Select{Name{4}, reg(0), reg(1), reg(2), t},
         "Select(Select { dest: %4, condition: Reg(%0), true_value: Reg(%1), false_value: Reg(%2), "
         "ty: " +
             tt + " })"},
        {Cast{Name{1}, t, reg(0), CastVariant::FpToUI},
         "Cast(Cast { dest: %1, ty: " + tt + ", value: Reg(%0), variant: FpToUI })"},
        {InsertValue{Name{3}, t, reg(1), reg(2), {0, 7}},
         "InsertValue(InsertValue { dest: %3, ty: " + tt +
             ", aggregate: Reg(%1), value: Reg(%2), indices: [0, 7] })"},
        {ExtractValue{Name{3}, t, reg(1), {}}, "ExtractValue(ExtractValue { dest: %3, ty: " + tt +
                                                   ", aggregate: Reg(%1), indices: [] })"},
        {MetaProb{Name{8}, t, {MetaProbVariant::ExpectedValue, reg(7)}},
         "MetaProb(MetaProb { dest: %8, ty: " + tt + ", operand: ExpectedValue(Reg(%7)) })"},
        {MetaAnalysisStat{
             Name{9}, t,
             analysis::InstructionCount{analysis::InstructionFlags::from_bits_truncate(0xC1)}},
         "MetaAnalysisStat(MetaAnalysisStat { dest: %9, ty: " + tt +
             ", statistic: InstructionCount(InstructionFlags(META | ARITHMETIC | ARITHMETIC_INT)) "
             "})"},
        {MetaAnalysisStat{Name{9}, t, analysis::ExecutionCount{}},
         "MetaAnalysisStat(MetaAnalysisStat { dest: %9, ty: " + tt +
             ", statistic: ExecutionCount })"},
        {MetaAnalysisStat{Name{9}, t,
                          analysis::TerminationBehavior{analysis::ReachAny{{Label{1}, Label{2}}}}},
         "MetaAnalysisStat(MetaAnalysisStat { dest: %9, ty: " + tt +
             ", statistic: TerminationBehavior(ReachAny([Label(1), Label(2)])) })"},
        {MetaAnalysisStat{Name{9}, t, analysis::TerminationBehavior{analysis::BlockExit{}}},
         "MetaAnalysisStat(MetaAnalysisStat { dest: %9, ty: " + tt +
             ", statistic: TerminationBehavior(BlockExit) })"},
        {MetaForall{Name{0}, t}, "MetaForall(MetaForall { dest: %0, ty: " + tt + " })"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.instr.debug(), c.expected);
}

TEST(Instruction, OpcodeFollowsVariantOrder) {
    EXPECT_EQ(KdInstr(MetaForall{Name{0}, ty(1)}).opcode(), KdInstrOp::MetaForall);
    EXPECT_TRUE(KdInstr(MetaAssert{reg(0)}).is_meta());
    EXPECT_FALSE(KdInstr(ExtractValue{Name{1}, ty(1), reg(0), {}}).is_meta());
    static_assert(opcode_of<IAdd>() == KdInstrOp::IAdd);
    static_assert(opcode_of<MGetElementPtr>() == KdInstrOp::MGetElementPtr);
    static_assert(opcode_of<MetaForall>() == KdInstrOp::MetaForall);
}

TEST(InstructionFlags, TextAndTruncation) {
    using analysis::InstructionFlags;
    struct Case {
        InstructionFlags flags;
        std::string text;
    };
    const std::vector<Case> cases = {
        {InstructionFlags::from_bits_truncate(0xFFFFFFFFu),
         "META | SIMPLE | ARITHMETIC | ARITHMETIC_INT | ARITHMETIC_FP | INVOKE | MEMORY | "
         "CONTROL_FLOW | TERMINATOR"},
        {InstructionFlags::from_bits_truncate(0xC0), "ARITHMETIC | ARITHMETIC_INT"},
        {InstructionFlags::from_bits_truncate(0x80), "0x80"},
        {InstructionFlags::from_bits_truncate(0x1A4), "0x180"},
        {InstructionFlags::from_bits_retain(0x1E4),
         "ARITHMETIC | ARITHMETIC_INT | ARITHMETIC_FP | 0x24"},
        {InstructionFlags::from_bits_truncate(0x1800), "CONTROL_FLOW | TERMINATOR"},
        {InstructionFlags::from_bits_truncate(0x800), "CONTROL_FLOW"},
        {InstructionFlags{}, "0x0"},
        {InstructionFlags::from_bits_retain(0x3), "META | SIMPLE"},
        {InstructionFlags::from_bits_retain(0x85), "META | 0x84"},
        {InstructionFlags::from_bits_retain(0x20), "0x20"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.flags.to_string(), c.text) << c.flags.bits();
    EXPECT_EQ(InstructionFlags::from_bits_truncate(0xFFFFFFFFu).bits(), 0x1FC3u);
    EXPECT_EQ(InstructionFlags::from_bits_truncate(0x3).debug(), "InstructionFlags(META | SIMPLE)");
    EXPECT_TRUE(InstructionFlags::from_bits_truncate(0xC0).contains(InstructionFlags::ARITHMETIC));
    EXPECT_FALSE(
        InstructionFlags::from_bits_truncate(0x40).contains(InstructionFlags::ARITHMETIC_INT));
}

}  // namespace
