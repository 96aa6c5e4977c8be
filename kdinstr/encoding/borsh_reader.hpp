#pragma once
// Reading the primitive layer of the IR's binary form. Every read takes exactly the bytes of its
// value; at the first fault it fails with one of the fixed messages below and yields nothing.
// Errors of the byte source itself are passed on unchanged. What the reads build is charged to
// the reader's decode budget before it is allocated; a read past the budget fails with its text.
#include <gmpxx.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/encoding/decode_budget.hpp"

namespace kdinstr::encoding {

// The texts of malformed input.
struct DecodeMessages {
    static constexpr const char* kUnexpectedLength = "Unexpected length of input";
    // With the tag byte in decimal.
    static constexpr const char* kUnexpectedVariantTag = "Unexpected variant tag: {}";
    static constexpr const char* kInvalidOption =
        "Invalid Option representation: {}. The first byte must be 0 or 1";
    static constexpr const char* kInvalidBool = "Invalid bool representation: {}";
};

class BorshReader {
  public:
    // A count read from the input is not trusted for memory: lists reserve at most this many
    // bytes of elements before the elements arrive, then grow by doubling as they do.
    static constexpr std::size_t kMaxListReserveBytes = 4096;
    // Byte strings (texts, big integers) start at most this large and grow by doubling.
    static constexpr std::size_t kMaxBytesReserve = 1024 * 1024;
    // What a heap block costs beyond the bytes asked for (the allocator's header and rounding),
    // charged with every allocation the decoders make.
    static constexpr std::size_t kAllocationOverhead = 16;

    // Without a budget: nothing is refused for its cost.
    explicit BorshReader(ByteSource& source) : BorshReader(source, own_budget_) {}
    // Charges `budget`, which must outlive the reader.
    BorshReader(ByteSource& source, DecodeBudget& budget)
        : source_(source), buffered_(dynamic_cast<BufferedSource*>(&source)), budget_(budget) {}
    BorshReader(const BorshReader&) = delete;
    BorshReader& operator=(const BorshReader&) = delete;

    ByteSource& source() { return source_; }
    DecodeBudget& budget() { return budget_; }
    // Shorthands for the codecs: what they build, charged as it arrives.
    IoResult<void> charge(std::size_t bytes) { return budget_.charge(bytes); }

    // Fills `out` completely, or fails with "Unexpected length of input".
    IoResult<void> read_exact(std::span<std::uint8_t> out);
    template <std::size_t N>
    IoResult<std::array<std::uint8_t, N>> read_array() {
        std::array<std::uint8_t, N> out{};
        if (auto r = read_exact(out); !r) return std::unexpected(r.error());
        return out;
    }

    IoResult<std::uint8_t> read_u8() { return read_le<std::uint8_t>(); }
    IoResult<std::uint16_t> read_u16() { return read_le<std::uint16_t>(); }
    IoResult<std::uint32_t> read_u32() { return read_le<std::uint32_t>(); }
    IoResult<std::uint64_t> read_u64() { return read_le<std::uint64_t>(); }
    IoResult<unsigned __int128> read_u128() { return read_le<unsigned __int128>(); }
    IoResult<std::int64_t> read_i64();
    IoResult<bool> read_bool();
    // The 0/1 byte in front of an optional value: true when the value follows.
    IoResult<bool> read_option_tag() {
        if (const auto b = in_window_at_most(1)) return *b == 1;
        return read_option_tag_slow();
    }
    // An enum's tag byte; above `max_tag` fails with "Unexpected variant tag: {}".
    IoResult<std::uint8_t> read_tag(std::uint8_t max_tag) {
        if (const auto b = in_window_at_most(max_tag)) return *b;
        return read_tag_slow(max_tag);
    }

    // u32 byte count, then the bytes.
    IoResult<std::vector<std::uint8_t>> read_bytes();
    // As read_bytes, then checked as UTF-8 (the check's own text on failure). The bytes go
    // straight into the text: no second copy.
    IoResult<std::string> read_string();
    IoResult<mpz_class> read_bigint();
    // The part of read_bigint after the count: `length` bytes of two's complement.
    IoResult<mpz_class> read_bigint_bytes(std::uint32_t length);

    // Room to reserve up front for `count` elements of T read from untrusted input.
    template <typename T>
    static std::size_t cautious_capacity(std::uint64_t count) {
        return static_cast<std::size_t>(std::min<std::uint64_t>(
            count, kMaxListReserveBytes / std::max<std::size_t>(sizeof(T), 1)));
    }

    // Makes room in `out` for one more of the `count` elements a list declares, when it is
    // full: first the cautious capacity, then twice what it holds (never more than `count`).
    // Each new block is charged before it is allocated; moving the elements over is not
    // charged again, the old block being the charge before.
    template <typename T>
    IoResult<void> make_room(std::vector<T>& out, std::uint64_t count) {
        if (out.size() < out.capacity()) [[likely]]
            return {};
        const std::size_t first = std::max<std::size_t>(cautious_capacity<T>(count), 1);
        const std::size_t want = std::max(first, 2 * out.capacity());
        const auto grown = static_cast<std::size_t>(std::min<std::uint64_t>(want, count));
        if (auto r = budget_.charge(grown, sizeof(T)); !r) return r;
        if (auto r = budget_.charge(kAllocationOverhead); !r) return r;
        out.reserve(grown);
        return {};
    }

    // `count` elements through `read_one(reader)`, which returns IoResult<T>.
    template <typename T, typename ReadOne>
    IoResult<std::vector<T>> read_n(std::uint64_t count, ReadOne&& read_one) {
        std::vector<T> out;
        for (std::uint64_t i = 0; i < count; ++i) {
            if (auto r = make_room(out, count); !r) return std::unexpected(std::move(r.error()));
            auto element = read_one(*this);
            if (!element) return std::unexpected(std::move(element.error()));
            out.push_back(std::move(*element));
        }
        return out;
    }

    // u32 count, then the elements.
    template <typename T, typename ReadOne>
    IoResult<std::vector<T>> read_seq(ReadOne&& read_one) {
        auto count = read_u32();
        if (!count) return std::unexpected(std::move(count.error()));
        return read_n<T>(*count, std::forward<ReadOne>(read_one));
    }

    // Option flag, then the value through `read_one(reader)` when present.
    template <typename T, typename ReadOne>
    IoResult<std::optional<T>> read_option(ReadOne&& read_one) {
        auto present = read_option_tag();
        if (!present) return std::unexpected(std::move(present.error()));
        if (!*present) return std::optional<T>{};
        auto value = read_one(*this);
        if (!value) return std::unexpected(std::move(value.error()));
        return std::optional<T>{std::move(*value)};
    }

  private:
    // The next byte of the window, consumed, when there is one and it is at most `max`; else
    // nothing is consumed and the caller takes its general path (which reads the same byte and
    // fails on it with its own text).
    std::optional<std::uint8_t> in_window_at_most(std::uint8_t max) {
        if (buffered_ == nullptr || buffered_->available() == 0) return std::nullopt;
        const std::uint8_t b = *buffered_->window_begin();
        if (b > max) return std::nullopt;
        buffered_->take(1);
        return b;
    }
    IoResult<bool> read_option_tag_slow();
    IoResult<std::uint8_t> read_tag_slow(std::uint8_t max_tag);

    // Little-endian unsigned value of sizeof(U) bytes.
    template <typename U>
    IoResult<U> read_le() {
        std::array<std::uint8_t, sizeof(U)> bytes{};
        const std::uint8_t* at = bytes.data();
        if (buffered_ && buffered_->available() >= sizeof(U)) [[likely]] {
            at = buffered_->take(sizeof(U));
        } else if (auto r = read_exact(bytes); !r) {
            return std::unexpected(std::move(r.error()));
        }
        U value = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&value, at, sizeof(U));
        } else {
            for (std::size_t i = sizeof(U); i-- > 0;) value = static_cast<U>((value << 8) | at[i]);
        }
        return value;
    }

    // `count` bytes into `out` (a byte vector or a text), sized as the bytes arrive: a false count
    // must not allocate what the input cannot back.
    template <typename Bytes>
    IoResult<void> read_counted(std::size_t count, Bytes& out);

    ByteSource& source_;
    // The same source when it reads from a window: values are then read in place, with a virtual
    // call only to refill the window. Which bytes are consumed does not change.
    BufferedSource* buffered_;
    // The budget of a reader made without one: unlimited.
    DecodeBudget own_budget_;
    DecodeBudget& budget_;
};

}  // namespace kdinstr::encoding
