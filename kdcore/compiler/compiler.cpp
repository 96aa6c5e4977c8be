#include "kdcore/compiler/compiler.hpp"

#include <optional>
#include <string>
#include <utility>

#include "kdcore/base/function_label.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/base/log_sites.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdinstr/modules/parser/driver.hpp"

namespace kdcore::compiler {

namespace sites = kdcore::base::log_sites;
using kdcore::base::function_label;
using kdcore::utils::KdError;

namespace {

constexpr std::string_view kUnnamedSource = "<unnamed>";

}  // namespace

std::expected<std::vector<std::uint8_t>, KdError> compile_sources(
    const kdcore::base::InstanceContext& instance, kdcore::base::api::ModuleCompileInfo info) {
    // A compilation's registry mints with clock sequence 0 and a zero node: its types belong to
    // no instance.
    CompiledModuleStorage storage;
    // Each source is verified as it is read, in proportion to what it adds.
    kdinstr::modules::parser::ModuleExtender extender(storage.module, storage.type_registry);

    for (auto& source : info.sources) {
        const std::string_view label =
            source.filename ? std::string_view(*source.filename) : kUnnamedSource;
        instance.log(sites::COMPILE_SOURCE, label);
        auto parsed = extender.extend(source.text());
        if (!parsed) {
            instance.log(sites::COMPILE_SOURCE_FAILED, label, parsed.error().message());
            return std::unexpected(KdError(KdError::Instr{std::move(parsed.error())}));
        }
        if (source.filename) storage.source_names.push_back(std::move(*source.filename));
        std::string().swap(source.data);  // the text is not needed any more
    }

    instance.log(sites::COMPILE_VERIFYING);
    // Reading a source ends with the verification of the whole module; after the last source
    // the module is the one that was verified then, so its result stands. Only a compilation
    // without sources still needs its (empty) module verified here.
    if (auto verified = info.sources.empty() ? storage.module.verify()
                                             : std::expected<void, kdinstr::utils::Error>{};
        !verified) {
        instance.log(sites::COMPILE_VERIFY_FAILED, verified.error().message());
        return std::unexpected(KdError(KdError::Instr{std::move(verified.error())}));
    }

    instance.log(sites::COMPILE_TYPE_CHECKING_MODULE);
    std::optional<kdinstr::utils::Error> failed;
    storage.module.for_each_function([&](const auto&, const auto& function) {
        // Labels are only made for lines that are shown.
        if (instance.log_shown(sites::COMPILE_TYPE_CHECKING_FUNCTION.level))
            instance.log(sites::COMPILE_TYPE_CHECKING_FUNCTION, function_label(*function));
        if (auto checked = function->type_check(storage.type_registry); !checked) {
            if (instance.log_shown(sites::COMPILE_TYPE_CHECK_FAILED.level))
                instance.log(sites::COMPILE_TYPE_CHECK_FAILED, function_label(*function),
                             checked.error().message());
            failed = std::move(checked.error());
            return false;
        }
        return true;
    });
    if (failed) return std::unexpected(KdError(KdError::Instr{std::move(*failed)}));

    auto bytes = CompiledModuleStorage::encode(storage, instance);
    if (!bytes) return std::unexpected(std::move(bytes.error()));

    if (instance.log_shown(sites::COMPILE_SUCCEEDED.level))
        instance.log(sites::COMPILE_SUCCEEDED, storage.module.functions.size(),
                     kdcore::base::function_labels_text(storage.module));
    instance.log(sites::COMPILE_PRODUCED, bytes->size());
    return std::move(*bytes);
}

}  // namespace kdcore::compiler
