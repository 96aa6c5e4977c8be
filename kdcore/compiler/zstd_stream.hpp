#pragma once
// zstd compression as a byte sink and decompression as a byte source, so the body of compiled
// module storage is encoded into the compressor and decoded out of the decompressor without
// ever being held uncompressed in one piece.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/encoding/decode_budget.hpp"

struct ZSTD_CCtx_s;
struct ZSTD_DCtx_s;

namespace kdcore::compiler {

using kdinstr::encoding::ByteSink;
using kdinstr::encoding::ByteSource;
using kdinstr::encoding::IoError;
using kdinstr::encoding::IoResult;

// Compresses everything written into one frame appended to `out`: level 3, no dictionary, no
// checksum, no pledged size. Input past `max_input` bytes fails with `too_large` as its text, so
// a frame that no reader would take is not compressed to its end. Failure to create the
// compressor is a panic.
class ZstdCompressor final : public kdinstr::encoding::BufferedSink {
  public:
    static constexpr int kLevel = 3;
    static constexpr std::size_t kOutputBufferSize = 32 * 1024;

    explicit ZstdCompressor(std::vector<std::uint8_t>& out, std::size_t max_input = SIZE_MAX,
                            const char* too_large = "");
    ~ZstdCompressor() override;
    ZstdCompressor(const ZstdCompressor&) = delete;
    ZstdCompressor& operator=(const ZstdCompressor&) = delete;

    // Ends the frame; nothing may be written afterwards. Errors (here and of writes) carry the
    // zstd library's error name.
    IoResult<void> finish();
    // The bytes compressed so far; once finished, the frame's content size.
    std::size_t consumed() const { return consumed_; }

  private:
    // Writes come a few bytes at a time; they are gathered into a window of this size before
    // the library sees them (one call per value cost more than the compression itself). The
    // frame is the same however its input arrives.
    static constexpr std::size_t kInputBufferSize = 128 * 1024;

    IoResult<void> overflow(std::span<const std::uint8_t> bytes) override;
    IoResult<void> append_output(std::size_t produced);
    IoResult<void> compress(std::span<const std::uint8_t> bytes);
    // The bytes gathered in the window so far.
    std::span<const std::uint8_t> gathered() const {
        return {input_.data(), static_cast<std::size_t>(window_pos() - input_.data())};
    }

    ZSTD_CCtx_s* ctx_;
    std::vector<std::uint8_t>& out_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> input_;
    std::size_t consumed_ = 0;
    std::size_t max_input_;
    const char* too_large_;
    bool finished_ = false;
};

// A skippable zstd frame of `content` zero bytes appended to `out`: every zstd decoder passes
// over it and produces nothing, so it makes data longer without changing what it decompresses to.
inline constexpr std::size_t kSkippableFrameHeaderSize = 8;
void append_skippable_frame(std::vector<std::uint8_t>& out, std::uint32_t content);

// Decompresses zstd data read from `input` (through a buffer of the size zstd recommends for
// stream input) into a window that readers take values from in place. Frames that follow one
// another continue the same output; input that ends inside a frame fails with "incomplete
// frame"; zstd errors carry the library's error name. A refill stops at the end of each frame,
// so a further frame (and whatever input follows) is decoded only when the reader needs it; an
// error met while filling the window is reported once the bytes before it are consumed.
// Failure to create the decompressor is a panic.
//
// Hostile input stays bounded: a frame may not ask for a window above 2^kWindowLogMax bytes
// (the library's own error), and the output stops at `max_output` bytes: a read that needs a
// byte the input holds past them fails with `too_large` as its text. With a decode budget, every
// byte put into the window is charged to it first, and a refill past it fails with its text.
class ZstdDecompressor final : public kdinstr::encoding::BufferedSource {
  public:
    static constexpr const char* kIncompleteFrame = "incomplete frame";
    // Level-3 frames of the compressor above use windows of at most 2 MiB.
    static constexpr int kWindowLogMax = 22;

    explicit ZstdDecompressor(ByteSource& input, std::size_t max_output = SIZE_MAX,
                              const char* too_large = "",
                              kdinstr::encoding::DecodeBudget* budget = nullptr);
    ~ZstdDecompressor() override;
    ZstdDecompressor(const ZstdDecompressor&) = delete;
    ZstdDecompressor& operator=(const ZstdDecompressor&) = delete;

    IoResult<bool> refill() override;
    // The bytes decompressed so far.
    std::size_t produced() const { return produced_; }

  private:
    // Decompresses into `buffer` until it is full, a frame ends with some output, or the input
    // ends or fails (recorded in `error_`); returns the bytes written.
    std::size_t decompress_into(std::span<std::uint8_t> buffer);

    ZSTD_DCtx_s* ctx_;
    ByteSource& input_;
    std::vector<std::uint8_t> in_buffer_;
    std::size_t in_pos_ = 0;
    std::size_t in_size_ = 0;
    bool input_ended_ = false;
    // The last frame was decoded completely and no byte of a further one has been fed since.
    bool frame_finished_ = false;
    std::vector<std::uint8_t> window_;
    std::size_t produced_ = 0;
    std::size_t max_output_;
    const char* too_large_;
    kdinstr::encoding::DecodeBudget* budget_;
    // The first error met, returned by every refill from then on.
    std::optional<IoError> error_;
};

}  // namespace kdcore::compiler
