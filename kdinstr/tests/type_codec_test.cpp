#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/tests/codec_test_support.hpp"
#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdinstr::tests::codec {
namespace {

using namespace types;
using namespace types::primary;
using aggregate::ArrayType;
using aggregate::StructType;

TEST(TypeCodec, EveryVariantHasItsBytes) {
    struct Case {
        AnyType type;
        Bytes bytes;
    };
    const std::vector<Case> cases{
        {IType{32}, {0, 0, 32, 0, 0, 0}},
        {FType::Fp32, {0, 1, 2}},
        {FType::PPCFp128, {0, 1, 6}},
        {ExtType{uuid(3), {8, 16}},
         cat({{0, 2}, bytes_of(uuid(3)), {2, 0, 0, 0, 8, 0, 0, 0, 16, 0, 0, 0}})},
        {ExtType{uuid(3), {}}, cat({{0, 2}, bytes_of(uuid(3)), {0, 0, 0, 0}})},
        {Ptr{}, {0, 3}},
        {Wildcard{258}, {0, 4, 2, 1}},
        {PrimaryType::vector(IType{8}, VcSize::fixed(4)), {0, 5, 0, 8, 0, 0, 0, 0, 4, 0}},
        {PrimaryType::vector(Wildcard{1}, VcSize::scalable(2)), {0, 5, 4, 1, 0, 1, 2, 0}},
        {PrimaryType::vector(Ptr{}, VcSize::fixed(1)), {0, 5, 3, 0, 1, 0}},
        {PrimaryType::vector(FType::Bf16, VcSize::fixed(1)), {0, 5, 1, 1, 0, 1, 0}},
        {PrimaryType::vector(ExtType{uuid(4), {1}}, VcSize::fixed(1)),
         cat({{0, 5, 2}, bytes_of(uuid(4)), {1, 0, 0, 0, 1, 0, 0, 0}, {0, 1, 0}})},
        {PrimaryType::Label{}, {0, 6}},
        {ArrayType{ty(1), 4}, cat({{1}, bytes_of(ty(1)), {4, 0}})},
        {StructType{{ty(1), ty(2)}, true},
         cat({{2, 2, 0, 0, 0}, bytes_of(ty(1)), bytes_of(ty(2)), {1}})},
        {StructType{{}, false}, {2, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type.debug());
        EXPECT_EQ(to_bytes(c.type), c.bytes);
        auto decoded = from_bytes(c.bytes, encoding::decode_any_type);
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
        EXPECT_EQ(*decoded, c.type);
    }
}

TEST(TypeCodec, MalformedTypesFailWithTheirMessage) {
    struct Case {
        Bytes bytes;
        std::string message;
    };
    const std::vector<Case> cases{
        {{3}, "Unexpected variant tag: 3"},
        {{0, 7}, "Unexpected variant tag: 7"},
        {{0, 5, 5}, "Unexpected variant tag: 5"},
        {{0, 1, 7}, "Unexpected variant tag: 7"},
        {{0, 5, 1, 255}, "Unexpected variant tag: 255"},
        {{0, 5, 0, 8, 0, 0, 0, 2, 1, 0}, "Unexpected variant tag: 2"},
        {{2, 0, 0, 0, 0, 2}, "Invalid bool representation: 2"},
        {{}, "Unexpected length of input"},
        {{0}, "Unexpected length of input"},
        {{0, 0, 32, 0, 0}, "Unexpected length of input"},
        {{1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "Unexpected length of input"},
        {cat({{0, 2}, bytes_of(uuid(1)), {255, 255, 255, 255, 1, 0, 0, 0}}),
         "Unexpected length of input"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode_error(c.bytes, encoding::decode_any_type), c.message);
    }
}

TEST(TypeCodec, TyperefIsItsSixteenBytes) {
    const Typeref w = Typeref::wildcard(1);
    EXPECT_EQ(to_bytes(w), bytes_of(w));
    EXPECT_EQ(from_bytes(bytes_of(w), encoding::decode_typeref).value(), w);
}

TEST(RegistryCodec, EmptyRegistryIsEightZeroBytes) {
    TypeRegistry empty;
    EXPECT_EQ(to_bytes(empty), Bytes(8, 0));
    auto decoded = from_bytes(Bytes(8, 0), encoding::decode_type_registry);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->len(), 0u);
}

TEST(RegistryCodec, RoundTripKeepsEveryTyperefAndType) {
    TypeRegistry original(0, {1, 2, 3, 4, 5, 6});
    const Typeref i32 = original.search_or_insert(IType{32});
    const Typeref p = original.search_or_insert(Ptr{});
    const Typeref s = original.search_or_insert(StructType{{i32, p, Typeref::wildcard(0)}, false});
    original.search_or_insert(ArrayType{s, 3});
    original.search_or_insert(PrimaryType::vector(ExtType{uuid(2), {7}}, VcSize::scalable(4)));
    original.search_or_insert(FType::X86Fp80);

    const Bytes bytes = to_bytes(original);
    // u64 count, then per entry 16 bytes of key and the type.
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{6, 0, 0, 0, 0, 0, 0, 0}));
    auto decoded = from_bytes(bytes, encoding::decode_type_registry);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_EQ(decoded->read().types(), original.read().types());
    EXPECT_EQ(to_bytes(*decoded), bytes);

    // The rebuilt hash index finds stored types; nothing new is minted for them.
    EXPECT_EQ(decoded->search_or_insert(IType{32}), i32);
    EXPECT_EQ(decoded->search_or_insert(StructType{{i32, p, Typeref::wildcard(0)}, false}), s);
    EXPECT_EQ(decoded->len(), 6u);
    // Types minted later carry the zero node id.
    EXPECT_EQ(decoded->node_id(), (TypeRegistry::NodeId{}));
    const Typeref fresh = decoded->search_or_insert(IType{33});
    EXPECT_EQ(Bytes(fresh.uuid.bytes.begin() + 10, fresh.uuid.bytes.end()), Bytes(6, 0));
}

TEST(RegistryCodec, EntriesAreTakenAsTheyCome) {
    // A repeated key keeps the later type; a wildcard key and a wildcard type, and an array of
    // an element that is not stored, are accepted.
    const Bytes bytes = cat({
        {4, 0, 0, 0, 0, 0, 0, 0},
        bytes_of(ty(5)), {0, 0, 8, 0, 0, 0},
        bytes_of(ty(5)), {0, 0, 16, 0, 0, 0},
        bytes_of(Typeref::wildcard(2)), {0, 4, 2, 0},
        bytes_of(ty(6)), {1}, bytes_of(ty(99)), {2, 0},
    });
    auto decoded = from_bytes(bytes, encoding::decode_type_registry);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_EQ(decoded->len(), 3u);
    const auto view = decoded->read();
    EXPECT_EQ(view.types().at(ty(5)), AnyType(IType{16}));
    EXPECT_EQ(view.types().at(Typeref::wildcard(2)), AnyType(Wildcard{2}));
    EXPECT_EQ(view.types().at(ty(6)), AnyType(ArrayType{ty(99), 2}));
}

TEST(RegistryCodec, RepeatedEntriesCostNothing) {
    // One entry read 200 000 times: the registry holds one type and its index one entry.
    const Bytes entry = cat({bytes_of(ty(5)), {0, 0, 8, 0, 0, 0}});
    constexpr std::uint64_t kRepeats = 200'000;
    Bytes bytes;
    bytes.reserve(8 + entry.size() * kRepeats);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(kRepeats >> (8 * i)));
    for (std::uint64_t i = 0; i < kRepeats; ++i)
        bytes.insert(bytes.end(), entry.begin(), entry.end());

    const std::size_t before = heap_in_use();
    auto decoded = from_bytes(bytes, encoding::decode_type_registry);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_LT(heap_in_use() - before, 64u * 1024);
    EXPECT_EQ(decoded->len(), 1u);
    EXPECT_EQ(decoded->search_or_insert(IType{8}), ty(5));
}

TEST(RegistryCodec, MalformedRegistryFails) {
    struct Case {
        Bytes bytes;
        std::string message;
    };
    const std::vector<Case> cases{
        {{0, 0, 0, 0, 0, 0, 0}, "Unexpected length of input"},
        {{1, 0, 0, 0, 0, 0, 0, 0}, "Unexpected length of input"},
        {cat({{1, 0, 0, 0, 0, 0, 0, 0}, bytes_of(ty(1)), {3}}), "Unexpected variant tag: 3"},
        {cat({{255, 255, 255, 255, 255, 255, 255, 255}, bytes_of(ty(1)), {0, 3}}),
         "Unexpected length of input"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode_error(c.bytes, encoding::decode_type_registry), c.message);
    }
}

}  // namespace
}  // namespace kdinstr::tests::codec
