// What the storage writer returns, its reader takes. A module whose body compresses far better
// than programs do, or whose types print far longer than they are stored, is written with a
// skippable frame after its level-3 frame that makes the storage as large as reading it needs,
// and no larger; every other storage is the level-3 frame alone, byte for byte as before; and a
// module that no storage of it would let the reader take is refused when it is written.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <zstd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/compiler/compiler.hpp"
#include "kdcore/compiler/load_module.hpp"
#include "kdcore/tests/storage_test_support.hpp"
#include "kdcore/tests/test_support.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/modules/parser/driver.hpp"
#include "kdinstr/tests/ir_builder.hpp"

namespace {

using namespace kdtest;
using kdcore::base::api::ModuleCompileInfo;
using kdcore::base::api::ModuleSourceInfo;
using kdcore::base::api::ModuleSourceType;
using kdcore::compiler::CompiledModuleStorage;
using Bytes = std::vector<std::uint8_t>;

const std::string kWriteFailed = "Failed to serialize compiled module storage header: ";

// The sources read one after another and every function type-checked, as the compiler does: the
// storage it would write.
CompiledModuleStorage compiled(const std::vector<std::string>& sources) {
    CompiledModuleStorage storage;
    kdinstr::modules::parser::ModuleExtender extender(storage.module, storage.type_registry);
    for (const auto& source : sources) {
        auto parsed = extender.extend(source);
        if (!parsed) {
            ADD_FAILURE() << parsed.error().message().substr(0, 400);
            return storage;
        }
    }
    for (const auto& [key, function] : storage.module.functions) {
        auto checked = function->type_check(storage.type_registry);
        if (!checked) ADD_FAILURE() << checked.error().message();
    }
    return storage;
}

std::size_t body_size(const CompiledModuleStorage& storage) {
    Bytes body;
    kdinstr::encoding::VectorSink sink(body);
    kdinstr::encoding::BorshWriter writer(sink);
    EXPECT_TRUE(CompiledModuleStorage::write_body(writer, storage).has_value());
    return body.size();
}

std::uint32_t le32(const Bytes& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = (v << 8) | bytes[at + i];
    return v;
}

// Where the body's frame starts: after the magic, "=0.1.2" and its NUL.
constexpr std::size_t kBodyOffset = 15;

// The length of the skippable frame that `bytes` end with after the body's frame; 0 when they
// end with the body's frame.
std::size_t padding_of(const Bytes& bytes) {
    const std::size_t frame =
        ZSTD_findFrameCompressedSize(bytes.data() + kBodyOffset, bytes.size() - kBodyOffset);
    EXPECT_FALSE(ZSTD_isError(frame));
    if (ZSTD_isError(frame) || kBodyOffset + frame == bytes.size()) return 0;
    const std::size_t at = kBodyOffset + frame;
    const std::size_t padding = bytes.size() - at;
    EXPECT_GE(padding, 8u);
    if (padding < 8) return padding;
    EXPECT_EQ(le32(bytes, at), ZSTD_MAGIC_SKIPPABLE_START);
    EXPECT_EQ(le32(bytes, at + 4), padding - 8);
    return padding;
}

// `bytes`, written for `storage`, read back as `storage`, and are its level-3 frame alone, or,
// only when the reader refuses that, the frame and then one skippable frame that makes the
// storage as large as the reader needs (or the least a skippable frame adds) and no larger than
// its body. True when it has the skippable frame.
bool expect_readable_as_needed(const LoggedInstance& i, const CompiledModuleStorage& storage,
                               const Bytes& bytes) {
    auto read = CompiledModuleStorage::decode(*i.instance, bytes);
    EXPECT_TRUE(read.has_value()) << read.error().message();
    if (read) expect_same_content(*read, storage);
    const std::size_t padding = padding_of(bytes);
    if (padding == 0) {
        EXPECT_EQ(bytes, CompiledModuleStorage::compress(storage, *i.instance).value());
        return false;
    }
    const Bytes frame(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(padding));
    EXPECT_FALSE(CompiledModuleStorage::decode(*i.instance, frame).has_value());
    EXPECT_LE(bytes.size(), std::max(frame.size(), kBodyOffset + body_size(storage)) + 8);
    if (padding > 8) {
        EXPECT_FALSE(CompiledModuleStorage::decode(
                         *i.instance, bytes, CompiledModuleStorage::decode_budget(bytes.size() - 1))
                         .has_value());
    }
    return true;
}

std::string repeated(const std::string& line, std::size_t count) {
    std::string out;
    out.reserve(line.size() * count);
    for (std::size_t n = 0; n < count; ++n) out += line;
    return out;
}

// `blocks` blocks of `lines` copies of `line`, each jumping to the next, the last returning.
std::string blocks_of(std::size_t blocks, std::size_t lines, const std::string& line) {
    std::string out;
    for (std::size_t b = 0; b < blocks; ++b) {
        out += fmt::format("b{}:\n", b);
        out += repeated(line, lines);
        out += b + 1 < blocks ? fmt::format("  jump b{}\n", b + 1) : "  ret void\n";
    }
    return out;
}

std::string function_of(std::string_view name, std::string_view params, std::size_t blocks,
                        std::size_t lines, const std::string& line) {
    return fmt::format("define void {}({}) {{\n{}}}\n", name, params,
                       blocks_of(blocks, lines, line));
}

const std::string kG = "define void g() {\nentry:\n  ret void\n}\n";
const std::string kH = "define void h(%x: i32) {\nentry:\n  ret void\n}\n";

std::string functions_of(std::size_t count, const std::string& params, std::size_t blocks,
                         const std::string& line) {
    std::string out;
    for (std::size_t f = 0; f < count; ++f)
        out += function_of(fmt::format("f{}", f), params, blocks, 65535, line);
    return out;
}

// The modules that the level-3 frame alone lets no reader take, from a few hundred bytes up to
// 12 KB where they cost gigabytes to read, and one function of them that reads as it is.
TEST(ReadableStorage, RepetitiveModulesCompileAndLoad) {
    LoggedInstance i(LogLevelEXT::Info);
    ASSERT_TRUE(i.instance);
    // A struct of 4000 fields, 20 KB of text; a call with a thousand undefined arguments of it
    // names 20 MB of types in one place, stored in a few hundred bytes.
    const std::string wide = "{" + repeated("i64, ", 3999) + "i64}";
    const std::string wide_call = "define void f() {\nentry:\n  invoke ptr g" +
                                  repeated(", " + wide + " undef", 1000) + "\n  ret void\n}\n";
    struct Case {
        std::string name;
        std::vector<std::string> sources;
        bool padded;
    };
    const std::vector<Case> cases = {
        {"1 function of 65 535 calls", {kG + functions_of(1, "", 1, "  invoke ptr g\n")}, false},
        {"4 functions", {kG + functions_of(4, "", 1, "  invoke ptr g\n")}, true},
        {"16 functions", {kG + functions_of(16, "", 1, "  invoke ptr g\n")}, true},
        {"16 functions of 4 blocks", {kG + functions_of(16, "", 4, "  invoke ptr g\n")}, true},
        {"16 functions of calls with one argument",
         {kH + functions_of(16, "%v: i32", 1, "  invoke ptr h, %v\n")},
         true},
        {"one call naming 20 MB of types", {kG, wide_call}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ModuleCompileInfo info;
        for (const auto& text : c.sources)
            info.sources.push_back(
                ModuleSourceInfo{ModuleSourceType::Assembly, "row.kd", text, {}});
        auto bytes = kdcore::compiler::compile_sources(*i.instance, std::move(info));
        ASSERT_TRUE(bytes.has_value()) << bytes.error().message();
        auto loaded = kdcore::compiler::load_module(i.instance, *bytes);
        EXPECT_TRUE(loaded.has_value()) << loaded.error().message();
        EXPECT_EQ(padding_of(*bytes) > 0, c.padded);
        // Well below the body's size: 1.8 MB of body for the 65 535 calls, 113 MB for 16 x 4.
        EXPECT_LT(bytes->size(), 1'500'000u);
    }
}

// One repetitive module, drawn at random: every line of a block the same, every block and every
// function the same, spread over a few sources.
std::vector<std::string> random_repetitive_module(std::mt19937& random) {
    const auto draw = [&](std::size_t low, std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(low, high)(random);
    };
    std::string line;
    switch (draw(0, 4)) {
        case 0:
            line = "  invoke ptr g\n";
            break;
        case 1:
            line = "  invoke ptr h, %v\n";
            break;
        case 2:
            line = "  store %p, %v\n";
            break;
        case 3: {
            // A large aggregate, named by every line.
            const std::size_t fields = draw(1, 2000);
            line = fmt::format("  store %p, {{{}[{} x {{i32, fp64}}]}} undef\n",
                               repeated("i64, ", fields - 1), draw(1, 65535));
            break;
        }
        default:
            line = fmt::format("  invoke ptr h, i32 {}\n", draw(0, 1000));
    }
    const std::size_t functions = draw(1, 24);
    const std::size_t blocks = draw(1, 4);
    const std::size_t most_lines = std::max<std::size_t>(1, 600'000 / (functions * blocks));
    const std::size_t lines = draw(1, std::min<std::size_t>(most_lines, 65535));
    const std::string body = blocks_of(blocks, lines, line);
    std::vector<std::string> sources(draw(1, 3));
    sources[0] = kG + kH;
    for (std::size_t f = 0; f < functions; ++f)
        sources[f % sources.size()] +=
            fmt::format("define void f{}(%p: ptr, %v: i32) {{\n{}}}\n", f, body);
    return sources;
}

TEST(ReadableStorage, EveryRandomRepetitiveModuleIsWrittenToLoad) {
    LoggedInstance i(LogLevelEXT::Info);
    ASSERT_TRUE(i.instance);
    std::mt19937 random(20261211);
    std::size_t padded = 0;
    constexpr std::size_t kModules = 12;
    for (std::size_t m = 0; m < kModules; ++m) {
        SCOPED_TRACE(m);
        const auto storage = compiled(random_repetitive_module(random));
        auto bytes = CompiledModuleStorage::encode(storage, *i.instance);
        ASSERT_TRUE(bytes.has_value()) << bytes.error().message();
        padded += expect_readable_as_needed(i, storage, *bytes);
    }
    // Both kinds were drawn.
    EXPECT_GT(padded, 0u);
    EXPECT_LT(padded, kModules);
}

// A storage that reads as it is compressed is the level-3 frame, whether the writer had to read
// it to know (2 000 chains of additions, which compress too well to be sure) or not; and the
// bytes of a fixed module are those the writer has always written.
TEST(ReadableStorage, StoragesThatReadAsCompressedAreUnchanged) {
    namespace ib = kdinstr::tests;
    namespace kt = kdinstr::types;
    LoggedInstance i(LogLevelEXT::Info);
    ASSERT_TRUE(i.instance);
    CompiledModuleStorage fixed;
    fixed.source_names = {"fixed.kd"};
    fixed.type_registry.insert_decoded(ib::ty(1), kt::primary::IType{32});
    fixed.module =
        ib::module_of({ib::FunctionBuilder()
                           .name("inc")
                           .param(0, ib::ty(1))
                           .returns(ib::ty(1))
                           .block(0, {ib::iadd(1, ib::ty(1), ib::reg(0), ib::imm_int(1, 32))},
                                  ib::ret(ib::reg(1)))
                           .build()});
    CompiledModuleStorage chains;
    const kt::Typeref i64 = chains.type_registry.search_or_insert(kt::primary::IType{64});
    {
        std::vector<kdinstr::modules::Function> functions;
        for (std::uint8_t f = 1; f <= 200; ++f) {
            ib::FunctionBuilder b;
            b.uuid(ib::uuid(f)).param(0, i64).returns(i64);
            std::vector<kdinstr::modules::KdInstr> adds;
            for (std::uint32_t n = 0; n < 1000; ++n)
                adds.push_back(ib::iadd(n + 1, i64, ib::reg(n), ib::imm_int(7)));
            b.block(0, std::move(adds), ib::ret(ib::reg(1000)));
            functions.push_back(b.build());
        }
        chains.module = ib::module_of(std::move(functions));
    }
    for (const auto* storage : {&fixed, &chains}) {
        auto bytes = CompiledModuleStorage::encode(*storage, *i.instance);
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(*bytes, CompiledModuleStorage::compress(*storage, *i.instance).value());
        EXPECT_FALSE(expect_readable_as_needed(i, *storage, *bytes));
    }
    // Proven within its budget by its size alone once, the chains only by reading them.
    EXPECT_GT(body_size(chains) * CompiledModuleStorage::kMostCostPerBodyByte,
              CompiledModuleStorage::decode_budget(
                  CompiledModuleStorage::encode(chains, *i.instance)->size()));
    // As the writer has always written them.
    const Bytes fixed_bytes{
        0x7f, 0x4b, 0x44, 0x4d, 0x4f, 0x44, 0x49, 0x52, 0x3d, 0x30, 0x2e, 0x31, 0x2e, 0x32, 0x00,
        0x28, 0xb5, 0x2f, 0xfd, 0x00, 0x58, 0xe5, 0x02, 0x00, 0x34, 0x03, 0x01, 0x00, 0x00, 0x00,
        0x08, 0x00, 0x00, 0x00, 0x66, 0x69, 0x78, 0x65, 0x64, 0x2e, 0x6b, 0x64, 0x01, 0x00, 0x01,
        0x01, 0x03, 0x00, 0x00, 0x00, 0x69, 0x6e, 0x63, 0x01, 0x10, 0x60, 0x00, 0x00, 0x00, 0x01,
        0x01, 0x10, 0x01, 0x00, 0x01, 0x00, 0x20, 0x01, 0x00, 0x02, 0x01, 0x00, 0x00, 0x20, 0x00,
        0x00, 0x00, 0x12, 0x00, 0x5f, 0x25, 0x80, 0x03, 0x60, 0x00, 0xed, 0x96, 0xe1, 0x69, 0xa1,
        0x9c, 0xc0, 0x0a, 0x48, 0x21, 0x00, 0xe4, 0x50, 0x26, 0xc0, 0x05, 0x34, 0x19, 0x00, 0xd3,
        0xa0, 0xa1, 0x8a, 0x60, 0x20, 0x6b, 0x9b, 0x48, 0x30, 0x83, 0x30,
    };
    EXPECT_EQ(CompiledModuleStorage::encode(fixed, *i.instance).value(), fixed_bytes);
}

// A module whose body is longer than the bound (lowered here from 1 GiB) is refused, with no
// bytes, however well it would compress; one whose body is exactly that long is written.
TEST(ReadableStorage, AModulePastTheBodyBoundIsRefused) {
    LoggedInstance i(LogLevelEXT::Info);
    ASSERT_TRUE(i.instance);
    const auto storage = compiled({kG + function_of("f", "", 1, 1000, "  invoke ptr g\n")});
    const std::size_t body = body_size(storage);
    const std::string refused = kWriteFailed + "compiled module body encodes to more than 1 GiB";
    struct Case {
        std::size_t bound;
        std::string error;
    };
    const std::vector<Case> cases = {{body, ""}, {body + 1, ""}, {body - 1, refused}, {0, refused}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bound);
        i.clear();
        auto bytes = CompiledModuleStorage::encode(storage, *i.instance, c.bound);
        const auto lines = i.take();
        if (c.error.empty()) {
            ASSERT_TRUE(bytes.has_value()) << bytes.error().message();
            EXPECT_FALSE(expect_readable_as_needed(i, storage, *bytes));
            continue;
        }
        ASSERT_FALSE(bytes.has_value());
        const auto* unknown = bytes.error().get_if<KdError::Unknown>();
        ASSERT_NE(unknown, nullptr);
        EXPECT_EQ(unknown->text, c.error);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].message, c.error);
        EXPECT_EQ(lines[0].level, LogLevelEXT::Error);
    }
}

}  // namespace
