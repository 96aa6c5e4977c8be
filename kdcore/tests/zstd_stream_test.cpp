#include "kdcore/compiler/zstd_stream.hpp"

#include <gtest/gtest.h>
#include <zstd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"

namespace {

using kdcore::compiler::ZstdCompressor;
using kdcore::compiler::ZstdDecompressor;
using kdinstr::encoding::BorshReader;
using kdinstr::encoding::BorshWriter;
using kdinstr::encoding::IoResult;
using kdinstr::encoding::SpanSource;
using Bytes = std::vector<std::uint8_t>;

// Varied but compressible, large enough for several zstd blocks and output buffers.
Bytes sample(std::size_t n, std::uint32_t seed = 1) {
    Bytes out(n);
    std::uint32_t x = seed;
    for (std::size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<std::uint8_t>((x >> 24) % 16 + 'a');
    }
    return out;
}

Bytes compress(const Bytes& data, std::size_t chunk = 1000) {
    Bytes out;
    ZstdCompressor z(out);
    for (std::size_t i = 0; i < data.size(); i += chunk) {
        const std::size_t n = std::min(chunk, data.size() - i);
        EXPECT_TRUE(z.write(std::span(data).subspan(i, n)).has_value());
    }
    EXPECT_TRUE(z.finish().has_value());
    return out;
}

// Everything the decompressor yields, read in pieces of `piece` bytes, or the error text.
std::pair<Bytes, std::string> decompress_all(const Bytes& compressed, std::size_t piece = 777) {
    SpanSource input(compressed);
    ZstdDecompressor z(input);
    Bytes out;
    Bytes buf(piece);
    for (;;) {
        auto n = z.read(buf);
        if (!n) return {out, n.error().message};
        if (*n == 0) return {out, ""};
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(*n));
    }
}

TEST(ZstdStream, FrameHeaderAndSettings) {
    const Bytes data = sample(1000);
    const Bytes c = compress(data);
    ASSERT_GE(c.size(), 4u);
    EXPECT_EQ(Bytes(c.begin(), c.begin() + 4), (Bytes{0x28, 0xB5, 0x2F, 0xFD}));
    EXPECT_EQ(ZSTD_getFrameContentSize(c.data(), c.size()), ZSTD_CONTENTSIZE_UNKNOWN);
    EXPECT_EQ(ZSTD_getDictID_fromFrame(c.data(), c.size()), 0u);
    // Frame header descriptor: bit 2 is the checksum flag.
    EXPECT_EQ(c[4] & 0x04, 0);
    EXPECT_EQ(ZSTD_findFrameCompressedSize(c.data(), c.size()), c.size());
}

TEST(ZstdStream, RoundTrips) {
    struct Case {
        std::size_t size;
        std::size_t write_chunk;
        std::size_t read_piece;
    };
    const std::vector<Case> cases{
        {0, 1, 1}, {1, 1, 1}, {5000, 7, 1}, {600 * 1024, 100 * 1024, 64 * 1024}, {300000, 1, 4096},
    };
    for (const auto& c : cases) {
        const Bytes data = sample(c.size);
        auto [out, err] = decompress_all(compress(data, c.write_chunk), c.read_piece);
        EXPECT_EQ(err, "") << c.size;
        EXPECT_EQ(out, data) << c.size;
    }
}

TEST(ZstdStream, ConcatenatedFramesContinueTheOutput) {
    const Bytes a = sample(70000, 1), b = sample(3, 2), empty;
    Bytes input = compress(a);
    for (const Bytes* part : {&empty, &b}) {
        const Bytes c = compress(*part);
        input.insert(input.end(), c.begin(), c.end());
    }
    auto [out, err] = decompress_all(input);
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(err, "");
    EXPECT_EQ(out, expected);
}

TEST(ZstdStream, TruncatedOrBrokenInput) {
    const Bytes data = sample(5000);
    const Bytes c = compress(data);
    Bytes garbage_after = c;
    garbage_after.insert(garbage_after.end(), {1, 2, 3, 4, 5, 6, 7, 8});
    Bytes corrupted = c;
    corrupted[0] = 0x00;
    struct Case {
        const char* what;
        Bytes input;
        std::string error;
    };
    const std::vector<Case> cases{
        {"empty input", {}, "incomplete frame"},
        {"cut in header", Bytes(c.begin(), c.begin() + 3), "incomplete frame"},
        {"cut in body", Bytes(c.begin(), c.end() - 1), "incomplete frame"},
        {"bad magic", corrupted, "Unknown frame descriptor"},
        {"garbage after frame, read to the end", garbage_after, "Unknown frame descriptor"},
    };
    for (const auto& tc : cases) {
        EXPECT_EQ(decompress_all(tc.input).second, tc.error) << tc.what;
    }
}

TEST(ZstdStream, TrailingBytesAreNotReadUnlessNeeded) {
    // A reader that takes exactly the frame's content never looks at what follows it.
    const Bytes data = sample(9000);
    Bytes input = compress(data);
    input.insert(input.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    SpanSource source(input);
    ZstdDecompressor z(source);
    BorshReader r(z);
    Bytes out(data.size());
    ASSERT_TRUE(r.read_exact(out).has_value());
    EXPECT_EQ(out, data);
}

TEST(ZstdStream, BorshOverCompressionEndsWithUnexpectedLength) {
    Bytes compressed;
    {
        ZstdCompressor z(compressed);
        BorshWriter w(z);
        ASSERT_TRUE(w.write_string("name.kd").has_value());
        ASSERT_TRUE(w.write_u64(42).has_value());
        ASSERT_TRUE(z.finish().has_value());
    }
    SpanSource source(compressed);
    ZstdDecompressor z(source);
    BorshReader r(z);
    EXPECT_EQ(r.read_string().value(), "name.kd");
    EXPECT_EQ(r.read_u64().value(), 42u);
    EXPECT_EQ(r.read_u8().error().message, "Unexpected length of input");
}

}  // namespace
