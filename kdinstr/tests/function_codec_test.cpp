#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/tests/codec_test_support.hpp"

namespace kdinstr::tests::codec {
namespace {

using ir::CallingConvention;
using ir::Visibility;

TEST(TerminatorCodec, EveryVariantHasItsBytes) {
    struct Case {
        ir::KdTerminator terminator;
        Bytes bytes;
    };
    const std::vector<Case> cases{
        {branch(reg(1), 2, 3), {0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}},
        {jump(258), {1, 2, 1, 0, 0}},
        {ret(), {2, 0}},
        {ret(reg(5)), {2, 1, 0, 5, 0, 0, 0}},
        {trap(), {3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.terminator.debug());
        EXPECT_EQ(to_bytes(c.terminator), c.bytes);
        auto decoded = from_bytes(c.bytes, encoding::decode_terminator);
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
        EXPECT_EQ(*decoded, c.terminator);
    }
    EXPECT_EQ(decode_error({4}, encoding::decode_terminator), "Unexpected variant tag: 4");
    EXPECT_EQ(decode_error({2, 2}, encoding::decode_terminator),
              "Invalid Option representation: 2. The first byte must be 0 or 1");
    EXPECT_EQ(decode_error({0, 0, 1, 0, 0, 0, 2, 0, 0, 0}, encoding::decode_terminator),
              "Unexpected length of input");
}

TEST(CallingConventionCodec, OneByteAndTheNumber) {
    struct Case {
        CallingConvention convention;
        Bytes bytes;
    };
    const std::vector<Case> cases{
        {CallingConvention::Tag::C, {0}},
        {CallingConvention::Tag::SwiftTailC, {12}},
        {CallingConvention::Tag::CfguardCheckC, {13}},
        {CallingConvention::numbered(7), {14, 7, 0, 0, 0}},
        {CallingConvention::numbered(0), {14, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.convention.debug());
        EXPECT_EQ(to_bytes(c.convention), c.bytes);
        auto decoded = from_bytes(c.bytes, encoding::decode_calling_convention);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(*decoded, c.convention);
    }
    EXPECT_EQ(decode_error({15}, encoding::decode_calling_convention),
              "Unexpected variant tag: 15");
    EXPECT_EQ(decode_error({14, 7, 0}, encoding::decode_calling_convention),
              "Unexpected length of input");
    EXPECT_EQ(to_bytes(Visibility::Protected), Bytes{2});
    EXPECT_EQ(decode_error({3}, encoding::decode_enum<Visibility>), "Unexpected variant tag: 3");
}

TEST(FunctionCodec, DefaultFunctionIsFortySevenBytes) {
    const ir::Function f = ir::Function::make_default();
    const Bytes expected = cat({
        bytes_of(f.uuid),
        {0},           // no name
        {0, 0, 0, 0},  // no parameters
        {0},           // no return type
        {1, 0, 0, 0},  // one block
        {0, 0, 0, 0},  // key label 0
        {0, 0, 0, 0},  // block label 0
        {0, 0, 0, 0},  // no instructions
        {3},           // trap
        {0},           // no visibility
        {0},           // no calling convention
        {0, 0, 0, 0},  // no wildcard indices
        {0},           // not meta
        {0},           // no reserved id
    });
    EXPECT_EQ(expected.size(), 47u);
    EXPECT_EQ(to_bytes(f), expected);
    auto decoded = from_bytes(expected, encoding::decode_function);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_EQ(*decoded, f);
}

ir::Function full_function() {
    auto b = FunctionBuilder()
                 .uuid(uuid(4))
                 .name("fähig")
                 .param(0, ty(1))
                 .param(1, wildcard(3))
                 .returns(ty(2))
                 .wildcards({3, 700})
                 .meta()
                 .block(0, every_instruction(), branch(reg(1), 1, 2))
                 .block(1, {}, jump(2))
                 .block(2, {}, ret(reg(7)));
    b.function().visibility = Visibility::Hidden;
    b.function().calling_convention = CallingConvention::numbered(42);
    b.function().reserved_id = std::array<std::uint8_t, 16>{1, 2, 3, 4, 5, 6, 7, 8,
                                                            9, 10, 11, 12, 13, 14, 15, 16};
    return b.build();
}

TEST(FunctionCodec, EveryFieldRoundTrips) {
    const ir::Function f = full_function();
    const Bytes bytes = to_bytes(f);
    auto decoded = from_bytes(bytes, encoding::decode_function);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_EQ(*decoded, f);
    EXPECT_EQ(decoded->reserved_id, f.reserved_id);
    // The tail: visibility, convention, wildcard set ascending, meta, reserved id.
    const Bytes tail = cat({{1, 1}, {1, 14, 42, 0, 0, 0}, {2, 0, 0, 0, 3, 0, 188, 2}, {1}, {1},
                            Bytes(f.reserved_id->begin(), f.reserved_id->end())});
    EXPECT_EQ(Bytes(bytes.end() - static_cast<long>(tail.size()), bytes.end()), tail);
}

TEST(FunctionCodec, MapsAndSetsKeepTheLastEntryForAKey) {
    // Two blocks under key 1 (the later one, own label 9, wins and is not compared with its
    // key) and the wildcard indices 5, 2, 5 in that order.
    const Bytes bytes = cat({
        bytes_of(uuid(1)), {0}, {0, 0, 0, 0}, {0},
        {2, 0, 0, 0},
        {1, 0, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 0}, {3},
        {1, 0, 0, 0}, {9, 0, 0, 0}, {0, 0, 0, 0}, {2, 0},
        {0}, {0},
        {3, 0, 0, 0, 5, 0, 2, 0, 5, 0},
        {0}, {0},
    });
    auto decoded = from_bytes(bytes, encoding::decode_function);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    ASSERT_EQ(decoded->body.size(), 1u);
    const auto& block = decoded->body.at(ir::Label{1});
    EXPECT_EQ(block.label, ir::Label{9});
    EXPECT_EQ(block.terminator, ret());
    EXPECT_EQ(decoded->wildcard_types, (std::set<std::uint16_t>{2, 5}));
}

TEST(FunctionCodec, MalformedFunctionsFailWithTheirMessage) {
    const Bytes id = bytes_of(uuid(1));
    const Bytes body = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3};
    struct Case {
        Bytes bytes;
        std::string message;
    };
    const std::vector<Case> cases{
        {cat({id, {2}}), "Invalid Option representation: 2. The first byte must be 0 or 1"},
        {cat({id, {1, 2, 0, 0, 0, 0xC3, 0x28}}), "invalid utf-8 sequence of 1 bytes from index 0"},
        {cat({id, {1, 3, 0, 0, 0, 'a', 0xE2, 0x82}}),
         "incomplete utf-8 byte sequence from index 1"},
        {cat({id, {0}, {0, 0, 0, 0}, {2}}),
         "Invalid Option representation: 2. The first byte must be 0 or 1"},
        {cat({id, {0}, {0, 0, 0, 0}, {0}, body, {1, 3}}), "Unexpected variant tag: 3"},
        {cat({id, {0}, {0, 0, 0, 0}, {0}, body, {0}, {1, 15}}), "Unexpected variant tag: 15"},
        {cat({id, {0}, {0, 0, 0, 0}, {0}, body, {0}, {0}, {0, 0, 0, 0}, {2}}),
         "Invalid bool representation: 2"},
        {cat({id, {0}, {0, 0, 0, 0}, {0}, body, {0}, {0}, {0, 0, 0, 0}, {0}, {1, 1, 2}}),
         "Unexpected length of input"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode_error(c.bytes, encoding::decode_function), c.message);
    }
}

TEST(ExternalFunctionCodec, LayoutAndRoundTrip) {
    ir::ExternalFunction e = external(uuid(6), "puts", {ty(1), ty(2)}, ty(3));
    e.calling_convention = CallingConvention::numbered(9);
    const Bytes expected = cat({bytes_of(uuid(6)), {4, 0, 0, 0, 'p', 'u', 't', 's'},
                                {14, 9, 0, 0, 0}, {2, 0, 0, 0}, bytes_of(ty(1)), bytes_of(ty(2)),
                                {1}, bytes_of(ty(3))});
    EXPECT_EQ(to_bytes(e), expected);
    auto decoded = from_bytes(expected, encoding::decode_external_function);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_EQ(*decoded, e);

    const ir::ExternalFunction bare = external(uuid(6), "", {}, std::nullopt);
    EXPECT_EQ(to_bytes(bare), cat({bytes_of(uuid(6)), {0, 0, 0, 0}, {0}, {0, 0, 0, 0}, {0}}));
    EXPECT_EQ(decode_error(cat({bytes_of(uuid(6)), {0, 0, 0, 0}, {15}}),
                           encoding::decode_external_function),
              "Unexpected variant tag: 15");
}

}  // namespace
}  // namespace kdinstr::tests::codec
