#include "kdcore/compiler/compiled_module_storage.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "kdcore/base/instance_context.hpp"
#include "kdcore/base/log_sites.hpp"
#include "kdcore/base/module/function_context.hpp"
#include "kdcore/compiler/semver.hpp"
#include "kdcore/compiler/zstd_stream.hpp"
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/encoding/decode_budget.hpp"
#include "kdinstr/encoding/decode_costs.hpp"
#include "kdinstr/encoding/module_codec.hpp"
#include "kdinstr/encoding/registry_codec.hpp"
#include "kdinstr/encoding/utf8_check.hpp"
#include "kdinstr/types/type_text_length.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdcore::compiler {

namespace {

namespace sites = kdcore::base::log_sites;
using kdcore::utils::KdError;
using kdinstr::encoding::BorshReader;
using kdinstr::encoding::BorshWriter;
using kdinstr::encoding::DecodeBudget;
using kdinstr::encoding::IoResult;
using kdinstr::encoding::SpanSource;
using Messages = CompiledModuleStorage::Messages;

// What loading adds per function on the engine's side: its context in the module with its entry
// in the module's map of them, and (measured, rounded up: about 1.3 KB per function of one empty
// block in all, the decoded records included) the module table's and the steps' share.
constexpr std::size_t kFunctionContextCost =
    sizeof(kdcore::base::module::FunctionContext) + sizeof(kdinstr::utils::Uuid) + 64 + 600;
// What a function costs for its label in the log line, when it has no name.
constexpr std::size_t kUnnamedLabel = 40;

// The records that cost the most for their bytes, in their fewest bytes, keep within the most a
// byte of body may cost (the byte itself counted).
constexpr bool within_most_per_byte(std::size_t cost, std::size_t bytes) {
    return cost + bytes <= CompiledModuleStorage::kMostCostPerBodyByte * bytes;
}
namespace costs = kdinstr::encoding::decode_costs;
constexpr std::size_t kAllocation = BorshReader::kAllocationOverhead;
// `!assert %r`, six bytes (its tag, the operand's tag and register): its place in its block's
// list, up to three times over as the list doubles, one block of the list, and what loading
// builds for it.
static_assert(within_most_per_byte(3 * sizeof(kdinstr::modules::KdInstr) + kAllocation +
                                       costs::kInstruction,
                                   6));
// A function without name, parameters, blocks or options, with its key: 50 bytes.
static_assert(within_most_per_byte(costs::kFunction + kFunctionContextCost + 2 * kUnnamedLabel,
                                   50));
// A block without instructions, with its key and a one-byte terminator: 13 bytes.
static_assert(within_most_per_byte(costs::kBlock, 13));
// A type of one tag byte under its 16-byte reference.
static_assert(within_most_per_byte(costs::kType, 17));
// An empty file name, its count alone: its place in the list, as it doubles, and its text.
static_assert(within_most_per_byte(3 * sizeof(std::string) + 2 * kAllocation, 4));
// A wildcard type index of two bytes.
static_assert(within_most_per_byte(costs::kMapNode + 8, 2));

// A failed write or read: its message, `site`'s text around the error's own, logged at the
// site's level and returned as KdError::Unknown.
KdError logged_failure(const kdcore::base::InstanceContext& instance,
                       const kdcore::base::LogSite& site, const std::string& error) {
    std::string text = fmt::format(fmt::runtime(site.text), error);
    instance.log(site, error);
    return KdError(KdError::Unknown{std::move(text)});
}

// Everything of a read up to the body: the error's own text on failure.
std::expected<std::size_t, std::string> check_header(const kdcore::base::InstanceContext& instance,
                                                     std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kMagicSize = CompiledModuleStorage::kMagic.size();
    if (bytes.size() < kMagicSize) return std::unexpected(Messages::kFillBuffer);
    if (!std::equal(CompiledModuleStorage::kMagic.begin(), CompiledModuleStorage::kMagic.end(),
                    bytes.begin())) {
        return std::unexpected(Messages::kInvalidMagic);
    }
    const auto rest = bytes.subspan(kMagicSize);
    const auto nul = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    if (nul == rest.end()) return std::unexpected(Messages::kFillBuffer);
    const auto requirement_bytes = rest.first(static_cast<std::size_t>(nul - rest.begin()));
    if (auto bad = kdinstr::encoding::check_utf8(requirement_bytes)) {
        return std::unexpected(fmt::format(fmt::runtime(Messages::kInvalidUtf8), bad->to_string()));
    }
    const std::string_view requirement_text(reinterpret_cast<const char*>(requirement_bytes.data()),
                                            requirement_bytes.size());
    auto requirement = VersionReq::parse(requirement_text);
    if (!requirement) {
        return std::unexpected(
            fmt::format(fmt::runtime(Messages::kInvalidRequirement), requirement.error()));
    }
    if (!requirement->matches(instance.engine_version())) {
        return std::unexpected(fmt::format(fmt::runtime(Messages::kIncompatible), *requirement,
                                           instance.engine_version()));
    }
    return kMagicSize + requirement_bytes.size() + 1;
}

}  // namespace

IoResult<void> CompiledModuleStorage::write_body(BorshWriter& writer,
                                                 const CompiledModuleStorage& storage) {
    auto names = writer.write_seq(
        storage.source_names,
        [](BorshWriter& w, const std::string& name) { return w.write_string(name); });
    if (!names) return names;
    if (auto module = kdinstr::encoding::encode(writer, storage.module); !module) return module;
    return kdinstr::encoding::encode(writer, storage.type_registry);
}

IoResult<CompiledModuleStorage> CompiledModuleStorage::read_body(BorshReader& reader) {
    CompiledModuleStorage storage;
    auto names = reader.read_seq<std::string>([](BorshReader& r) { return r.read_string(); });
    if (!names) return std::unexpected(std::move(names.error()));
    storage.source_names = std::move(*names);
    auto module = kdinstr::encoding::decode_module(reader);
    if (!module) return std::unexpected(std::move(module.error()));
    storage.module = std::move(*module);
    // What the engine keeps per function once the module is added: its context in the module,
    // and the function's label, written in the log line that lists them.
    for (const auto& [key, function] : storage.module.functions) {
        const std::size_t label = function->name ? function->name->size() : kUnnamedLabel;
        if (auto charged = reader.charge(kFunctionContextCost + 2 * label); !charged)
            return std::unexpected(std::move(charged.error()));
    }
    auto registry = kdinstr::encoding::decode_type_registry(reader);
    if (!registry) return std::unexpected(std::move(registry.error()));
    storage.type_registry = std::move(*registry);
    return storage;
}

namespace {

// The storage as the writer compresses it, and where its body starts and how long it is.
struct Compressed {
    std::vector<std::uint8_t> bytes;
    std::size_t body_offset = 0;
    std::size_t body_bytes = 0;
};

IoResult<Compressed> compress_storage(const CompiledModuleStorage& storage,
                                      const kdcore::base::InstanceContext& instance,
                                      std::size_t max_body_bytes) {
    Compressed out;
    const auto& magic = CompiledModuleStorage::kMagic;
    out.bytes.assign(magic.begin(), magic.end());
    const std::string requirement = VersionReq::exact(instance.engine_version()).to_string();
    out.bytes.insert(out.bytes.end(), requirement.begin(), requirement.end());
    out.bytes.push_back(0);
    out.body_offset = out.bytes.size();

    ZstdCompressor compressor(out.bytes, max_body_bytes, Messages::kBodyTooLargeToWrite);
    BorshWriter writer(compressor);
    if (auto written = CompiledModuleStorage::write_body(writer, storage); !written)
        return std::unexpected(std::move(written.error()));
    if (auto finished = compressor.finish(); !finished)
        return std::unexpected(std::move(finished.error()));
    out.body_bytes = compressor.consumed();
    return out;
}

// What the reader's steps up to the type texts read: the storage, and how many bytes of body
// were decompressed for it.
struct Read {
    CompiledModuleStorage storage;
    std::size_t body_bytes = 0;
};

// The reader's steps up to the type texts, each of its bytes and records charged to `cost`; the
// error's own text on failure.
std::expected<Read, std::string> read_storage(const kdcore::base::InstanceContext& instance,
                                              std::span<const std::uint8_t> bytes,
                                              DecodeBudget& cost) {
    auto body_offset = check_header(instance, bytes);
    if (!body_offset) return std::unexpected(std::move(body_offset.error()));
    SpanSource input(bytes.subspan(*body_offset));
    ZstdDecompressor decompressor(input, CompiledModuleStorage::kMaxBodyBytes,
                                  Messages::kBodyTooLarge, &cost);
    BorshReader reader(decompressor, cost);
    auto storage = CompiledModuleStorage::read_body(reader);
    if (!storage) return std::unexpected(storage.error().to_string());
    return Read{std::move(*storage), decompressor.produced()};
}

// The least n in [low, high] for which `fits(n)` holds, `fits` holding from some n on and at
// `high`.
template <typename Fits>
std::size_t least_fitting(std::size_t low, std::size_t high, Fits&& fits) {
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (fits(middle)) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return high;
}

// Makes `written` a storage that the reader takes, with what decides it: its size against the
// decode budget of that size and the type-text bound, the body's size having passed its bound
// already. Only when the frame alone is too small for what it holds does a skippable frame make
// it as large as needed, never larger than its body; a module for which even that is too small
// gives the reader's own text.
std::expected<void, std::string> make_readable(const CompiledModuleStorage& storage,
                                               const kdcore::base::InstanceContext& instance,
                                               Compressed& written) {
    using S = CompiledModuleStorage;
    const std::size_t size = written.bytes.size();
    const auto text_fits = [&](std::size_t n) {
        return S::type_text_refusal(storage, S::type_text_budget(n), written.body_bytes) == nullptr;
    };
    // No reading can cost more than this for a body of this size, so a storage whose budget
    // holds it needs no second pass: every ordinary module, whose body is a few times larger
    // than its frame. Its cost then counts as nothing, which every size holds.
    std::size_t cost = 0;
    if (written.body_bytes > S::decode_budget(size) / S::kMostCostPerBodyByte) {
        // What the reader charges for these very bytes.
        DecodeBudget unlimited;
        if (auto read = read_storage(instance, written.bytes, unlimited); !read)
            kdinstr::utils::panic("compiled module storage as written does not read: {}",
                                  read.error());
        cost = unlimited.spent();
    }
    const auto budget_fits = [&](std::size_t n) { return cost <= S::decode_budget(n); };
    if (budget_fits(size) && text_fits(size)) return {};

    // A skippable frame adds at least its header; the storage grows up to the size of its body.
    const std::size_t least = size + kSkippableFrameHeaderSize;
    const std::size_t most =
        std::max(size, written.body_offset + written.body_bytes) + kSkippableFrameHeaderSize;
    // No cost exceeds the budget of a storage as large as its body (kMostCostPerBodyByte is at
    // most the budget's factor); the type texts may.
    if (!budget_fits(most)) return std::unexpected(Messages::kBudgetExceeded);
    if (const char* refusal =
            S::type_text_refusal(storage, S::type_text_budget(most), written.body_bytes))
        return std::unexpected(refusal);
    std::size_t needed = least_fitting(least, most, budget_fits);
    if (!text_fits(needed)) needed = least_fitting(needed, most, text_fits);
    append_skippable_frame(written.bytes, static_cast<std::uint32_t>(needed - least));
    return {};
}

}  // namespace

IoResult<std::vector<std::uint8_t>> CompiledModuleStorage::compress(
    const CompiledModuleStorage& storage, const kdcore::base::InstanceContext& instance) {
    auto written = compress_storage(storage, instance, kMaxBodyBytes);
    if (!written) return std::unexpected(std::move(written.error()));
    return std::move(written->bytes);
}

std::expected<std::vector<std::uint8_t>, KdError> CompiledModuleStorage::encode(
    const CompiledModuleStorage& storage, const kdcore::base::InstanceContext& instance) {
    return encode(storage, instance, kMaxBodyBytes);
}

std::expected<std::vector<std::uint8_t>, KdError> CompiledModuleStorage::encode(
    const CompiledModuleStorage& storage, const kdcore::base::InstanceContext& instance,
    std::size_t max_body_bytes) {
    instance.log(sites::STORAGE_SERIALIZING, storage.module.functions.size());

    auto fail = [&](const std::string& error) {
        return std::unexpected(
            logged_failure(instance, sites::STORAGE_SERIALIZE_HEADER_FAILED, error));
    };
    auto written = compress_storage(storage, instance, max_body_bytes);
    if (!written) return fail(written.error().to_string());
    if (auto readable = make_readable(storage, instance, *written); !readable)
        return fail(readable.error());
    return std::move(written->bytes);
}

std::expected<CompiledModuleStorage, KdError> CompiledModuleStorage::decode(
    const kdcore::base::InstanceContext& instance, std::span<const std::uint8_t> bytes) {
    return decode(instance, bytes, decode_budget(bytes.size()));
}

std::expected<CompiledModuleStorage, KdError> CompiledModuleStorage::decode(
    const kdcore::base::InstanceContext& instance, std::span<const std::uint8_t> bytes,
    std::size_t budget) {
    instance.log(sites::STORAGE_DESERIALIZING, bytes.size());

    auto fail = [&](const std::string& error) {
        return std::unexpected(logged_failure(instance, sites::STORAGE_READ_HEADER_FAILED, error));
    };

    DecodeBudget cost(budget, Messages::kBudgetExceeded);
    auto read = read_storage(instance, bytes, cost);
    if (!read) return fail(read.error());
    if (const char* refusal =
            type_text_refusal(read->storage, budget / kTypeTextShare, read->body_bytes))
        return fail(refusal);
    return std::move(read->storage);
}

// Types that share elements can print exponentially longer than they are stored, and an error
// message shows a whole instruction with every type it names: a storage is refused before
// anything could print its types when one of them, or those that one place of the module names
// together, would print more than `most` characters.
const char* CompiledModuleStorage::type_text_refusal(const CompiledModuleStorage& storage,
                                                     std::size_t most, std::size_t body_bytes) {
    const auto view = storage.type_registry.read();
    const kdinstr::types::TypeTextLengths lengths(view.types(), most == SIZE_MAX ? most : most + 1);
    if (lengths.longest() > most) return Messages::kTypeTextTooLong;
    // Each time a place names a type it holds the type's 16 bytes of the body: when that many
    // names of the longest text fit, the module need not be walked.
    const std::size_t most_names = std::max<std::size_t>(body_bytes / 16, 1);
    if (lengths.longest_of_any() <= most / most_names) return nullptr;
    if (storage.module.longest_named_type_text(lengths) > most)
        return Messages::kNamedTypeTextsTooLong;
    return nullptr;
}

}  // namespace kdcore::compiler
