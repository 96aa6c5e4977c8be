#pragma once
// Byte sinks and sources for the binary encoding. Both are streams, so the body of a compiled
// module can go through a compressor or come out of a decompressor without ever being held in
// one piece.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <expected>
#include <span>
#include <string>
#include <vector>

namespace kdinstr::encoding {

// A failed write or read: the sink's or source's own failure, or malformed encoded data.
struct IoError {
    std::string message;

    // Malformed data without a message of its own (e.g. a count beyond the u32 range).
    static IoError invalid_data() { return IoError{"invalid data"}; }
    static IoError invalid_data(std::string message) { return IoError{std::move(message)}; }

    const std::string& to_string() const { return message; }
    bool operator==(const IoError&) const = default;
};

template <typename T>
using IoResult = std::expected<T, IoError>;

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Takes all of `bytes` or fails.
    virtual IoResult<void> write(std::span<const std::uint8_t> bytes) = 0;
};

// A sink that gathers bytes in a window of free room before passing them on. Writers that know
// it put small values straight into the window and call the sink only when the window is full;
// the bytes passed on are exactly those of `write`.
class BufferedSink : public ByteSink {
  public:
    // Free room of the window.
    std::size_t room() const { return static_cast<std::size_t>(end_ - pos_); }
    // Claims `n` bytes of the window for the caller to fill; `n` must not exceed `room()`.
    std::uint8_t* take(std::size_t n) {
        std::uint8_t* at = pos_;
        pos_ += n;
        return at;
    }

    // Into the window when it fits, else through `overflow`. Inline, so that writers holding a
    // BufferedSink* copy small values in place without a call.
    IoResult<void> write(std::span<const std::uint8_t> bytes) final {
        if (bytes.size() > room()) [[unlikely]]
            return overflow(bytes);
        if (!bytes.empty()) std::memcpy(take(bytes.size()), bytes.data(), bytes.size());
        return {};
    }

  protected:
    void set_window(std::uint8_t* begin, std::uint8_t* end) {
        pos_ = begin;
        end_ = end;
    }
    std::uint8_t* window_pos() const { return pos_; }
    // `bytes` do not fit in the window's room: pass on what the window holds, then `bytes`, and
    // set a new window.
    virtual IoResult<void> overflow(std::span<const std::uint8_t> bytes) = 0;

  private:
    std::uint8_t* pos_ = nullptr;
    std::uint8_t* end_ = nullptr;
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `buffer.size()` bytes; 0 only at the end of the input (or for an empty buffer).
    virtual IoResult<std::size_t> read(std::span<std::uint8_t> buffer) = 0;
};

// A source whose bytes can be read in place: a window of bytes already at hand, which the source
// refills once it is used up. Readers that know it take values straight out of the window and
// call the source only to refill; bytes are consumed exactly as through `read`.
class BufferedSource : public ByteSource {
  public:
    // The bytes at hand, not yet consumed.
    const std::uint8_t* window_begin() const { return pos_; }
    std::size_t available() const { return static_cast<std::size_t>(end_ - pos_); }
    // Consumes `n` bytes of the window; `n` must not exceed `available()`.
    const std::uint8_t* take(std::size_t n) {
        const std::uint8_t* at = pos_;
        pos_ += n;
        return at;
    }
    // Called with the window used up: makes more bytes available, or says there are none left
    // (false). An error of the source is returned, and returned again by later calls.
    virtual IoResult<bool> refill() = 0;

    // Copies out of the window, refilling it when used up.
    IoResult<std::size_t> read(std::span<std::uint8_t> buffer) final;

  protected:
    void set_window(const std::uint8_t* begin, const std::uint8_t* end) {
        pos_ = begin;
        end_ = end;
    }

  private:
    const std::uint8_t* pos_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

// Appends everything written to a caller-owned vector.
class VectorSink final : public ByteSink {
  public:
    explicit VectorSink(std::vector<std::uint8_t>& out) : out_(out) {}
    IoResult<void> write(std::span<const std::uint8_t> bytes) override;

  private:
    std::vector<std::uint8_t>& out_;
};

// Reads from bytes held by the caller, which must outlive the source: all of them are the window.
class SpanSource final : public BufferedSource {
  public:
    explicit SpanSource(std::span<const std::uint8_t> data) : data_(data) {
        set_window(data.data(), data.data() + data.size());
    }
    IoResult<bool> refill() override { return false; }

    std::size_t position() const { return static_cast<std::size_t>(window_begin() - data_.data()); }
    std::size_t remaining() const { return available(); }

  private:
    std::span<const std::uint8_t> data_;
};

}  // namespace kdinstr::encoding
