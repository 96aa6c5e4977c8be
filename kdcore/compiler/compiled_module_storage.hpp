#pragma once
// Compiled module storage: the bytes in which a compiled module travels from the compiler to the
// loader, and may be kept in between. A magic, a version requirement the reading engine must
// satisfy, then one zstd frame holding the source file names, the module and its type registry
// in the IR's binary form (followed by a skippable frame when the storage would otherwise be too
// small for what reading it costs). The body is streamed through the compressor and out of the
// decompressor, never held uncompressed in one piece.
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "kdcore/utils/kd_error.hpp"
#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdcore::base {
class InstanceContext;
}

namespace kdinstr::encoding {
class BorshReader;
class BorshWriter;
}  // namespace kdinstr::encoding

namespace kdcore::compiler {

struct CompiledModuleStorage {
    // "\x7fKDMODIR"
    static constexpr std::array<std::uint8_t, 8> kMagic{0x7f, 'K', 'D', 'M', 'O', 'D', 'I', 'R'};
    // A body needing more than this once decompressed is refused: a few kilobytes of compressed
    // zeros must not cost gigabytes or minutes.
    static constexpr std::size_t kMaxBodyBytes = std::size_t{1} << 30;
    // What reading N bytes of storage may cost at most, in bytes of decompressed body and of
    // the records built from it (with what loading builds beside them, estimated per record):
    // kDecodeBudgetFloor + kDecodeBudgetFactor * N, and never more than kMaxBodyBytes of body.
    // A body past it is refused with kBudgetExceeded. Measured (bench/decode_budget.py): storages
    // the compiler writes cost 34 bytes per byte for generated programs of 10 000 to 1 000 000
    // instructions and 89 for 1 000 000 functions of one block, at least eleven times below the
    // factor; the costliest storage of the tests costs 25 KB. The floor lets through modules that
    // compress far better than programs do (2 000 copies of one function of 100 instructions
    // cost 49 MB in 7 KB). Loading takes about two thirds of the cost at most, so a storage of
    // a few kilobytes that decompresses to gigabytes is refused after some tens of megabytes.
    static constexpr std::size_t kDecodeBudgetFloor = std::size_t{64} << 20;
    static constexpr std::size_t kDecodeBudgetFactor = 1024;
    static constexpr std::size_t decode_budget(std::size_t storage_bytes) {
        const std::size_t most = SIZE_MAX - kDecodeBudgetFloor;
        return kDecodeBudgetFloor + (storage_bytes > most / kDecodeBudgetFactor
                                         ? most
                                         : storage_bytes * kDecodeBudgetFactor);
    }

    // The most that reading one byte of a body costs, counting the byte itself and the records
    // built from it, for any body that reads through: the costliest record for its bytes is an
    // instruction of six bytes (`!assert %r`), whose place in its block's list (charged up to
    // three times over while the list grows by doubling) and what loading builds for it come to
    // about 70 bytes a byte; a function costs about 34 a byte, a type 48, a block 25 (checked
    // against the charges when the reader is compiled, and by the module body fuzz target on
    // every body it reads). So a storage of N bytes whose body holds at most
    // decode_budget(N) / kMostCostPerBodyByte bytes is within its budget however it reads, and
    // one at least as large as its body always is.
    static constexpr std::size_t kMostCostPerBodyByte = 80;
    static_assert(kMostCostPerBodyByte <= kDecodeBudgetFactor);

    // The texts of a storage that cannot be read; the logged and returned message wraps them.
    struct Messages {
        static constexpr const char* kFillBuffer = "failed to fill whole buffer";
        static constexpr const char* kInvalidMagic =
            "Invalid magic bytes in compiled module storage";
        // With the UTF-8 check's text.
        static constexpr const char* kInvalidUtf8 = "Invalid UTF-8 in version requirement: {}";
        // With the requirement parser's text.
        static constexpr const char* kInvalidRequirement = "Invalid version requirement format: {}";
        // With the requirement's normalised text and the engine version.
        static constexpr const char* kIncompatible =
            "Incompatible compiled module storage version: required {}, found {}";
        // A body that needs more than kMaxBodyBytes once decompressed.
        static constexpr const char* kBodyTooLarge =
            "compiled module body decompresses to more than 1 GiB";
        // A module whose body would hold more than kMaxBodyBytes: no storage of it would read.
        static constexpr const char* kBodyTooLargeToWrite =
            "compiled module body encodes to more than 1 GiB";
        // A registry holding a type whose text would be longer than type_text_budget of the
        // storage's size; a module naming types in one place (an instruction, say) whose texts
        // would be, counted together.
        static constexpr const char* kTypeTextTooLong =
            "compiled module type registry holds a type whose text is longer than its storage "
            "size allows";
        static constexpr const char* kNamedTypeTextsTooLong =
            "compiled module names types in one place whose texts together are longer than its "
            "storage size allows";
        // A body whose reading costs more than the decode budget of the storage's size.
        static constexpr const char* kBudgetExceeded =
            "compiled module body decodes to more than its storage size allows";
    };

    // The `filename` of every compiled source that had one, in source order.
    std::vector<std::string> source_names;
    kdinstr::modules::Module module;
    // Holds every type the module refers to (and possibly more).
    kdinstr::types::TypeRegistry type_registry;

    // The storage's bytes, requiring exactly the instance's engine version (pre-release kept,
    // build metadata dropped), which `decode` reads back: the header and the level-3 frame of
    // the body, then, only where the reader would refuse a storage that small for what it
    // holds (a body that compresses extremely well, or types that print extremely long), a
    // skippable frame that makes the storage as large as reading it needs, and never larger
    // than its body. A module that no such storage lets the reader take is refused: its body
    // past kMaxBodyBytes with kBodyTooLargeToWrite, its types with the reader's own text. A
    // write error is logged at Error level and returned as KdError::Unknown "Failed to
    // serialize compiled module storage header: {}".
    static std::expected<std::vector<std::uint8_t>, kdcore::utils::KdError> encode(
        const CompiledModuleStorage& storage, const kdcore::base::InstanceContext& instance);
    // The same with a body bound of `max_body_bytes` instead of kMaxBodyBytes.
    static std::expected<std::vector<std::uint8_t>, kdcore::utils::KdError> encode(
        const CompiledModuleStorage& storage, const kdcore::base::InstanceContext& instance,
        std::size_t max_body_bytes);
    // The header and the level-3 frame alone, whether or not a reader would take them, without
    // a log line: what `encode` writes for every storage that reads as it is, and, for tests
    // and fixtures, storages that the reader refuses.
    static kdinstr::encoding::IoResult<std::vector<std::uint8_t>> compress(
        const CompiledModuleStorage& storage, const kdcore::base::InstanceContext& instance);

    // Reads a storage whose requirement (any syntax the requirement parser accepts) matches the
    // instance's engine version. Anything after the type registry, decompressed or not, is
    // ignored; a body whose reading needs more than kMaxBodyBytes decompressed, or costs more
    // than decode_budget(bytes.size()), is refused. A failure is logged at Error level and
    // returned as KdError::Unknown "Failed to read compiled module storage header: {}".
    static std::expected<CompiledModuleStorage, kdcore::utils::KdError> decode(
        const kdcore::base::InstanceContext& instance, std::span<const std::uint8_t> bytes);

    // The body alone, as the zstd frame holds it: file names, module, registry. `read_body`
    // also charges the reader's budget with what the engine keeps per loaded function, and
    // ignores what follows the registry. `encode` and `decode` go through these, and so do the
    // fuzz targets that work on uncompressed bodies.
    static kdinstr::encoding::IoResult<void> write_body(kdinstr::encoding::BorshWriter& writer,
                                                        const CompiledModuleStorage& storage);
    static kdinstr::encoding::IoResult<CompiledModuleStorage> read_body(
        kdinstr::encoding::BorshReader& reader);

    // The most characters the types of a storage of this size may print, one type or those one
    // place names together: a quarter of the decode budget, since a message quotes a place and
    // a type or two of it, and is copied a few times on its way to the caller.
    static constexpr std::size_t kTypeTextShare = 4;
    static constexpr std::size_t type_text_budget(std::size_t storage_bytes) {
        return decode_budget(storage_bytes) / kTypeTextShare;
    }
    // What `decode` refuses once the body is read: a storage whose types would print longer
    // than `most` characters (type_text_budget of its size), one type of its registry or those
    // that one place of its module names together, its body being at most `body_bytes` long.
    // The text from Messages, or nullptr.
    static const char* type_text_refusal(const CompiledModuleStorage& storage, std::size_t most,
                                         std::size_t body_bytes = kMaxBodyBytes);
    // The same within `budget` bytes of cost instead of the storage size's (and types printing
    // within budget / kTypeTextShare characters).
    static std::expected<CompiledModuleStorage, kdcore::utils::KdError> decode(
        const kdcore::base::InstanceContext& instance, std::span<const std::uint8_t> bytes,
        std::size_t budget);
};

}  // namespace kdcore::compiler
