#include "kdcore/compiler/zstd_stream.hpp"

#include <gtest/gtest.h>
#include <zstd.h>

#include <cstdint>
#include <string>
#include <utility>
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
std::pair<Bytes, std::string> decompress_all(const Bytes& compressed, std::size_t piece = 777,
                                             std::size_t max_output = SIZE_MAX) {
    SpanSource input(compressed);
    ZstdDecompressor z(input, max_output, "too much output");
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
        {0, 1, 1},
        {1, 1, 1},
        {5000, 7, 1},
        {600 * 1024, 100 * 1024, 64 * 1024},
        {300000, 1, 4096},
        // Writes larger than the compressor's window pass it by, after what it gathered.
        {700 * 1024, 200 * 1024, 4096},
        {300000, 3 * 1024, 4096},
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

TEST(ZstdStream, OutputStopsAtItsLimit) {
    // Everything up to the limit is delivered; a read that needs one byte more fails.
    const Bytes data = sample(300000);
    const Bytes c = compress(data);
    struct Case {
        std::size_t limit;
        std::size_t delivered;
        std::string error;
    };
    const std::vector<Case> cases{
        {data.size() + 1, data.size(), ""},
        {data.size(), data.size(), ""},
        {data.size() - 1, data.size() - 1, "too much output"},
        {1, 1, "too much output"},
        {0, 0, "too much output"},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.limit);
        auto [out, err] = decompress_all(c, 4096, tc.limit);
        EXPECT_EQ(err, tc.error);
        EXPECT_EQ(out,
                  Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(tc.delivered)));
    }
}

TEST(ZstdStream, InputStopsAtItsLimit) {
    // Up to the limit everything is compressed and counted; a byte past it fails the write, or
    // the end of the frame when the window still holds it.
    const Bytes data = sample(300000);
    struct Case {
        std::size_t limit;
        std::size_t chunk;
        std::string error;
    };
    const std::vector<Case> cases{
        {data.size(), 1000, ""},
        {data.size() + 1, data.size(), ""},
        {data.size() - 1, 1000, "too much input"},
        {data.size() - 1, data.size(), "too much input"},
        {0, 1, "too much input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        Bytes out;
        ZstdCompressor z(out, c.limit, "too much input");
        std::string error;
        for (std::size_t i = 0; i < data.size() && error.empty(); i += c.chunk) {
            const auto piece = std::span(data).subspan(i, std::min(c.chunk, data.size() - i));
            if (auto w = z.write(piece); !w) error = w.error().message;
        }
        if (error.empty()) {
            if (auto f = z.finish(); !f) error = f.error().message;
        }
        EXPECT_EQ(error, c.error);
        if (!c.error.empty()) continue;
        EXPECT_EQ(z.consumed(), data.size());
        EXPECT_EQ(decompress_all(out).first, data);
    }
}

TEST(ZstdStream, SkippableFramesYieldNothing) {
    const Bytes a = sample(70000, 1), b = sample(5, 2);
    for (const std::uint32_t content : {0u, 1u, 200000u}) {
        SCOPED_TRACE(content);
        Bytes input = compress(a);
        const std::size_t at = input.size();
        kdcore::compiler::append_skippable_frame(input, content);
        EXPECT_EQ(input.size(), at + kdcore::compiler::kSkippableFrameHeaderSize + content);
        EXPECT_EQ(ZSTD_findFrameCompressedSize(input.data() + at, input.size() - at),
                  input.size() - at);
        const Bytes c = compress(b);
        input.insert(input.end(), c.begin(), c.end());
        Bytes expected = a;
        expected.insert(expected.end(), b.begin(), b.end());
        auto [out, err] = decompress_all(input);
        EXPECT_EQ(err, "");
        EXPECT_EQ(out, expected);
        // And so does the library's own one-shot decoder.
        Bytes whole(expected.size() + 1);
        EXPECT_EQ(ZSTD_decompress(whole.data(), whole.size(), input.data(), input.size()),
                  expected.size());
    }
}

// One frame of `data` whose header asks for a window of 2^window_log bytes (no content size is
// pledged, so the window is not shrunk to fit).
Bytes compress_with_window(const Bytes& data, int window_log) {
    ZSTD_CCtx* ctx = ZSTD_createCCtx();
    EXPECT_FALSE(ZSTD_isError(ZSTD_CCtx_setParameter(ctx, ZSTD_c_windowLog, window_log)));
    Bytes out(ZSTD_compressBound(data.size()) + 64);
    ZSTD_outBuffer o{out.data(), out.size(), 0};
    ZSTD_inBuffer i{data.data(), data.size(), 0};
    EXPECT_FALSE(ZSTD_isError(ZSTD_compressStream2(ctx, &o, &i, ZSTD_e_continue)));
    std::size_t left = 0;
    do {
        left = ZSTD_compressStream2(ctx, &o, &i, ZSTD_e_end);
        EXPECT_FALSE(ZSTD_isError(left));
    } while (left != 0 && !ZSTD_isError(left));
    ZSTD_freeCCtx(ctx);
    out.resize(o.pos);
    return out;
}

TEST(ZstdStream, WindowSizeIsBounded) {
    // The window a frame asks for is allocated before any output: a tiny frame must not make the
    // reader allocate hundreds of megabytes.
    const Bytes data = sample(5000);
    for (int log = 10; log <= 27; ++log) {
        SCOPED_TRACE(log);
        const Bytes c = compress_with_window(data, log);
        auto [out, err] = decompress_all(c);
        if (log <= ZstdDecompressor::kWindowLogMax) {
            EXPECT_EQ(err, "");
            EXPECT_EQ(out, data);
        } else {
            EXPECT_EQ(err, "Frame requires too much memory for decoding");
            EXPECT_TRUE(out.empty());
        }
    }
    // What the compressor above writes stays within the bound, whatever the input size.
    const Bytes big = sample(9 * 1024 * 1024);
    const Bytes c = compress(big, 1 << 20);
    // Frame header descriptor, then (no single segment) the window descriptor: exponent and
    // mantissa of the window size.
    ASSERT_GE(c.size(), 6u);
    ASSERT_EQ(c[4] & 0x20, 0);
    const int exponent = c[5] >> 3, mantissa = c[5] & 7;
    const std::uint64_t base = std::uint64_t{1} << (10 + exponent);
    EXPECT_LE(base + base / 8 * mantissa, std::uint64_t{1} << ZstdDecompressor::kWindowLogMax);
    EXPECT_EQ(decompress_all(c, 1 << 16), std::make_pair(big, std::string()));
}

TEST(ZstdStream, ErrorsComeAfterTheBytesBeforeThem) {
    // Output decoded before a fault is still read; the fault is reported when a read needs more.
    const Bytes data = sample(400000);
    const Bytes c = compress(data);
    const Bytes cut(c.begin(), c.end() - 1);
    for (std::size_t piece : {std::size_t{1} << 10, std::size_t{1} << 20}) {
        auto [out, err] = decompress_all(cut, piece);
        EXPECT_EQ(err, "incomplete frame");
        EXPECT_GT(out.size(), 0u);
        EXPECT_EQ(out, Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(out.size())));
    }
}

}  // namespace
