#include "kdcore/compiler/load_module.hpp"

#include <fmt/format.h>

#include <utility>

#include "kdcore/base/instance_context.hpp"
#include "kdcore/base/log_sites.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdcore::compiler {

namespace sites = kdcore::base::log_sites;
using kdcore::base::InstanceContext;
using kdcore::base::ModuleKey;
using kdcore::utils::KdError;

std::expected<ModuleKey, KdError> load_module(const std::shared_ptr<InstanceContext>& instance,
                                              std::span<const std::uint8_t> bytes) {
    return load_module(instance, bytes, CompiledModuleStorage::decode_budget(bytes.size()));
}

std::expected<ModuleKey, KdError> load_module(const std::shared_ptr<InstanceContext>& instance,
                                              std::span<const std::uint8_t> bytes,
                                              std::size_t budget) {
    if (!instance) kdinstr::utils::panic("load_module called without an instance");
    auto storage = CompiledModuleStorage::decode(*instance, bytes, budget);
    if (!storage) return std::unexpected(std::move(storage.error()));

    instance->log(sites::LOAD_LOADED, storage->module.functions.size(), bytes.size());
    instance->log(sites::LOAD_COMPILED_FROM,
                  fmt::format("{}", fmt::join(storage->source_names, ", ")));
    instance->log(sites::LOAD_MERGING, storage->type_registry.len(),
                  instance->type_registry().len());

    auto remap = instance->type_registry().merge_with(storage->type_registry);
    if (!remap) return std::unexpected(KdError(KdError::Unknown{remap.error().message()}));
    return InstanceContext::add_module(instance, std::move(storage->module), *remap);
}

}  // namespace kdcore::compiler
