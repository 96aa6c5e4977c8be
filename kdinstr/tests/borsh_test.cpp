#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kdinstr/encoding/bigint_bytes.hpp"
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/encoding/utf8_check.hpp"

namespace {

using namespace kdinstr::encoding;
using Bytes = std::vector<std::uint8_t>;

template <typename F>
Bytes encode(F&& f) {
    Bytes out;
    VectorSink sink(out);
    BorshWriter w(sink);
    auto r = f(w);
    EXPECT_TRUE(r.has_value());
    return out;
}

// Hands out one byte per call, so every multi-byte read has to loop.
class TrickleSource final : public ByteSource {
  public:
    explicit TrickleSource(Bytes data) : data_(std::move(data)) {}
    IoResult<std::size_t> read(std::span<std::uint8_t> buffer) override {
        if (buffer.empty() || pos_ == data_.size()) return 0;
        buffer[0] = data_[pos_++];
        return 1;
    }

  private:
    Bytes data_;
    std::size_t pos_ = 0;
};

class FailingSource final : public ByteSource {
  public:
    IoResult<std::size_t> read(std::span<std::uint8_t>) override {
        return std::unexpected(IoError{"source broke"});
    }
};

class FailingSink final : public ByteSink {
  public:
    IoResult<void> write(std::span<const std::uint8_t>) override {
        return std::unexpected(IoError{"sink full"});
    }
};

TEST(BorshWriter, IntegersAreLittleEndian) {
    EXPECT_EQ(encode([](BorshWriter& w) { return w.write_u8(0xAB); }), (Bytes{0xAB}));
    EXPECT_EQ(encode([](BorshWriter& w) { return w.write_u16(0x1234); }), (Bytes{0x34, 0x12}));
    EXPECT_EQ(encode([](BorshWriter& w) { return w.write_u32(0x01020304); }), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(encode([](BorshWriter& w) { return w.write_u64(0x0102030405060708ull); }),
              (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(encode([](BorshWriter& w) { return w.write_i64(-2); }),
              (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    unsigned __int128 big = (static_cast<unsigned __int128>(0x1122334455667788ull) << 64) | 0x99;
    Bytes expected{0x99, 0, 0, 0, 0, 0, 0, 0, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(encode([&](BorshWriter& w) { return w.write_u128(big); }), expected);
}

TEST(BorshWriter, CompositesAndOptionals) {
    auto bytes = encode([](BorshWriter& w) -> IoResult<void> {
        if (auto r = w.write_bool(true); !r) return r;
        if (auto r = w.write_string("hé"); !r) return r;
        std::optional<std::uint16_t> none, some = 7;
        auto u16 = [](BorshWriter& w, std::uint16_t v) { return w.write_u16(v); };
        if (auto r = w.write_option(none, u16); !r) return r;
        if (auto r = w.write_option(some, u16); !r) return r;
        std::vector<std::uint32_t> list{1, 2};
        return w.write_seq(list, [](BorshWriter& w, std::uint32_t v) { return w.write_u32(v); });
    });
    EXPECT_EQ(bytes, (Bytes{1, 3, 0, 0, 0, 'h', 0xC3, 0xA9, 0, 1, 7, 0,
                            2, 0, 0, 0, 1, 0,   0,    0,    2, 0, 0, 0}));
}

TEST(BorshWriter, CountBeyondU32IsInvalidData) {
    Bytes out;
    VectorSink sink(out);
    BorshWriter w(sink);
    auto r = w.write_len(std::size_t{1} << 32);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().message, "invalid data");
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(w.write_len(0xFFFFFFFFu).has_value());
}

TEST(BorshWriter, SinkErrorIsPassedOn) {
    FailingSink sink;
    BorshWriter w(sink);
    auto r = w.write_string("x");
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().message, "sink full");
}

TEST(BorshReader, RoundTripThroughOneByteReads) {
    auto bytes = encode([](BorshWriter& w) -> IoResult<void> {
        if (auto r = w.write_u16(0xBEEF); !r) return r;
        if (auto r = w.write_u32(0xDEADBEEF); !r) return r;
        if (auto r = w.write_u64(~0ull); !r) return r;
        if (auto r = w.write_i64(INT64_MIN); !r) return r;
        if (auto r = w.write_u128(~static_cast<unsigned __int128>(0) - 5); !r) return r;
        if (auto r = w.write_bool(false); !r) return r;
        if (auto r = w.write_string("text"); !r) return r;
        return w.write_bigint(mpz_class("-123456789012345678901234567890"));
    });
    TrickleSource source(bytes);
    BorshReader r(source);
    EXPECT_EQ(r.read_u16().value(), 0xBEEF);
    EXPECT_EQ(r.read_u32().value(), 0xDEADBEEFu);
    EXPECT_EQ(r.read_u64().value(), ~0ull);
    EXPECT_EQ(r.read_i64().value(), INT64_MIN);
    EXPECT_TRUE(r.read_u128().value() == ~static_cast<unsigned __int128>(0) - 5);
    EXPECT_EQ(r.read_bool().value(), false);
    EXPECT_EQ(r.read_string().value(), "text");
    EXPECT_EQ(r.read_bigint().value(), mpz_class("-123456789012345678901234567890"));
    EXPECT_EQ(r.read_u8().error().message, "Unexpected length of input");
}

TEST(BorshReader, ReadsExactlyItsValue) {
    Bytes bytes{2, 0, 0, 0, 'o', 'k', 0x55};
    SpanSource source(bytes);
    BorshReader r(source);
    EXPECT_EQ(r.read_string().value(), "ok");
    EXPECT_EQ(source.position(), 6u);
}

TEST(BorshReader, MalformedInputMessages) {
    struct Case {
        const char* what;
        Bytes input;
        std::function<std::optional<std::string>(BorshReader&)> read;
        std::string message;
    };
    auto err = [](auto result) -> std::optional<std::string> {
        if (result) return std::nullopt;
        return result.error().message;
    };
    std::vector<Case> cases{
        {"empty u8",
         {},
         [&](BorshReader& r) { return err(r.read_u8()); },
         "Unexpected length of input"},
        {"cut u32",
         {1, 2, 3},
         [&](BorshReader& r) { return err(r.read_u32()); },
         "Unexpected length of input"},
        {"cut 16 bytes", Bytes(15, 0), [&](BorshReader& r) { return err(r.read_array<16>()); },
         "Unexpected length of input"},
        {"bool 2",
         {2},
         [&](BorshReader& r) { return err(r.read_bool()); },
         "Invalid bool representation: 2"},
        {"option 2",
         {2},
         [&](BorshReader& r) { return err(r.read_option_tag()); },
         "Invalid Option representation: 2. The first byte must be 0 or 1"},
        {"option 255",
         {255},
         [&](BorshReader& r) { return err(r.read_option_tag()); },
         "Invalid Option representation: 255. The first byte must be 0 or 1"},
        {"tag 3 of 0..2",
         {3},
         [&](BorshReader& r) { return err(r.read_tag(2)); },
         "Unexpected variant tag: 3"},
        {"text cut",
         {5, 0, 0, 0, 'a', 'b'},
         [&](BorshReader& r) { return err(r.read_string()); },
         "Unexpected length of input"},
        {"text bad byte",
         {3, 0, 0, 0, 'a', 0xFF, 'b'},
         [&](BorshReader& r) { return err(r.read_string()); },
         "invalid utf-8 sequence of 1 bytes from index 1"},
        {"text cut sequence",
         {3, 0, 0, 0, 'a', 0xE2, 0x82},
         [&](BorshReader& r) { return err(r.read_string()); },
         "incomplete utf-8 byte sequence from index 1"},
        {"bigint cut",
         {2, 0, 0, 0, 1},
         [&](BorshReader& r) { return err(r.read_bigint()); },
         "Unexpected length of input"},
        {"option value cut",
         {1, 9},
         [&](BorshReader& r) {
             return err(r.read_option<std::uint16_t>([](BorshReader& r) { return r.read_u16(); }));
         },
         "Unexpected length of input"},
        {"list element bad",
         {2, 0, 0, 0, 1, 7},
         [&](BorshReader& r) {
             return err(r.read_seq<bool>([](BorshReader& r) { return r.read_bool(); }));
         },
         "Invalid bool representation: 7"},
    };
    for (const auto& c : cases) {
        SpanSource source(c.input);
        BorshReader r(source);
        EXPECT_EQ(c.read(r), std::optional<std::string>(c.message)) << c.what;
    }
    std::uint8_t tag_max[] = {2};
    SpanSource ok(tag_max);
    BorshReader r(ok);
    EXPECT_EQ(r.read_tag(2).value(), 2);
}

TEST(BorshReader, SourceErrorIsPassedOn) {
    FailingSource source;
    BorshReader r(source);
    EXPECT_EQ(r.read_u32().error().message, "source broke");
    EXPECT_EQ(r.read_string().error().message, "source broke");
}

TEST(BorshReader, FalseCountsReserveLittle) {
    // Four billion claimed elements, two present: fails at the end of input without reserving
    // more than the cap.
    Bytes input{0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 2, 0, 0, 0};
    SpanSource source(input);
    BorshReader r(source);
    auto list = r.read_seq<std::uint32_t>([](BorshReader& r) { return r.read_u32(); });
    EXPECT_EQ(list.error().message, "Unexpected length of input");
    EXPECT_EQ(BorshReader::cautious_capacity<std::uint32_t>(0xFFFFFFFFu), 1024u);
    using Uuid16 = std::array<std::uint8_t, 16>;
    EXPECT_EQ(BorshReader::cautious_capacity<Uuid16>(1u << 20), 256u);
    EXPECT_EQ(BorshReader::cautious_capacity<std::uint64_t>(3), 3u);

    Bytes text{0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'};
    SpanSource text_source(text);
    BorshReader tr(text_source);
    EXPECT_EQ(tr.read_bytes().error().message, "Unexpected length of input");
}

TEST(BorshReader, LongByteStringGrowsPastInitialReserve) {
    const std::size_t n = BorshReader::kMaxBytesReserve * 2 + 3;
    Bytes input(4 + n);
    input[0] = static_cast<std::uint8_t>(n);
    input[1] = static_cast<std::uint8_t>(n >> 8);
    input[2] = static_cast<std::uint8_t>(n >> 16);
    for (std::size_t i = 0; i < n; ++i) input[4 + i] = static_cast<std::uint8_t>(i * 7);
    SpanSource source(input);
    BorshReader r(source);
    auto bytes = r.read_bytes();
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, Bytes(input.begin() + 4, input.end()));
}

TEST(BigInt, EncodesMinimalTwosComplement) {
    struct Case {
        const char* value;
        Bytes encoded;
    };
    std::vector<Case> cases{
        {"0", {1, 0, 0, 0, 0x00}},
        {"1", {1, 0, 0, 0, 0x01}},
        {"127", {1, 0, 0, 0, 0x7F}},
        {"128", {2, 0, 0, 0, 0x80, 0x00}},
        {"255", {2, 0, 0, 0, 0xFF, 0x00}},
        {"256", {2, 0, 0, 0, 0x00, 0x01}},
        {"-1", {1, 0, 0, 0, 0xFF}},
        {"-128", {1, 0, 0, 0, 0x80}},
        {"-129", {2, 0, 0, 0, 0x7F, 0xFF}},
        {"-256", {2, 0, 0, 0, 0x00, 0xFF}},
        {"-32768", {2, 0, 0, 0, 0x00, 0x80}},
        {"-32769", {3, 0, 0, 0, 0xFF, 0x7F, 0xFF}},
        {"-384", {2, 0, 0, 0, 0x80, 0xFE}},
        {"18446744073709551616", {9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01}},
    };
    for (const auto& c : cases) {
        const mpz_class value(c.value);
        EXPECT_EQ(encode([&](BorshWriter& w) { return w.write_bigint(value); }), c.encoded)
            << c.value;
        SpanSource source(c.encoded);
        BorshReader r(source);
        EXPECT_EQ(r.read_bigint().value(), value) << c.value;
    }
}

TEST(BigInt, DecodesNonMinimalForms) {
    struct Case {
        Bytes encoded;
        const char* value;
    };
    std::vector<Case> cases{
        {{0, 0, 0, 0}, "0"},
        {{2, 0, 0, 0, 0x05, 0x00}, "5"},
        {{3, 0, 0, 0, 0xFF, 0xFF, 0xFF}, "-1"},
        {{2, 0, 0, 0, 0x00, 0x00}, "0"},
    };
    for (const auto& c : cases) {
        SpanSource source(c.encoded);
        BorshReader r(source);
        EXPECT_EQ(r.read_bigint().value(), mpz_class(c.value)) << c.value;
    }
}

TEST(Utf8Check, ReportsFirstFaultLikeTheStandardCheck) {
    struct Case {
        Bytes input;
        std::optional<std::string> message;
    };
    std::vector<Case> cases{
        {{'a', 'b'}, std::nullopt},
        {{0xF0, 0x9F, 0x98, 0x80}, std::nullopt},
        {{0xED, 0x9F, 0xBF}, std::nullopt},
        {{0x80}, "invalid utf-8 sequence of 1 bytes from index 0"},
        {{0xC0, 0x80}, "invalid utf-8 sequence of 1 bytes from index 0"},
        {{0xF5, 0x80}, "invalid utf-8 sequence of 1 bytes from index 0"},
        {{'x', 0xE0, 0x80, 0x80}, "invalid utf-8 sequence of 1 bytes from index 1"},
        {{0xED, 0xA0, 0x80}, "invalid utf-8 sequence of 1 bytes from index 0"},
        {{0xE2, 0x82, 'a'}, "invalid utf-8 sequence of 2 bytes from index 0"},
        {{0xF0, 0x9F, 0x98, 'a'}, "invalid utf-8 sequence of 3 bytes from index 0"},
        {{0xF4, 0x90, 0x80, 0x80}, "invalid utf-8 sequence of 1 bytes from index 0"},
        {{'a', 'b', 0xF0, 0x9F}, "incomplete utf-8 byte sequence from index 2"},
        {{0xC3}, "incomplete utf-8 byte sequence from index 0"},
    };
    for (const auto& c : cases) {
        auto err = check_utf8(std::span<const std::uint8_t>(c.input));
        std::optional<std::string> text;
        if (err) text = err->to_string();
        EXPECT_EQ(text, c.message);
    }
}

}  // namespace
