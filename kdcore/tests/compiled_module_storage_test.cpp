#include "kdcore/compiler/compiled_module_storage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kdcore/compiler/load_module.hpp"
#include "kdcore/compiler/zstd_stream.hpp"
#include "kdcore/tests/inflated_storages.hpp"
#include "kdcore/tests/sample_storages.hpp"
#include "kdcore/tests/storage_test_support.hpp"
#include "kdcore/tests/test_support.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/encoding/module_codec.hpp"
#include "kdinstr/encoding/registry_codec.hpp"
#include "kdinstr/tests/ir_builder.hpp"
#include "kdinstr/types/type_text_length.hpp"

namespace {

using namespace kdtest;
using kdcore::compiler::CompiledModuleStorage;
using kdcore::compiler::ZstdCompressor;
using kdinstr::tests::codec::Bytes;
using kdinstr::tests::codec::cat;
using kdtest::inflated::kReadFailed;

// The refusals of types that would print longer than a storage's size allows.
const std::string kTooLong =
    "compiled module type registry holds a type whose text is longer than its storage size "
    "allows";
const std::string kNamedTooOften =
    "compiled module names types in one place whose texts together are longer than its storage "
    "size allows";

const std::string kWriteFailed = "Failed to serialize compiled module storage header: ";

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes compressed(const Bytes& body) {
    Bytes out;
    ZstdCompressor z(out);
    EXPECT_TRUE(z.write(body).has_value());
    EXPECT_TRUE(z.finish().has_value());
    return out;
}

Bytes header(std::string_view requirement) {
    return cat({bytes_of("\x7fKDMODIR"), bytes_of(requirement), Bytes{0}});
}

// No file names, no functions, no external functions, an empty registry.
const Bytes kEmptyBody(4 + 4 + 4 + 8, 0);

// Two functions (one with a loop, instructions and a call), one external function, and a
// registry holding their types and one type nothing uses.
CompiledModuleStorage sample_storage() {
    namespace ib = kdinstr::tests;
    namespace kt = kdinstr::types;
    CompiledModuleStorage storage;
    storage.source_names = {"first.kd", "second.kd"};
    const kt::Typeref i32 = storage.type_registry.search_or_insert(kt::primary::IType{32});
    const kt::Typeref ptr = storage.type_registry.search_or_insert(kt::primary::Ptr{});
    storage.type_registry.search_or_insert(kt::aggregate::StructType{{i32, ptr}, /*packed=*/true});
    storage.type_registry.search_or_insert(kt::aggregate::ArrayType{i32, 4});

    auto loop =
        ib::FunctionBuilder()
            .uuid(ib::uuid(1))
            .name("loop")
            .param(0, i32)
            .returns(i32)
            .block(0, {ib::iadd(1, i32, ib::reg(0), ib::imm_int(-129, 32))}, ib::jump(1))
            .block(1,
                   {ib::phi(2, i32, {{ib::reg(1), 0}, {ib::reg(3), 1}}),
                    ib::iadd(3, i32, ib::reg(2), ib::imm_int(1, 32)),
                    ib::icmp(4, i32, ib::reg(3), ib::undef(i32))},
                   ib::branch(ib::reg(4), 2, 1))
            .block(2, {ib::invoke(ib::external_fn(ib::uuid(9)), {ib::reg(3)})}, ib::ret(ib::reg(3)))
            .build();
    auto anonymous = ib::FunctionBuilder().uuid(ib::uuid(2)).block(0, {}, ib::trap()).build();
    anonymous.reserved_id = std::array<std::uint8_t, 16>{1, 2, 3};
    storage.module = ib::module_of({loop, anonymous}, {ib::external(ib::uuid(9), "ext", {i32})});
    return storage;
}

// The error text a failed decode returned, or "" on success; within `budget` when one is given.
std::string decode_error(const InstanceContext& instance, const Bytes& bytes,
                         std::optional<std::size_t> budget = std::nullopt) {
    auto decoded = budget ? CompiledModuleStorage::decode(instance, bytes, *budget)
                          : CompiledModuleStorage::decode(instance, bytes);
    if (decoded) return "";
    const auto* unknown = decoded.error().get_if<KdError::Unknown>();
    if (unknown == nullptr) return "not Unknown: " + decoded.error().message();
    return unknown->text;
}

TEST(CompiledModuleStorage, WrittenHeader) {
    LoggedInstance li;
    CompiledModuleStorage storage;
    auto written = CompiledModuleStorage::encode(storage, *li.instance);
    ASSERT_TRUE(written.has_value()) << written.error().message();
    const Bytes expected_start{0x7F, 0x4B, 0x44, 0x4D, 0x4F, 0x44, 0x49, 0x52, 0x3D, 0x30,
                               0x2E, 0x31, 0x2E, 0x32, 0x00, 0x28, 0xB5, 0x2F, 0xFD};
    ASSERT_GT(written->size(), expected_start.size());
    EXPECT_EQ(Bytes(written->begin(), written->begin() + expected_start.size()), expected_start);
}

TEST(CompiledModuleStorage, RequirementsMatchedAgainstEngineVersion) {
    LoggedInstance li;
    struct Case {
        std::string requirement;
        std::string error;  // empty: loads
    };
    const std::vector<Case> cases = {
        {"=0.1.2", ""},
        {"*", ""},
        {">=0.1.0", ""},
        {"^0.1", ""},
        {"~0.1.1", ""},
        {">=0.1.0, <0.2.0", ""},
        {"0.1.2+build.7", ""},
        {"=0.1.3", "Incompatible compiled module storage version: required =0.1.3, found 0.1.2"},
        {"<0.1.2", "Incompatible compiled module storage version: required <0.1.2, found 0.1.2"},
        {" >= 0.1.0 , < 0.1.1",
         "Incompatible compiled module storage version: required >=0.1.0, <0.1.1, found 0.1.2"},
        {"=0.1.2-alpha",
         "Incompatible compiled module storage version: required =0.1.2-alpha, found 0.1.2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requirement);
        const Bytes storage = cat({header(c.requirement), compressed(kEmptyBody)});
        EXPECT_EQ(decode_error(*li.instance, storage),
                  c.error.empty() ? "" : kReadFailed + c.error);
    }
}

TEST(CompiledModuleStorage, HeaderErrors) {
    LoggedInstance li;
    const Bytes body = compressed(kEmptyBody);
    struct Case {
        std::string name;
        Bytes input;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "failed to fill whole buffer"},
        {"seven magic bytes", bytes_of("\x7fKDMODI"), "failed to fill whole buffer"},
        {"seven wrong bytes", bytes_of("ABCDEFG"), "failed to fill whole buffer"},
        {"magic alone", bytes_of("\x7fKDMODIR"), "failed to fill whole buffer"},
        {"no NUL", bytes_of("\x7fKDMODIR=0.1.2"), "failed to fill whole buffer"},
        {"wrong magic", cat({bytes_of("\x7fKDMODIr=0.1.2"), Bytes{0}, body}),
         "Invalid magic bytes in compiled module storage"},
        {"magic bytes rotated", bytes_of("KDMODIR\x7f"),
         "Invalid magic bytes in compiled module storage"},
        {"invalid UTF-8", cat({header("=0.\xff.2"), body}),
         "Invalid UTF-8 in version requirement: invalid utf-8 sequence of 1 bytes from index 3"},
        {"truncated UTF-8", cat({header("=0.1.2\xe2\x82"), body}),
         "Invalid UTF-8 in version requirement: incomplete utf-8 byte sequence from index 6"},
        {"empty requirement", cat({header(""), body}),
         "Invalid version requirement format: unexpected end of input while parsing major "
         "version number"},
        {"unparsable requirement", cat({header("=0.1.2 x"), body}),
         "Invalid version requirement format: expected comma after patch version number, "
         "found 'x'"},
        {"nothing after NUL", header("=0.1.2"), "incomplete frame"},
        {"not zstd", cat({header("=0.1.2"), bytes_of("plain text body")}),
         "Unknown frame descriptor"},
        // A frame of one empty block whose header asks for a 2 GiB window.
        {"window too large",
         cat({header("=0.1.2"), Bytes{0x28, 0xB5, 0x2F, 0xFD, 0x00, 0xA8, 0x01, 0x00, 0x00}}),
         "Frame requires too much memory for decoding"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode_error(*li.instance, c.input), kReadFailed + c.error);
    }
}

TEST(CompiledModuleStorage, BodyErrors) {
    LoggedInstance li;
    auto body_with_name = [](Bytes name) {
        Bytes body{1, 0, 0, 0, static_cast<std::uint8_t>(name.size()), 0, 0, 0};
        body.insert(body.end(), name.begin(), name.end());
        return cat({body, Bytes(4 + 4 + 8, 0)});
    };
    struct Case {
        std::string name;
        Bytes body;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"body one byte short", Bytes(kEmptyBody.size() - 1, 0), "Unexpected length of input"},
        {"empty frame", {}, "Unexpected length of input"},
        {"name not UTF-8", body_with_name({'a', 0xc3, 0x28}),
         "invalid utf-8 sequence of 1 bytes from index 1"},
        {"name count beyond the input", cat({Bytes{0xff, 0xff, 0xff, 0xff}, Bytes(16, 0)}),
         "Unexpected length of input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes storage = cat({header("=0.1.2"), compressed(c.body)});
        EXPECT_EQ(decode_error(*li.instance, storage), kReadFailed + c.error);
    }
}

TEST(CompiledModuleStorage, BodyPastTheSizeLimit) {
    // 35 KB of storage: a count of 2^32-1 functions over more than 1 GiB of compressed zeros.
    // Every function read takes its bytes, and reading stops at the limit. The decode budget of
    // the storage's own size refuses it long before (see storage_budget_test.cpp): here a budget
    // that refuses nothing leaves the limit on its own, as it is for large storages.
    LoggedInstance li;
    Bytes storage = header("=0.1.2");
    {
        ZstdCompressor z(storage);
        ASSERT_TRUE(z.write(Bytes{0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}).has_value());
        const Bytes zeros(std::size_t{1} << 20);
        for (std::size_t i = 0; i <= CompiledModuleStorage::kMaxBodyBytes >> 20; ++i)
            ASSERT_TRUE(z.write(zeros).has_value());
        ASSERT_TRUE(z.finish().has_value());
    }
    ASSERT_LT(storage.size(), 64u * 1024);
    li.clear();
    EXPECT_EQ(decode_error(*li.instance, storage, SIZE_MAX),
              std::string(kReadFailed) + "compiled module body decompresses to more than 1 GiB");
    const auto lines = li.take();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].message,
              std::string(kReadFailed) + "compiled module body decompresses to more than 1 GiB");
}

// The body of `storage` in one raw (uncompressed) zstd block: a storage whose size depends on
// the size of its contents alone, not on the values they hold.
Bytes stored_raw(const CompiledModuleStorage& storage) {
    Bytes body;
    kdinstr::encoding::VectorSink sink(body);
    kdinstr::encoding::BorshWriter writer(sink);
    EXPECT_TRUE(writer.write_u32(0).has_value());  // no file names
    EXPECT_TRUE(kdinstr::encoding::encode(writer, storage.module).has_value());
    EXPECT_TRUE(kdinstr::encoding::encode(writer, storage.type_registry).has_value());
    // Magic; a single segment whose 2-byte content size counts from 256; one last raw block.
    EXPECT_TRUE(body.size() >= 256 && body.size() < 256 + 65536);
    const std::size_t content = body.size() - 256;
    const std::size_t block = 1 | (body.size() << 3);
    const auto byte = [](std::size_t v, int at) { return static_cast<std::uint8_t>(v >> at); };
    const Bytes frame{0x28,
                      0xB5,
                      0x2F,
                      0xFD,
                      0x60,
                      byte(content, 0),
                      byte(content, 8),
                      byte(block, 0),
                      byte(block, 8),
                      byte(block, 16)};
    return cat({header("=0.1.2"), frame, body});
}

// Adds U under ty(0x70), printing exactly `length` characters: a struct of 24 doubling types
// (up to T_21, which the registry must hold) and i<W> under ty(0x6F), W's digits making up the
// rest. Whatever the length, the encoding has the same size.
void add_type_printing(kdinstr::types::TypeRegistry& registry, std::uint64_t length) {
    namespace kt = kdinstr::types;
    constexpr std::uint64_t kParts = 24;
    // U prints 3 - 2 * kParts + 6 * S + digits, S being the sum of 2^j over the T_j it holds.
    for (std::uint64_t digits = 1; digits <= 6; ++digits) {
        const std::uint64_t rest = length + 2 * kParts - 3 - digits;
        if (rest % 6 != 0) continue;
        std::vector<std::uint8_t> parts;
        for (std::uint8_t j = 0; j < 64; ++j)
            if ((rest / 6) >> j & 1) parts.push_back(j);
        while (parts.size() < kParts || *std::max_element(parts.begin(), parts.end()) > 21) {
            auto largest = std::max_element(parts.begin(), parts.end());
            ASSERT_GT(*largest, 0);
            ASSERT_LT(parts.size(), kParts);
            --*largest;
            parts.push_back(*largest);
        }
        ASSERT_EQ(parts.size(), kParts);
        std::uint32_t width = 1;
        for (std::uint64_t d = 1; d < digits; ++d) width *= 10;
        kt::aggregate::StructType u;
        for (const std::uint8_t j : parts)
            u.elements.push_back(kdinstr::tests::ty(static_cast<std::uint8_t>(0x40 + j)));
        u.elements.push_back(kdinstr::tests::ty(0x6F));
        registry.insert_decoded(kdinstr::tests::ty(0x6F), kt::primary::IType{width});
        registry.insert_decoded(kdinstr::tests::ty(0x70), std::move(u));
        return;
    }
}

std::uint64_t longest_text(const kdinstr::types::TypeRegistry& registry) {
    return kdinstr::types::TypeTextLengths(registry.read().types(), UINT64_MAX).longest();
}

TEST(CompiledModuleStorage, TypesPrintingLongerThanTheStorageAllowsAreRefused) {
    namespace kt = kdinstr::types;
    namespace ib = kdinstr::tests;
    // Stored under a wildcard identifier, T_24 prints as a letter here, and in full once merged.
    CompiledModuleStorage hidden;
    hidden.type_registry.insert_decoded(
        ib::wildcard(2),
        kt::aggregate::StructType{
            {samples::doubling_types(hidden.type_registry, 23), ib::ty(0x40 + 23)}});
    // T_20 under a wildcard identifier, named 3 times by one instruction: 3 * 6.3 MB. Named as
    // often by as many places, it is within the bound.
    CompiledModuleStorage hidden_named;
    hidden_named.type_registry.insert_decoded(
        ib::wildcard(1),
        kt::aggregate::StructType{
            {samples::doubling_types(hidden_named.type_registry, 19), ib::ty(0x40 + 19)}});
    hidden_named.module = ib::module_of(
        {ib::FunctionBuilder()
             .param(0, ib::wildcard(1))
             .param(1, ib::wildcard(1))
             .returns(ib::wildcard(1))
             .block(0,
                    {ib::invoke(ib::undef(ib::wildcard(1)),
                                {ib::undef(ib::wildcard(1)), ib::undef(ib::wildcard(1))})},
                    ib::ret(ib::undef(ib::wildcard(1))))
             .build()});
    // Twelve types that all hold one another print every ordering of them (12! and more).
    CompiledModuleStorage knot;
    for (std::uint8_t i = 0; i < 12; ++i) {
        kt::aggregate::StructType s;
        for (std::uint8_t j = 0; j < 12; ++j) s.elements.push_back(ib::ty(j));
        knot.type_registry.insert_decoded(ib::ty(i), std::move(s));
    }
    struct Case {
        std::string name;
        CompiledModuleStorage storage;
        std::string error;
    };
    std::vector<Case> cases;
    cases.push_back({"T_30 as a parameter", samples::doubling_registry(30), kTooLong});
    cases.push_back({"T_40 as a parameter", samples::doubling_registry(40), kTooLong});
    cases.push_back({"T_24 under a wildcard", std::move(hidden), kTooLong});
    cases.push_back({"T_22 as a parameter", samples::doubling_registry(22), kTooLong});
    cases.push_back({"T_21 named 31 times", samples::doubling_named_often(21, 30), kNamedTooOften});
    cases.push_back({"T_20 under a wildcard, named 3 times by one instruction",
                     std::move(hidden_named), kNamedTooOften});
    cases.push_back({"a knot of 12 types", std::move(knot), kTooLong});
    LoggedInstance li;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto written = CompiledModuleStorage::compress(c.storage, *li.instance);
        ASSERT_TRUE(written.has_value());
        EXPECT_LT(written->size(), 1024u);
        li.clear();
        EXPECT_EQ(decode_error(*li.instance, *written), kReadFailed + c.error);
        auto lines = li.take();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1].message, kReadFailed + c.error);

        // Not even a storage as large as its body would let them print: the writer refuses
        // them with the same text.
        auto encoded = CompiledModuleStorage::encode(c.storage, *li.instance);
        ASSERT_FALSE(encoded.has_value());
        const auto* unknown = encoded.error().get_if<KdError::Unknown>();
        ASSERT_NE(unknown, nullptr);
        EXPECT_EQ(unknown->text, kWriteFailed + c.error);
        lines = li.take();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1].message, kWriteFailed + c.error);
        EXPECT_EQ(lines[1].level, LogLevelEXT::Error);
    }
}

TEST(CompiledModuleStorage, TypesPrintingAsLongAsTheStorageAllowsAreRead) {
    // Storages of one size, whose types print exactly as many characters as that size allows,
    // or one more: one type of the registry, or the types an instruction names, together.
    namespace kt = kdinstr::types;
    namespace ib = kdinstr::tests;
    LoggedInstance li;
    const auto registry_printing = [](std::uint64_t length) {
        CompiledModuleStorage storage;
        samples::doubling_types(storage.type_registry, 21);
        add_type_printing(storage.type_registry, length);
        return storage;
    };
    // A function of a U and an i1 that selects between its U by an undef i1, and returns
    // nothing: the select names U and i1, U + 2 characters.
    const auto function_naming = [](std::uint64_t u) {
        CompiledModuleStorage storage;
        samples::doubling_types(storage.type_registry, 21);
        add_type_printing(storage.type_registry, u);
        storage.type_registry.insert_decoded(ib::ty(0x6E), kt::primary::IType{1});
        storage.module = ib::module_of(
            {ib::FunctionBuilder()
                 .param(0, ib::ty(0x70))
                 .block(
                     0,
                     {ib::select(1, ib::ty(0x70), ib::undef(ib::ty(0x6E)), ib::reg(0), ib::reg(0))},
                     ib::ret())
                 .build()});
        return storage;
    };
    const std::size_t registry_size = stored_raw(registry_printing(100'000'000)).size();
    const std::size_t most = CompiledModuleStorage::type_text_budget(registry_size);
    ASSERT_GT(most, 2 * (6 * (std::uint64_t{1} << 18) - 4));
    ASSERT_LT(most, 24 * (6 * (std::uint64_t{1} << 21) - 4));
    const std::size_t function_size = stored_raw(function_naming(100'000'000)).size();
    const std::size_t most_named = CompiledModuleStorage::type_text_budget(function_size);
    const std::uint64_t each = most_named - 2;

    struct Case {
        std::string name;
        CompiledModuleStorage storage;
        std::size_t size;
        std::uint64_t longest;
        std::string error;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"a type as long as allowed", registry_printing(most), registry_size, most, ""});
    cases.push_back(
        {"a type one longer", registry_printing(most + 1), registry_size, most + 1, kTooLong});
    // U is the registry's longest type then, and within the bound on its own.
    ASSERT_GT(each, 6 * (std::uint64_t{1} << 21) - 4);
    cases.push_back(
        {"types named as long as allowed", function_naming(each), function_size, each, ""});
    cases.push_back({"types named one longer", function_naming(each + 1), function_size, each + 1,
                     kNamedTooOften});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = stored_raw(c.storage);
        EXPECT_EQ(bytes.size(), c.size);
        EXPECT_EQ(longest_text(c.storage.type_registry), c.longest);
        auto decoded = CompiledModuleStorage::decode(*li.instance, bytes);
        if (c.error.empty()) {
            ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
            expect_same_content(*decoded, c.storage);
            // And the whole load goes through: nothing prints the types.
            auto key = kdcore::compiler::load_module(li.instance, bytes);
            EXPECT_TRUE(key.has_value()) << key.error().message();
        } else {
            EXPECT_EQ(decode_error(*li.instance, bytes), kReadFailed + c.error);
        }
    }
}

TEST(CompiledModuleStorage, EmptyModuleRoundTrip) {
    LoggedInstance li;
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{}, std::vector<std::string>{"a.kd", "", "dir/ünïcode.kd"}}) {
        CompiledModuleStorage storage;
        storage.source_names = names;
        auto written = CompiledModuleStorage::encode(storage, *li.instance);
        ASSERT_TRUE(written.has_value()) << written.error().message();
        auto read = CompiledModuleStorage::decode(*li.instance, *written);
        ASSERT_TRUE(read.has_value()) << read.error().message();
        EXPECT_EQ(read->source_names, names);
        EXPECT_TRUE(read->module.functions.empty());
        EXPECT_TRUE(read->module.external_functions.empty());
        EXPECT_EQ(read->type_registry.len(), 0u);
    }
}

TEST(CompiledModuleStorage, ModuleRoundTrip) {
    LoggedInstance li;
    CompiledModuleStorage storage = sample_storage();
    auto written = CompiledModuleStorage::encode(storage, *li.instance);
    ASSERT_TRUE(written.has_value()) << written.error().message();
    auto read = CompiledModuleStorage::decode(*li.instance, *written);
    ASSERT_TRUE(read.has_value()) << read.error().message();
    expect_same_content(*read, storage);
    // The decoded registry still deduplicates what it holds.
    EXPECT_EQ(read->type_registry.search_or_insert(kdinstr::types::primary::IType{32}),
              storage.type_registry.search_or_insert(kdinstr::types::primary::IType{32}));
    EXPECT_EQ(read->type_registry.len(), 4u);
}

TEST(CompiledModuleStorage, TrailingInputIsNeverRead) {
    LoggedInstance li;
    CompiledModuleStorage storage;
    storage.source_names = {"x.kd"};
    auto written = CompiledModuleStorage::encode(storage, *li.instance);
    ASSERT_TRUE(written.has_value());
    const std::size_t body_start = header("=0.1.2").size();
    const Bytes body_frame(written->begin() + static_cast<std::ptrdiff_t>(body_start),
                           written->end());

    struct Case {
        std::string name;
        Bytes input;
    };
    const std::vector<Case> cases = {
        {"garbage", cat({*written, bytes_of("garbage after the frame")})},
        {"a further frame", cat({*written, compressed(bytes_of("more body"))})},
        {"a broken further frame", cat({*written, Bytes{0x28, 0xB5, 0x2F, 0xFD, 0xff}})},
        {"a cut further frame", cat({*written, Bytes(body_frame.begin(), body_frame.end() - 1)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto read = CompiledModuleStorage::decode(*li.instance, c.input);
        ASSERT_TRUE(read.has_value()) << read.error().message();
        EXPECT_EQ(read->source_names, storage.source_names);
    }
}

TEST(CompiledModuleStorage, BodySpreadOverFrames) {
    LoggedInstance li;
    // One name "ab", then the empty module and registry, split inside the name's length.
    const Bytes body = cat({Bytes{1, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'}, Bytes(16, 0)});
    for (std::size_t split : {std::size_t{1}, std::size_t{6}, std::size_t{9}, body.size() - 1}) {
        SCOPED_TRACE(split);
        const Bytes storage =
            cat({header("=0.1.2"), compressed(Bytes(body.begin(), body.begin() + split)),
                 compressed(Bytes(body.begin() + split, body.end()))});
        auto read = CompiledModuleStorage::decode(*li.instance, storage);
        ASSERT_TRUE(read.has_value()) << read.error().message();
        EXPECT_EQ(read->source_names, std::vector<std::string>{"ab"});
    }
}

TEST(CompiledModuleStorage, CutAtEveryOffset) {
    LoggedInstance li;
    auto written = CompiledModuleStorage::encode(sample_storage(), *li.instance);
    ASSERT_TRUE(written.has_value());
    const std::size_t body_start = header("=0.1.2").size();
    for (std::size_t cut = 0; cut < written->size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string error =
            decode_error(*li.instance, Bytes(written->begin(), written->begin() + cut));
        if (cut < body_start) {
            EXPECT_EQ(error, std::string(kReadFailed) + "failed to fill whole buffer");
        } else if (error != std::string(kReadFailed) + "incomplete frame") {
            EXPECT_EQ(error, std::string(kReadFailed) + "Unexpected length of input");
        }
    }
}

void expect_storage_line(const LogMessageEXT& got, LogLevelEXT level, std::uint32_t line,
                         const std::string& message) {
    EXPECT_EQ(got.level, level);
    EXPECT_EQ(got.message, message);
    EXPECT_EQ(got.module, "kdcore::compiler");
    EXPECT_EQ(got.file, std::optional<std::string>("kdcore/src/compiler"));
    EXPECT_EQ(got.line, std::optional<std::uint32_t>(line));
    EXPECT_EQ(got.thread_name, std::nullopt);
}

TEST(CompiledModuleStorage, LogLines) {
    LoggedInstance li;
    CompiledModuleStorage storage;
    auto written = CompiledModuleStorage::encode(storage, *li.instance);
    ASSERT_TRUE(written.has_value());
    {
        auto lines = li.take();
        ASSERT_EQ(lines.size(), 1u);
        expect_storage_line(lines[0], LogLevelEXT::Trace, 117,
                            "Serializing compiled module storage (module has 0 functions)");
    }

    ASSERT_TRUE(CompiledModuleStorage::decode(*li.instance, *written).has_value());
    {
        auto lines = li.take();
        ASSERT_EQ(lines.size(), 1u);
        expect_storage_line(
            lines[0], LogLevelEXT::Trace, 154,
            fmt::format("Deserializing compiled module storage ({} bytes)", written->size()));
    }

    const Bytes bad = cat({header("=0.1.3"), compressed(kEmptyBody)});
    ASSERT_FALSE(CompiledModuleStorage::decode(*li.instance, bad).has_value());
    {
        auto lines = li.take();
        ASSERT_EQ(lines.size(), 2u);
        expect_storage_line(
            lines[0], LogLevelEXT::Trace, 154,
            fmt::format("Deserializing compiled module storage ({} bytes)", bad.size()));
        expect_storage_line(lines[1], LogLevelEXT::Error, 174,
                            "Failed to read compiled module storage header: Incompatible "
                            "compiled module storage version: required =0.1.3, found 0.1.2");
    }
}

}  // namespace
