#include "kdcore/compiler/compiled_module_storage.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kdcore/compiler/zstd_stream.hpp"
#include "kdcore/tests/test_support.hpp"
#include "kdinstr/tests/ir_builder.hpp"

namespace {

using namespace kdtest;
using kdcore::compiler::CompiledModuleStorage;
using kdcore::compiler::ZstdCompressor;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kReadFailed = "Failed to read compiled module storage header: ";

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes compressed(const Bytes& body) {
    Bytes out;
    ZstdCompressor z(out);
    EXPECT_TRUE(z.write(body).has_value());
    EXPECT_TRUE(z.finish().has_value());
    return out;
}

Bytes header(std::string_view requirement) {
    return concat({bytes_of("\x7fKDMODIR"), bytes_of(requirement), Bytes{0}});
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

void expect_same_content(const CompiledModuleStorage& got, const CompiledModuleStorage& want) {
    EXPECT_EQ(got.source_names, want.source_names);
    ASSERT_EQ(got.module.functions.size(), want.module.functions.size());
    for (const auto& [key, function] : want.module.functions) {
        auto found = got.module.functions.find(key);
        ASSERT_NE(found, got.module.functions.end());
        EXPECT_TRUE(*found->second == *function);
    }
    EXPECT_EQ(got.module.external_functions, want.module.external_functions);
    EXPECT_EQ(got.type_registry.read().types(), want.type_registry.read().types());
}

// An instance whose log lines land in `captured`, with the creation lines already dropped.
struct LoggedInstance {
    std::shared_ptr<Captured> captured = std::make_shared<Captured>();
    std::shared_ptr<InstanceContext> instance;

    LoggedInstance() {
        auto info = make_info({LOGGER});
        info.ext.push_back(capture_to(captured));
        auto created = kdcore::base::api::create_instance(std::move(info));
        if (!created) {
            ADD_FAILURE() << created.error().message();
            return;
        }
        instance = *created;
        clear();
    }

    void clear() {
        std::lock_guard lock(captured->mutex);
        captured->messages.clear();
    }

    std::vector<LogMessageEXT> take() {
        std::lock_guard lock(captured->mutex);
        return std::exchange(captured->messages, {});
    }
};

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
        const Bytes storage = concat({header(c.requirement), compressed(kEmptyBody)});
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
        {"wrong magic", concat({bytes_of("\x7fKDMODIr=0.1.2"), Bytes{0}, body}),
         "Invalid magic bytes in compiled module storage"},
        {"magic bytes rotated", bytes_of("KDMODIR\x7f"),
         "Invalid magic bytes in compiled module storage"},
        {"invalid UTF-8", concat({header("=0.\xff.2"), body}),
         "Invalid UTF-8 in version requirement: invalid utf-8 sequence of 1 bytes from index 3"},
        {"truncated UTF-8", concat({header("=0.1.2\xe2\x82"), body}),
         "Invalid UTF-8 in version requirement: incomplete utf-8 byte sequence from index 6"},
        {"empty requirement", concat({header(""), body}),
         "Invalid version requirement format: unexpected end of input while parsing major "
         "version number"},
        {"unparsable requirement", concat({header("=0.1.2 x"), body}),
         "Invalid version requirement format: expected comma after patch version number, "
         "found 'x'"},
        {"nothing after NUL", header("=0.1.2"), "incomplete frame"},
        {"not zstd", concat({header("=0.1.2"), bytes_of("plain text body")}),
         "Unknown frame descriptor"},
        // A frame of one empty block whose header asks for a 2 GiB window.
        {"window too large",
         concat({header("=0.1.2"), Bytes{0x28, 0xB5, 0x2F, 0xFD, 0x00, 0xA8, 0x01, 0x00, 0x00}}),
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
        return concat({body, Bytes(4 + 4 + 8, 0)});
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
        {"name count beyond the input", concat({Bytes{0xff, 0xff, 0xff, 0xff}, Bytes(16, 0)}),
         "Unexpected length of input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes storage = concat({header("=0.1.2"), compressed(c.body)});
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
        {"garbage", concat({*written, bytes_of("garbage after the frame")})},
        {"a further frame", concat({*written, compressed(bytes_of("more body"))})},
        {"a broken further frame", concat({*written, Bytes{0x28, 0xB5, 0x2F, 0xFD, 0xff}})},
        {"a cut further frame",
         concat({*written, Bytes(body_frame.begin(), body_frame.end() - 1)})},
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
    const Bytes body = concat({Bytes{1, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'}, Bytes(16, 0)});
    for (std::size_t split : {std::size_t{1}, std::size_t{6}, std::size_t{9}, body.size() - 1}) {
        SCOPED_TRACE(split);
        const Bytes storage =
            concat({header("=0.1.2"), compressed(Bytes(body.begin(), body.begin() + split)),
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

    const Bytes bad = concat({header("=0.1.3"), compressed(kEmptyBody)});
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
