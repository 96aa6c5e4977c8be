#include "kdcore/compiler/compiled_module_storage.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "kdcore/base/instance_context.hpp"
#include "kdcore/base/log_sites.hpp"
#include "kdcore/compiler/semver.hpp"
#include "kdcore/compiler/zstd_stream.hpp"
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/encoding/module_codec.hpp"
#include "kdinstr/encoding/registry_codec.hpp"
#include "kdinstr/encoding/utf8_check.hpp"

namespace kdcore::compiler {

namespace {

namespace sites = kdcore::base::log_sites;
using kdcore::utils::KdError;
using kdinstr::encoding::BorshReader;
using kdinstr::encoding::BorshWriter;
using kdinstr::encoding::IoError;
using kdinstr::encoding::IoResult;
using kdinstr::encoding::SpanSource;
using Messages = CompiledModuleStorage::Messages;

// The codecs write and read a few bytes at a time; a zstd stream call per field would dominate
// the cost, so both directions go through a buffer of a zstd block's size.
constexpr std::size_t kBodyBufferSize = 128 * 1024;

class BufferedSink final : public kdinstr::encoding::ByteSink {
public:
    explicit BufferedSink(ByteSink& inner) : inner_(inner) { buffer_.reserve(kBodyBufferSize); }

    IoResult<void> write(std::span<const std::uint8_t> bytes) override {
        if (buffer_.size() + bytes.size() > kBodyBufferSize) {
            if (auto r = flush(); !r) return r;
            if (bytes.size() >= kBodyBufferSize) return inner_.write(bytes);
        }
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        return {};
    }

    IoResult<void> flush() {
        if (buffer_.empty()) return {};
        auto r = inner_.write(buffer_);
        buffer_.clear();
        return r;
    }

private:
    ByteSink& inner_;
    std::vector<std::uint8_t> buffer_;
};

// Refills only when the reader needs a byte it does not hold, so a frame that follows the body
// is not touched unless the body continues into it.
class BufferedSource final : public kdinstr::encoding::ByteSource {
public:
    explicit BufferedSource(ByteSource& inner) : inner_(inner), buffer_(kBodyBufferSize) {}

    IoResult<std::size_t> read(std::span<std::uint8_t> out) override {
        if (out.empty()) return 0;
        if (pos_ == size_) {
            auto n = inner_.read(buffer_);
            if (!n) return n;
            pos_ = 0;
            size_ = *n;
            if (size_ == 0) return 0;
        }
        const std::size_t n = std::min(out.size(), size_ - pos_);
        std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(pos_), n, out.begin());
        pos_ += n;
        return n;
    }

private:
    ByteSource& inner_;
    std::vector<std::uint8_t> buffer_;
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
};

IoResult<void> write_body(BorshWriter& writer, const CompiledModuleStorage& storage) {
    auto names = writer.write_seq(storage.source_names, [](BorshWriter& w, const std::string& name) {
        return w.write_string(name);
    });
    if (!names) return names;
    if (auto module = kdinstr::encoding::encode(writer, storage.module); !module) return module;
    return kdinstr::encoding::encode(writer, storage.type_registry);
}

IoResult<CompiledModuleStorage> read_body(BorshReader& reader) {
    CompiledModuleStorage storage;
    auto names = reader.read_seq<std::string>([](BorshReader& r) { return r.read_string(); });
    if (!names) return std::unexpected(std::move(names.error()));
    storage.source_names = std::move(*names);
    auto module = kdinstr::encoding::decode_module(reader);
    if (!module) return std::unexpected(std::move(module.error()));
    storage.module = std::move(*module);
    auto registry = kdinstr::encoding::decode_type_registry(reader);
    if (!registry) return std::unexpected(std::move(registry.error()));
    storage.type_registry = std::move(*registry);
    return storage;
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
    const std::string_view requirement_text(
        reinterpret_cast<const char*>(requirement_bytes.data()), requirement_bytes.size());
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
        BufferedSink buffered(compressor);
        BorshWriter writer(buffered);
        written = write_body(writer, storage);
        if (written) written = buffered.flush();
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
    instance.log(sites::STORAGE_DESERIALIZING, bytes.size());

    auto fail = [&](const std::string& error) -> std::expected<CompiledModuleStorage, KdError> {
        std::string text =
            fmt::format(fmt::runtime(sites::STORAGE_READ_HEADER_FAILED.text), error);
        instance.log(sites::STORAGE_READ_HEADER_FAILED, error);
        return std::unexpected(KdError(KdError::Unknown{std::move(text)}));
    };

    auto body_offset = check_header(instance, bytes);
    if (!body_offset) return fail(body_offset.error());

    SpanSource input(bytes.subspan(*body_offset));
    ZstdDecompressor decompressor(input);
    BufferedSource buffered(decompressor);
    BorshReader reader(buffered);
    auto storage = read_body(reader);
    if (!storage) return fail(storage.error().to_string());
    return std::move(*storage);
}

}  // namespace kdcore::compiler
