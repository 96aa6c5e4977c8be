#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/tests/codec_test_support.hpp"

namespace kdinstr::tests::codec {
namespace {

using namespace instr;
namespace an = analysis;

const Typeref T = ty(1);
const Bytes Tb = bytes_of(T);
const Bytes reg1{0, 1, 0, 0, 0};
const Bytes reg2{0, 2, 0, 0, 0};
const Bytes reg3{0, 3, 0, 0, 0};

TEST(InstrCodec, EveryOpcodeRoundTrips) {
    const auto all = every_instruction();
    ASSERT_EQ(all.size(), kd_instr_op_count);
    for (std::size_t op = 0; op < all.size(); ++op) {
        SCOPED_TRACE(all[op].debug());
        const Bytes bytes = to_bytes(all[op]);
        EXPECT_EQ(bytes.front(), op);
        auto decoded = from_bytes(bytes, encoding::decode_instruction);
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
        EXPECT_EQ(*decoded, all[op]);
    }
}

TEST(InstrCodec, LayoutsFollowTheFieldOrder) {
    struct Case {
        ir::KdInstr instruction;
        Bytes bytes;
    };
    const std::vector<Case> cases{
        // iadd wrap %3 = %1, %2: 32 bytes.
        {IAdd{ir::Name{3}, T, reg(1), reg(2), OverflowSignednessPolicy::Wrap},
         cat({{0, 3, 0, 0, 0}, Tb, reg1, reg2, {0}})},
        {IDiv{ir::Name{3}, T, reg(1), reg(2), IntegerSignedness::Unsigned},
         cat({{3, 3, 0, 0, 0}, Tb, reg1, reg2, {1}})},
        {IAnd{ir::Name{3}, T, reg(1), reg(2)}, cat({{8, 3, 0, 0, 0}, Tb, reg1, reg2})},
        {FNeg{ir::Name{3}, T, reg(1)}, cat({{20, 3, 0, 0, 0}, Tb, reg1})},
        {MLoad{ir::Name{3}, T, reg(1), std::nullopt, std::nullopt, false},
         cat({{21, 3, 0, 0, 0}, Tb, reg1, {0, 0, 0}})},
        {MLoad{ir::Name{3}, T, reg(1), 4u, MemoryOrdering::Acq, true},
         cat({{21, 3, 0, 0, 0}, Tb, reg1, {1, 4, 0, 0, 0, 1, 2, 1}})},
        {MStore{reg(1), reg(2), std::nullopt, MemoryOrdering::SeqCst, false},
         cat({{22}, reg1, reg2, {0, 1, 5, 0}})},
        {MAlloca{ir::Name{3}, T, reg(1), 8u}, cat({{23, 3, 0, 0, 0}, Tb, reg1, {1, 8, 0, 0, 0}})},
        {MGetElementPtr{ir::Name{3}, T, ty(2), reg(1), {reg(2)}},
         cat({{24, 3, 0, 0, 0}, Tb, bytes_of(ty(2)), reg1, {1, 0, 0, 0}, reg2})},
        // The arguments follow the callee; no destination, no type, no convention.
        {Invoke{reg(1), {reg(2)}, std::nullopt, std::nullopt, std::nullopt},
         cat({{25}, reg1, {1, 0, 0, 0}, reg2, {0, 0, 0}})},
        {Invoke{reg(1), {}, ir::Name{3}, T, ir::CallingConvention::numbered(7)},
         cat({{25}, reg1, {0, 0, 0, 0}, {1, 3, 0, 0, 0}, {1}, Tb, {1, 14, 7, 0, 0, 0}})},
        {Phi{ir::Name{3}, T, {{reg(1), ir::Label{4}}, {reg(2), ir::Label{5}}}},
         cat({{26, 3, 0, 0, 0}, Tb, {2, 0, 0, 0}, reg1, {4, 0, 0, 0}, reg2, {5, 0, 0, 0}})},
        // The type comes last.
        {Select{ir::Name{3}, reg(1), reg(2), reg(3), T},
         cat({{27, 3, 0, 0, 0}, reg1, reg2, reg3, Tb})},
        {Cast{ir::Name{3}, T, reg(1), CastVariant::FpToUI}, cat({{28, 3, 0, 0, 0}, Tb, reg1, {5}})},
        {InsertValue{ir::Name{3}, T, reg(1), reg(2), {1, 2}},
         cat({{29, 3, 0, 0, 0}, Tb, reg1, reg2, {2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}})},
        {ExtractValue{ir::Name{3}, T, reg(1), {}}, cat({{30, 3, 0, 0, 0}, Tb, reg1, {0, 0, 0, 0}})},
        {MetaAssert{reg(1)}, cat({{31}, reg1})},
        {MetaAssume{reg(1)}, cat({{32}, reg1})},
        {MetaIsDef{ir::Name{3}, T, reg(1)}, cat({{33, 3, 0, 0, 0}, Tb, reg1})},
        {MetaProb{ir::Name{3}, T, MetaProbOperand{MetaProbVariant::ExpectedValue, reg(1)}},
         cat({{34, 3, 0, 0, 0}, Tb, {1}, reg1})},
        {MetaAnalysisStat{ir::Name{3}, T,
                          an::InstructionCount{an::InstructionFlags::from_bits_truncate(0x41)}},
         cat({{35, 3, 0, 0, 0}, Tb, {0, 0x41, 0, 0, 0}})},
        {MetaAnalysisStat{ir::Name{3}, T, an::ExecutionCount{}}, cat({{35, 3, 0, 0, 0}, Tb, {1}})},
        {MetaAnalysisStat{ir::Name{3}, T, an::TerminationBehavior{an::FunctionExit{}}},
         cat({{35, 3, 0, 0, 0}, Tb, {2, 1}})},
        {MetaAnalysisStat{ir::Name{3}, T, an::TerminationBehavior{an::ReachAny{{ir::Label{9}}}}},
         cat({{35, 3, 0, 0, 0}, Tb, {2, 2, 1, 0, 0, 0, 9, 0, 0, 0}})},
        // 21 bytes: tag, dest, type.
        {MetaForall{ir::Name{3}, T}, cat({{36, 3, 0, 0, 0}, Tb})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.instruction.debug());
        EXPECT_EQ(to_bytes(c.instruction), c.bytes);
        auto decoded = from_bytes(c.bytes, encoding::decode_instruction);
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
        EXPECT_EQ(*decoded, c.instruction);
    }
    EXPECT_EQ(cases.front().bytes.size(), 32u);
    EXPECT_EQ(cases.back().bytes.size(), 21u);
}

TEST(InstrCodec, UndefinedFlagBitsAreDroppedOnDecoding) {
    const ir::KdInstr held = MetaAnalysisStat{
        ir::Name{0}, T, an::InstructionCount{an::InstructionFlags::from_bits_retain(0xFFFFFFFF)}};
    const Bytes bytes = to_bytes(held);
    EXPECT_EQ(Bytes(bytes.end() - 4, bytes.end()), (Bytes{255, 255, 255, 255}));
    auto decoded = from_bytes(bytes, encoding::decode_instruction);
    ASSERT_TRUE(decoded.has_value());
    const auto& stat = std::get<MetaAnalysisStat>(*decoded).statistic;
    EXPECT_EQ(std::get<an::InstructionCount>(stat).flags.bits(), 0x1FC3u);
}

TEST(InstrCodec, MalformedInstructionsFailWithTheirMessage) {
    const Bytes head = cat({{3, 0, 0, 0}, Tb, reg1, reg2});  // dest, type, lhs, rhs
    struct Case {
        Bytes bytes;
        std::string message;
    };
    const std::vector<Case> cases{
        {{37}, "Unexpected variant tag: 37"},
        {{255}, "Unexpected variant tag: 255"},
        {cat({{0}, head, {5}}), "Unexpected variant tag: 5"},
        {cat({{3}, head, {2}}), "Unexpected variant tag: 2"},
        {cat({{5}, head, {10}}), "Unexpected variant tag: 10"},
        {cat({{5}, head, {9}}), "<ok>"},
        {cat({{6}, head, {5}}), "Unexpected variant tag: 5"},
        {cat({{19}, head, {13}}), "Unexpected variant tag: 13"},
        {cat({{28, 3, 0, 0, 0}, Tb, reg1, {12}}), "Unexpected variant tag: 12"},
        {cat({{21, 3, 0, 0, 0}, Tb, reg1, {0, 1, 6, 0}}), "Unexpected variant tag: 6"},
        {cat({{21, 3, 0, 0, 0}, Tb, reg1, {2}}),
         "Invalid Option representation: 2. The first byte must be 0 or 1"},
        {cat({{22}, reg1, reg2, {0, 0, 2}}), "Invalid bool representation: 2"},
        {cat({{25}, reg1, {0, 0, 0, 0}, {0, 0, 1, 15}}), "Unexpected variant tag: 15"},
        {cat({{34, 3, 0, 0, 0}, Tb, {3}, reg1}), "Unexpected variant tag: 3"},
        {cat({{35, 3, 0, 0, 0}, Tb, {3}}), "Unexpected variant tag: 3"},
        {cat({{35, 3, 0, 0, 0}, Tb, {2, 3}}), "Unexpected variant tag: 3"},
        {cat({{31}, {3}}), "Unexpected variant tag: 3"},
        {{}, "Unexpected length of input"},
        {cat({{0}, head}), "Unexpected length of input"},
        {cat({{26, 3, 0, 0, 0}, Tb, {2, 0, 0, 0}, reg1, {4, 0, 0, 0}, reg2}),
         "Unexpected length of input"},
        {cat({{36, 3, 0, 0, 0}, Bytes(Tb.begin(), Tb.end() - 1)}), "Unexpected length of input"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode_error(c.bytes, encoding::decode_instruction), c.message);
    }
}

}  // namespace
}  // namespace kdinstr::tests::codec
