// The decode budget as the codecs charge it: what a decode allocates never passes what it
// charged, and a decode within exactly what it costs ends as it does without a budget, while
// one byte less refuses it with the budget's text.
#include "kdinstr/encoding/decode_budget.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kdinstr/tests/codec_test_support.hpp"

namespace kdinstr::tests::codec {
namespace {

using encoding::DecodeBudget;

constexpr const char* kExhausted = "over budget";

// `n` copies of `pattern`.
Bytes repeated(const Bytes& pattern, std::size_t n) {
    Bytes out;
    for (std::size_t i = 0; i < n; ++i) out.insert(out.end(), pattern.begin(), pattern.end());
    return out;
}

const Bytes kAssert = cat({{31}, kReg0});

// A module of one function with no name, parameters or return type, whose one block declares
// `instructions` instructions: its bytes up to the first instruction.
Bytes one_block(std::uint32_t instructions) {
    return cat({u32(1),
                bytes_of(uuid(1)),
                bytes_of(uuid(1)),
                {0},
                u32(0),
                {0},
                u32(1),
                u32(0),
                u32(0),
                u32(instructions)});
}

// The rest of that function after its block's instructions: a trap, then no attributes.
const Bytes kFunctionEnd = cat({{3, 0, 0}, u32(0), {0, 0}});

ir::Module sample_module() {
    auto rich = FunctionBuilder()
                    .uuid(uuid(2))
                    .name("main")
                    .param(0, ty(1))
                    .returns(ty(2))
                    .wildcards({1, 2})
                    .meta()
                    .block(0, every_instruction(), branch(reg(0), 1, 2))
                    .block(1, {}, jump(2))
                    .block(2, {}, ret(imm_big("-1298074214633706907132624082305024", 128)));
    return module_of({rich.build(), ir::Function::make_default()},
                     {external(uuid(3), "ext", {ty(1), ty(2)}, ty(1))});
}

struct Case {
    std::string what;
    Bytes module_bytes;
};

std::vector<Case> cases() {
    return {
        {"a module of every instruction", to_bytes(sample_module())},
        {"a block of 2^32-1 instructions holding 20 000",
         cat({one_block(0xFFFFFFFF), repeated(kAssert, 20'000)})},
        {"a block of 50 000 instructions",
         cat({one_block(50'000), repeated(kAssert, 50'000), kFunctionEnd, u32(0)})},
        {"an invoke of 2^32-1 arguments holding 20 000",
         cat({one_block(1), {25}, kReg0, kAllOnes, repeated(kReg0, 20'000)})},
        {"a phi of 2^32-1 pairs holding 20 000",
         cat({one_block(1), {26}, u32(1), bytes_of(ty(1)), kAllOnes, Bytes(9 * 20'000, 0)})},
        {"a name of 2^32-1 bytes holding 3 MiB",
         cat({u32(1), bytes_of(uuid(1)), bytes_of(uuid(1)), {1}, kAllOnes, Bytes(3 << 20, 'a')})},
        {"a constant of 2^32-1 bytes holding 3 MiB",
         cat({one_block(1), {31, 1, 0}, u32(64), kAllOnes, Bytes(3 << 20, 0)})},
        {"65 536 wildcard indices",
         [] {
             Bytes indices;
             for (std::uint32_t i = 0; i < 0x10000; ++i)
                 indices.insert(indices.end(),
                                {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)});
             return cat({one_block(0), {3}, {0, 0}, u32(0x10000), indices, {0, 0}, u32(0)});
         }()},
    };
}

// What a decode allocates, at its peak and once it is done (the decoded value still held), stays
// within what it charged: the charges are made before the allocations, and count the records
// in full. The source is not a window, so that every read goes through the source, which
// watches the heap.
TEST(DecodeBudget, ChargesCoverWhatTheDecodersAllocate) {
    for (const auto& c : cases()) {
        SCOPED_TRACE(c.what);
        HeapWatchingSource source(c.module_bytes);
        const std::size_t baseline = source.peak();
        DecodeBudget budget;
        BorshReader r(source, budget);
        auto decoded = encoding::decode_module(r);
        const std::size_t held = heap_in_use();
        EXPECT_LE(std::max(source.peak(), held) - baseline, budget.spent());
    }
}

// The outcome of decoding `bytes` within `budget`: "<ok>" or the error's text.
std::string outcome(const Bytes& bytes, std::size_t limit, std::size_t* spent = nullptr) {
    encoding::SpanSource source(bytes);
    DecodeBudget budget(limit, kExhausted);
    BorshReader r(source, budget);
    auto decoded = encoding::decode_module(r);
    if (spent) *spent = budget.spent();
    return decoded ? std::string("<ok>") : decoded.error().message;
}

TEST(DecodeBudget, ExactlyTheCostDecodesAndOneByteLessIsRefused) {
    for (const auto& c : cases()) {
        SCOPED_TRACE(c.what);
        std::size_t cost = 0;
        const std::string unlimited = outcome(c.module_bytes, SIZE_MAX, &cost);
        ASSERT_GT(cost, 0u);
        EXPECT_EQ(outcome(c.module_bytes, cost), unlimited);
        EXPECT_EQ(outcome(c.module_bytes, cost - 1), kExhausted);
    }
    // The outcomes without a budget, so that each case shows what it reaches.
    std::vector<std::string> outcomes;
    for (const auto& c : cases()) outcomes.push_back(outcome(c.module_bytes, SIZE_MAX));
    const std::string early_end = "Unexpected length of input";
    EXPECT_EQ(outcomes, (std::vector<std::string>{"<ok>", early_end, "<ok>", early_end, early_end,
                                                  early_end, early_end, "<ok>"}));
}

TEST(DecodeBudget, ChargesAddUpAndStopAtTheLimit) {
    DecodeBudget budget(100, kExhausted);
    EXPECT_TRUE(budget.charge(60).has_value());
    EXPECT_TRUE(budget.charge(4, 10).has_value());
    EXPECT_EQ(budget.spent(), 100u);
    EXPECT_TRUE(budget.charge(0).has_value());
    auto over = budget.charge(1);
    ASSERT_FALSE(over.has_value());
    EXPECT_EQ(over.error().message, kExhausted);

    // A product past the range of sizes is refused, not wrapped around.
    DecodeBudget wide(SIZE_MAX - 1, kExhausted);
    EXPECT_FALSE(wide.charge(SIZE_MAX / 2, 4).has_value());
    EXPECT_EQ(wide.spent(), SIZE_MAX - 1);

    // Without a limit, nothing is refused.
    DecodeBudget unlimited;
    EXPECT_TRUE(unlimited.charge(SIZE_MAX / 2).has_value());
    EXPECT_TRUE(unlimited.charge(std::size_t{1} << 32, std::size_t{1} << 30).has_value());
}

}  // namespace
}  // namespace kdinstr::tests::codec
