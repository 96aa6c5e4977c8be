#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kdinstr/tests/codec_test_support.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdinstr::tests::codec {
namespace {

using ir::CallingConvention;

ir::Module sample_module() {
    auto rich = FunctionBuilder()
                    .uuid(uuid(2))
                    .name("main")
                    .param(0, ty(1))
                    .returns(ty(2))
                    .wildcards({1})
                    .meta()
                    .block(0, every_instruction(), branch(reg(0), 1, 2))
                    .block(1, {}, jump(2))
                    .block(2, {}, ret(imm_big("-129", 8)));
    rich.function().visibility = ir::Visibility::Protected;
    rich.function().calling_convention = CallingConvention::Tag::FastC;
    rich.function().reserved_id = std::array<std::uint8_t, 16>{9, 9, 9};
    ir::Function plain = ir::Function::make_default();
    plain.uuid = uuid(1);
    ir::ExternalFunction ext = external(uuid(3), "ext", {ty(1)}, ty(1));
    ext.calling_convention = CallingConvention::numbered(3);
    return module_of({rich.build(), plain}, {ext, external(uuid(4), "void_ext")});
}

void expect_same_module(const ir::Module& a, const ir::Module& b) {
    ASSERT_EQ(a.functions.size(), b.functions.size());
    for (auto ia = a.functions.begin(), ib = b.functions.begin(); ia != a.functions.end();
         ++ia, ++ib) {
        EXPECT_EQ(ia->first, ib->first);
        EXPECT_EQ(*ia->second, *ib->second);
    }
    EXPECT_EQ(a.external_functions, b.external_functions);
}

// Hands out one byte per call, as a decompressor may.
class TrickleSource final : public encoding::ByteSource {
  public:
    explicit TrickleSource(const Bytes& data) : data_(data) {}
    IoResult<std::size_t> read(std::span<std::uint8_t> buffer) override {
        if (buffer.empty() || pos_ == data_.size()) return 0;
        buffer[0] = data_[pos_++];
        return 1;
    }

  private:
    const Bytes& data_;
    std::size_t pos_ = 0;
};

// Takes `capacity` bytes, then fails.
class LimitedSink final : public encoding::ByteSink {
  public:
    explicit LimitedSink(std::size_t capacity) : capacity_(capacity) {}
    IoResult<void> write(std::span<const std::uint8_t> bytes) override {
        if (bytes.size() > capacity_) return std::unexpected(IoError{"sink full"});
        capacity_ -= bytes.size();
        return {};
    }

  private:
    std::size_t capacity_;
};

TEST(ModuleCodec, RoundTripKeepsEveryFunction) {
    const ir::Module m = sample_module();
    const Bytes bytes = to_bytes(m);
    // Functions in ascending uuid order, each after its key.
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 36),
              cat({{2, 0, 0, 0}, bytes_of(uuid(1)), bytes_of(uuid(1))}));

    auto decoded = from_bytes(bytes, encoding::decode_module);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    expect_same_module(*decoded, m);
    EXPECT_EQ(to_bytes(*decoded), bytes);

    TrickleSource trickle(bytes);
    BorshReader r(trickle);
    auto slow = encoding::decode_module(r);
    ASSERT_TRUE(slow.has_value()) << slow.error().message;
    expect_same_module(*slow, m);
}

TEST(ModuleCodec, DecodedFunctionsAreHeldByTheModuleAlone) {
    auto decoded = from_bytes(to_bytes(sample_module()), encoding::decode_module);
    ASSERT_TRUE(decoded.has_value());
    for (const auto& [key, function] : decoded->functions) EXPECT_EQ(function.use_count(), 1);
    decoded->remap_types({{ty(1), ty(50)}});
    EXPECT_EQ(decoded->functions.at(uuid(2))->parameters.front().second, ty(50));
}

TEST(ModuleCodec, RepeatedKeyKeepsTheLaterEntry) {
    ir::Function first = ir::Function::make_default();
    first.name = "first";
    ir::Function second = ir::Function::make_default();
    second.name = "second";
    const ir::ExternalFunction e1 = external(uuid(5), "one");
    const ir::ExternalFunction e2 = external(uuid(6), "two");
    const Bytes bytes = cat({
        {2, 0, 0, 0},
        bytes_of(uuid(7)), to_bytes(first),
        bytes_of(uuid(7)), to_bytes(second),
        {2, 0, 0, 0},
        bytes_of(uuid(8)), to_bytes(e1),
        bytes_of(uuid(8)), to_bytes(e2),
    });
    auto decoded = from_bytes(bytes, encoding::decode_module);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    ASSERT_EQ(decoded->functions.size(), 1u);
    // The key is not compared with the function's own uuid.
    EXPECT_EQ(*decoded->functions.at(uuid(7)), second);
    ASSERT_EQ(decoded->external_functions.size(), 1u);
    EXPECT_EQ(decoded->external_functions.at(uuid(8)), e2);
}

TEST(ModuleCodec, InputCutAnywhereIsUnexpectedLength) {
    const Bytes bytes = to_bytes(sample_module());
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
        ASSERT_EQ(decode_error(cut, encoding::decode_module), "Unexpected length of input")
            << "cut at " << n;
    }
    types::TypeRegistry registry;
    const auto i8 = registry.search_or_insert(types::primary::IType{8});
    registry.search_or_insert(types::aggregate::StructType{{i8, i8}, true});
    registry.search_or_insert(types::primary::PrimaryType::vector(
        types::primary::ExtType{uuid(1), {1, 2}}, types::primary::VcSize::scalable(2)));
    const Bytes reg_bytes = to_bytes(registry);
    for (std::size_t n = 0; n < reg_bytes.size(); ++n) {
        const Bytes cut(reg_bytes.begin(), reg_bytes.begin() + static_cast<long>(n));
        ASSERT_EQ(decode_error(cut, encoding::decode_type_registry), "Unexpected length of input")
            << "cut at " << n;
    }
}

TEST(ModuleCodec, SinkFailureIsPassedOnAtEveryOffset) {
    const ir::Module m = sample_module();
    const std::size_t size = to_bytes(m).size();
    for (std::size_t capacity = 0; capacity < size; ++capacity) {
        LimitedSink sink(capacity);
        BorshWriter w(sink);
        auto r = encoding::encode(w, m);
        ASSERT_FALSE(r.has_value()) << capacity;
        ASSERT_EQ(r.error().message, "sink full");
    }
    LimitedSink exact(size);
    BorshWriter w(exact);
    EXPECT_TRUE(encoding::encode(w, m).has_value());
}

TEST(ModuleCodec, FalseCountsCostNoMemory) {
    const Bytes all_ones{255, 255, 255, 255};
    const Bytes one_function = cat({bytes_of(uuid(1)), to_bytes(ir::Function::make_default())});
    // A function header up to its block map, and a block header up to its instructions.
    const Bytes fn_head = cat({bytes_of(uuid(1)), {0}, {0, 0, 0, 0}, {0}});
    const Bytes block_head = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes assert_reg = {31, 0, 1, 0, 0, 0};
    const Bytes dest_ty = cat({{3, 0, 0, 0}, bytes_of(ty(1))});
    struct Case {
        std::string what;
        Bytes module_bytes;
        std::size_t limit;
    };
    const std::vector<Case> cases{
        {"functions", cat({all_ones, one_function, one_function}), 64 * 1024},
        {"externals", cat({{0, 0, 0, 0}, all_ones, bytes_of(uuid(1))}), 64 * 1024},
        {"parameters", cat({{1, 0, 0, 0}, bytes_of(uuid(1)), bytes_of(uuid(1)), {0}, all_ones,
                            {0, 0, 0, 0}, bytes_of(ty(1))}),
         64 * 1024},
        {"blocks", cat({{1, 0, 0, 0}, bytes_of(uuid(1)), fn_head, all_ones}), 64 * 1024},
        {"instructions", cat({{1, 0, 0, 0}, bytes_of(uuid(1)), fn_head, block_head,
                              {255, 255, 255, 0}, assert_reg, assert_reg, assert_reg}),
         64 * 1024},
        {"phi pairs", cat({{1, 0, 0, 0}, bytes_of(uuid(1)), fn_head, block_head, {1, 0, 0, 0},
                           {26}, dest_ty, {255, 255, 255, 0}, {0, 1, 0, 0, 0, 2, 0, 0, 0}}),
         64 * 1024},
        {"indices", cat({{1, 0, 0, 0}, bytes_of(uuid(1)), fn_head, block_head, {1, 0, 0, 0},
                         {30}, dest_ty, {0, 1, 0, 0, 0}, all_ones, {1, 0, 0, 0}}),
         64 * 1024},
        {"wildcards", cat({{1, 0, 0, 0}, bytes_of(uuid(1)), fn_head, {0, 0, 0, 0}, {0, 0},
                           all_ones, {1, 0}}),
         64 * 1024},
        // A text starts from at most 1 MiB and grows only as bytes arrive.
        {"name", cat({{1, 0, 0, 0}, bytes_of(uuid(1)), bytes_of(uuid(1)), {1}, all_ones, {'a'}}),
         encoding::BorshReader::kMaxBytesReserve + 64 * 1024},
    };
    for (const auto& c : cases) {
        HeapWatchingSource source(c.module_bytes);
        const std::size_t baseline = source.peak();
        BorshReader r(source);
        auto decoded = encoding::decode_module(r);
        ASSERT_FALSE(decoded.has_value()) << c.what;
        EXPECT_EQ(decoded.error().message, "Unexpected length of input") << c.what;
        EXPECT_LT(source.peak() - baseline, c.limit) << c.what;
    }

    const Bytes registry_bytes = cat({{255, 255, 255, 255, 255, 255, 255, 255}, bytes_of(ty(1)),
                                      {2}, all_ones, bytes_of(ty(2))});
    HeapWatchingSource source(registry_bytes);
    const std::size_t baseline = source.peak();
    BorshReader r(source);
    auto registry = encoding::decode_type_registry(r);
    ASSERT_FALSE(registry.has_value());
    EXPECT_EQ(registry.error().message, "Unexpected length of input");
    EXPECT_LT(source.peak() - baseline, 64u * 1024);
}

}  // namespace
}  // namespace kdinstr::tests::codec
