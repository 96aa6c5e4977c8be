#pragma once
// Hostile compiled module storages: bodies that declare lists far longer than they hold, as the
// decode budget must refuse them. One spelling for the storage tests, the fuzz seeds and the
// benchmark; free of gtest for the latter two.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/compiler/zstd_stream.hpp"
#include "kdinstr/tests/byte_strings.hpp"

namespace kdtest::inflated {

using kdinstr::tests::codec::Bytes;
using kdinstr::tests::codec::cat;
using kdinstr::tests::codec::kAllOnes;
using kdinstr::tests::codec::kReg0;
using kdinstr::tests::codec::u32;

// How the message of every failed storage read begins.
inline constexpr const char* kReadFailed = "Failed to read compiled module storage header: ";

inline const Bytes kTyperef(16, 7);
// A false flag, or an absent option.
inline const Bytes kByte0{0};

// The body up to its first instruction: no file names; one function with no name, parameters
// or return type, whose one block declares `instructions` instructions.
inline Bytes one_block(std::uint32_t instructions) {
    return cat({u32(0), u32(1), kTyperef, kTyperef, kByte0, u32(0), kByte0, u32(1), u32(0), u32(0),
                u32(instructions)});
}

// The storage of this build's version with a body of `prefix` and then `mib` MiB of `pattern`
// repeated (as many whole copies as fit in each MiB), compressed as it comes: a few kilobytes
// for a run of zeros. Nothing when the compressor fails.
inline std::optional<Bytes> storage_of(const Bytes& prefix, const Bytes& pattern, std::size_t mib) {
    using kdcore::compiler::CompiledModuleStorage;
    Bytes out(CompiledModuleStorage::kMagic.begin(), CompiledModuleStorage::kMagic.end());
    for (char c : std::string_view("=" KD_ENGINE_VERSION))
        out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
    Bytes chunk;
    while (!pattern.empty() && chunk.size() + pattern.size() <= (std::size_t{1} << 20))
        chunk.insert(chunk.end(), pattern.begin(), pattern.end());
    {
        kdcore::compiler::ZstdCompressor z(out);
        bool written = z.write(prefix).has_value();
        for (std::size_t i = 0; i < mib && written; ++i) written = z.write(chunk).has_value();
        if (!written || !z.finish()) return std::nullopt;
    }
    return out;
}

}  // namespace kdtest::inflated
