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
#include "kdinstr/encoding/module_codec.hpp"
#include "kdinstr/encoding/registry_codec.hpp"
#include "kdinstr/encoding/utf8_check.hpp"
#include "kdinstr/types/type_text_length.hpp"

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
        const std::size_t label = function->name ? function->name->size() : 40;
        if (auto charged = reader.charge(kFunctionContextCost + 2 * label); !charged)
            return std::unexpected(std::move(charged.error()));
    }
    auto registry = kdinstr::encoding::decode_type_registry(reader);
    if (!registry) return std::unexpected(std::move(registry.error()));
    storage.type_registry = std::move(*registry);
    return storage;
}

std::expected<std::vector<std::uint8_t>, KdError> CompiledModuleStorage::encode(
    const CompiledModuleStorage& storage, const kdcore::base::InstanceContext& instance) {
    instance.log(sites::STORAGE_SERIALIZING, storage.module.functions.size());

    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    const std::string requirement = VersionReq::exact(instance.engine_version()).to_string();
    out.insert(out.end(), requirement.begin(), requirement.end());
    out.push_back(0);

    IoResult<void> written;
    {
        ZstdCompressor compressor(out);
        BorshWriter writer(compressor);
        written = write_body(writer, storage);
        if (written) written = compressor.finish();
    }
    if (!written) {
        std::string text = fmt::format(fmt::runtime(sites::STORAGE_SERIALIZE_HEADER_FAILED.text),
                                       written.error().to_string());
        instance.log(sites::STORAGE_SERIALIZE_HEADER_FAILED, written.error().to_string());
        return std::unexpected(KdError(KdError::Unknown{std::move(text)}));
    }
    return out;
}

std::expected<CompiledModuleStorage, KdError> CompiledModuleStorage::decode(
    const kdcore::base::InstanceContext& instance, std::span<const std::uint8_t> bytes) {
    return decode(instance, bytes, decode_budget(bytes.size()));
}

std::expected<CompiledModuleStorage, KdError> CompiledModuleStorage::decode(
    const kdcore::base::InstanceContext& instance, std::span<const std::uint8_t> bytes,
    std::size_t budget) {
    instance.log(sites::STORAGE_DESERIALIZING, bytes.size());

    auto fail = [&](const std::string& error) -> std::expected<CompiledModuleStorage, KdError> {
        std::string text = fmt::format(fmt::runtime(sites::STORAGE_READ_HEADER_FAILED.text), error);
        instance.log(sites::STORAGE_READ_HEADER_FAILED, error);
        return std::unexpected(KdError(KdError::Unknown{std::move(text)}));
    };

    auto body_offset = check_header(instance, bytes);
    if (!body_offset) return fail(body_offset.error());

    SpanSource input(bytes.subspan(*body_offset));
    DecodeBudget cost(budget, Messages::kBudgetExceeded);
    ZstdDecompressor decompressor(input, kMaxBodyBytes, Messages::kBodyTooLarge, &cost);
    BorshReader reader(decompressor, cost);
    auto storage = read_body(reader);
    if (!storage) return fail(storage.error().to_string());
    if (const char* refusal = type_text_refusal(*storage, budget / kTypeTextShare))
        return fail(refusal);
    return std::move(*storage);
}

// Types that share elements can print exponentially longer than they are stored, and an error
// message shows a whole instruction with every type it names: a storage is refused before
// anything could print its types when one of them, or those that one place of the module names
// together, would print more than `most` characters.
const char* CompiledModuleStorage::type_text_refusal(const CompiledModuleStorage& storage,
                                                     std::size_t most) {
    const auto view = storage.type_registry.read();
    const kdinstr::types::TypeTextLengths lengths(view.types(), most == SIZE_MAX ? most : most + 1);
    if (lengths.longest() > most) return Messages::kTypeTextTooLong;
    // Each time a place names a type it holds the type's 16 bytes, in a body of at most
    // kMaxBodyBytes: when that many names of the longest text fit, the module need not be walked.
    constexpr std::size_t kMostNames = kMaxBodyBytes / 16;
    if (lengths.longest_of_any() <= most / kMostNames) return nullptr;
    if (storage.module.longest_named_type_text(lengths) > most)
        return Messages::kNamedTypeTextsTooLong;
    return nullptr;
}

}  // namespace kdcore::compiler
