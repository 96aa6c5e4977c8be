#include "kdcore/compiler/zstd_stream.hpp"

#include <zstd.h>

#include <algorithm>
#include <cstring>

#include "kdinstr/utils/panic.hpp"

namespace kdcore::compiler {

namespace {

IoError zstd_error(std::size_t code) { return IoError{ZSTD_getErrorName(code)}; }

}  // namespace

ZstdCompressor::ZstdCompressor(std::vector<std::uint8_t>& out, std::size_t max_input,
                               const char* too_large)
    : ctx_(ZSTD_createCCtx()),
      out_(out),
      buffer_(kOutputBufferSize),
      input_(kInputBufferSize),
      max_input_(max_input),
      too_large_(too_large) {
    set_window(input_.data(), input_.data() + input_.size());
    if (ctx_ == nullptr) kdinstr::utils::panic("failed to create a zstd compression context");
    std::size_t r = ZSTD_CCtx_setParameter(ctx_, ZSTD_c_compressionLevel, kLevel);
    if (!ZSTD_isError(r)) r = ZSTD_CCtx_setParameter(ctx_, ZSTD_c_checksumFlag, 0);
    if (!ZSTD_isError(r)) r = ZSTD_CCtx_loadDictionary(ctx_, nullptr, 0);
    if (ZSTD_isError(r)) {
        ZSTD_freeCCtx(ctx_);
        kdinstr::utils::panic("failed to set up zstd compression: {}", ZSTD_getErrorName(r));
    }
}

ZstdCompressor::~ZstdCompressor() { ZSTD_freeCCtx(ctx_); }

IoResult<void> ZstdCompressor::append_output(std::size_t produced) {
    out_.insert(out_.end(), buffer_.begin(),
                buffer_.begin() + static_cast<std::ptrdiff_t>(produced));
    return {};
}

IoResult<void> ZstdCompressor::overflow(std::span<const std::uint8_t> bytes) {
    if (finished_) kdinstr::utils::panic("write to a finished zstd frame");
    if (auto r = compress(gathered()); !r) return r;
    std::uint8_t* const begin = input_.data();
    std::uint8_t* const end = begin + input_.size();
    if (bytes.size() >= kInputBufferSize) {
        set_window(begin, end);
        return compress(bytes);
    }
    std::memcpy(begin, bytes.data(), bytes.size());
    set_window(begin + bytes.size(), end);
    return {};
}

IoResult<void> ZstdCompressor::compress(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > max_input_ - consumed_) return std::unexpected(IoError{too_large_});
    consumed_ += bytes.size();
    ZSTD_inBuffer in{bytes.data(), bytes.size(), 0};
    while (in.pos < in.size) {
        ZSTD_outBuffer out{buffer_.data(), buffer_.size(), 0};
        const std::size_t r = ZSTD_compressStream2(ctx_, &out, &in, ZSTD_e_continue);
        if (ZSTD_isError(r)) return std::unexpected(zstd_error(r));
        if (auto a = append_output(out.pos); !a) return a;
    }
    return {};
}

IoResult<void> ZstdCompressor::finish() {
    if (finished_) kdinstr::utils::panic("zstd frame finished twice");
    finished_ = true;
    const auto last = gathered();
    // No room is left, so any later write reaches `overflow`, which refuses it.
    set_window(nullptr, nullptr);
    if (auto r = compress(last); !r) return r;
    ZSTD_inBuffer in{nullptr, 0, 0};
    for (;;) {
        ZSTD_outBuffer out{buffer_.data(), buffer_.size(), 0};
        const std::size_t remaining = ZSTD_compressStream2(ctx_, &out, &in, ZSTD_e_end);
        if (ZSTD_isError(remaining)) return std::unexpected(zstd_error(remaining));
        if (auto a = append_output(out.pos); !a) return a;
        if (remaining == 0) return {};
    }
}

void append_skippable_frame(std::vector<std::uint8_t>& out, std::uint32_t content) {
    const auto le32 = [&](std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    le32(ZSTD_MAGIC_SKIPPABLE_START);
    le32(content);
    out.resize(out.size() + content, 0);
}

ZstdDecompressor::ZstdDecompressor(ByteSource& input, std::size_t max_output, const char* too_large,
                                   kdinstr::encoding::DecodeBudget* budget)
    : ctx_(ZSTD_createDCtx()),
      input_(input),
      in_buffer_(ZSTD_DStreamInSize()),
      window_(ZSTD_DStreamOutSize()),
      max_output_(max_output),
      too_large_(too_large),
      budget_(budget) {
    if (ctx_ == nullptr) kdinstr::utils::panic("failed to create a zstd decompression context");
    std::size_t r = ZSTD_DCtx_loadDictionary(ctx_, nullptr, 0);
    if (!ZSTD_isError(r)) r = ZSTD_DCtx_setParameter(ctx_, ZSTD_d_windowLogMax, kWindowLogMax);
    if (ZSTD_isError(r)) {
        ZSTD_freeDCtx(ctx_);
        kdinstr::utils::panic("failed to set up zstd decompression: {}", ZSTD_getErrorName(r));
    }
}

ZstdDecompressor::~ZstdDecompressor() { ZSTD_freeDCtx(ctx_); }

std::size_t ZstdDecompressor::decompress_into(std::span<std::uint8_t> buffer) {
    ZSTD_outBuffer out{buffer.data(), buffer.size(), 0};
    // The first round feeds no new input: output zstd still holds may fill the buffer without
    // touching bytes beyond what the reader needs.
    bool first = true;
    for (;;) {
        if (!first && in_pos_ == in_size_) {
            if (!input_ended_) {
                auto n = input_.read(in_buffer_);
                if (!n) {
                    error_ = std::move(n.error());
                    break;
                }
                in_pos_ = 0;
                in_size_ = *n;
                input_ended_ = *n == 0;
            }
            if (input_ended_) {
                if (!frame_finished_) error_ = IoError{kIncompleteFrame};
                break;
            }
        }
        const bool feeding = !first && in_pos_ < in_size_;
        first = false;
        // A new frame begins once input follows a finished one.
        if (feeding) frame_finished_ = false;
        ZSTD_inBuffer in{in_buffer_.data(), feeding ? in_size_ : in_pos_, in_pos_};
        const std::size_t hint = ZSTD_decompressStream(ctx_, &out, &in);
        if (ZSTD_isError(hint)) {
            error_ = zstd_error(hint);
            break;
        }
        in_pos_ = in.pos;
        if (hint == 0) {
            // The end of a frame: what follows is decoded only when the reader needs it.
            frame_finished_ = true;
            if (out.pos > 0) break;
        }
        if (out.pos == out.size) break;
    }
    return out.pos;
}

IoResult<bool> ZstdDecompressor::refill() {
    if (error_) return std::unexpected(*error_);
    if (produced_ == max_output_) {
        // Only output that really exists past the limit is refused; an end or an error of the
        // input is reported as such.
        std::uint8_t probe = 0;
        if (decompress_into({&probe, 1}) == 1) error_ = IoError{too_large_};
        if (error_) return std::unexpected(*error_);
        return false;
    }
    const std::size_t n =
        decompress_into({window_.data(), std::min(window_.size(), max_output_ - produced_)});
    if (budget_ != nullptr) {
        if (auto charged = budget_->charge(n); !charged) {
            error_ = std::move(charged.error());
            return std::unexpected(*error_);
        }
    }
    produced_ += n;
    set_window(window_.data(), window_.data() + n);
    if (n > 0) return true;
    if (error_) return std::unexpected(*error_);
    return false;
}

}  // namespace kdcore::compiler
