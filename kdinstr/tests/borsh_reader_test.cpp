// The reader's in-memory path must read exactly as it does through any other source: same
// values, same errors, same bytes consumed.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kdinstr/encoding/borsh_reader.hpp"

namespace {

using namespace kdinstr::encoding;
using Bytes = std::vector<std::uint8_t>;

// Wraps an in-memory source so the reader cannot see that it is one.
class OpaqueSource final : public ByteSource {
  public:
    explicit OpaqueSource(SpanSource& inner) : inner_(inner) {}
    IoResult<std::size_t> read(std::span<std::uint8_t> buffer) override {
        return inner_.read(buffer);
    }

  private:
    SpanSource& inner_;
};

// The value's text or the error's message, then the bytes consumed.
using Read = std::function<std::string(BorshReader&)>;

template <typename T>
std::string text_of(const IoResult<T>& r) {
    if (!r) return "error: " + r.error().message;
    if constexpr (std::is_same_v<T, mpz_class>) {
        return r->get_str();
    } else {
        return std::to_string(static_cast<std::uint64_t>(*r));
    }
}

std::string run(const Read& read, const Bytes& input, bool opaque) {
    SpanSource span(input);
    OpaqueSource wrapped(span);
    BorshReader r(opaque ? static_cast<ByteSource&>(wrapped) : span);
    std::string out = read(r);
    return out + " @" + std::to_string(span.position());
}

TEST(BorshReader, InMemorySourceReadsLikeAnyOther) {
    struct Case {
        Bytes input;
        Read read;
        std::string expected;
    };
    const Read u8 = [](BorshReader& r) { return text_of(r.read_u8()); };
    const Read u32 = [](BorshReader& r) { return text_of(r.read_u32()); };
    const Read u64 = [](BorshReader& r) { return text_of(r.read_u64()); };
    const Read tag = [](BorshReader& r) { return text_of(r.read_tag(2)); };
    const Read bigint = [](BorshReader& r) { return text_of(r.read_bigint()); };
    const Read array = [](BorshReader& r) {
        auto a = r.read_array<3>();
        return a ? std::to_string((*a)[0] + (*a)[1] + (*a)[2]) : "error: " + a.error().message;
    };
    const std::vector<Case> cases = {
        {{0x7f, 1}, u8, "127 @1"},
        {{}, u8, "error: Unexpected length of input @0"},
        {{1, 2, 3, 4, 5}, u32, "67305985 @4"},
        {{1, 2, 3}, u32, "error: Unexpected length of input @3"},
        {{1, 0, 0, 0, 0, 0, 0}, u64, "error: Unexpected length of input @7"},
        {{3}, tag, "error: Unexpected variant tag: 3 @1"},
        {{2, 9}, tag, "2 @1"},
        {{1, 2, 3, 4}, array, "6 @3"},
        {{1, 2}, array, "error: Unexpected length of input @2"},
        {{2, 0, 0, 0, 0x00, 0x80, 7}, bigint, "-32768 @6"},
        {{0, 0, 0, 0}, bigint, "0 @4"},
        {{3, 0, 0, 0, 1, 2}, bigint, "error: Unexpected length of input @6"},
        {{3, 0, 0}, bigint, "error: Unexpected length of input @3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.read, c.input, false), c.expected) << c.expected;
        EXPECT_EQ(run(c.read, c.input, true), c.expected) << c.expected;
    }
}

}  // namespace
