#pragma once
// Byte sinks and sources for the binary encoding. Both are streams, so the body of a compiled
// module can go through a compressor or come out of a decompressor without ever being held in
// one piece.
#include <cstddef>
#include <cstdint>
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

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `buffer.size()` bytes; 0 only at the end of the input (or for an empty buffer).
    virtual IoResult<std::size_t> read(std::span<std::uint8_t> buffer) = 0;
};

// Appends everything written to a caller-owned vector.
class VectorSink final : public ByteSink {
  public:
    explicit VectorSink(std::vector<std::uint8_t>& out) : out_(out) {}
    IoResult<void> write(std::span<const std::uint8_t> bytes) override;

  private:
    std::vector<std::uint8_t>& out_;
};

// Reads from bytes held by the caller, which must outlive the source.
class SpanSource final : public ByteSource {
  public:
    explicit SpanSource(std::span<const std::uint8_t> data) : data_(data) {}
    IoResult<std::size_t> read(std::span<std::uint8_t> buffer) override;

    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    // The next `n` bytes in place, consumed; `n` must not exceed `remaining()`. Lets a reader
    // that knows its source skip the copy through `read`.
    const std::uint8_t* take(std::size_t n) {
        const std::uint8_t* at = data_.data() + pos_;
        pos_ += n;
        return at;
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

}  // namespace kdinstr::encoding
