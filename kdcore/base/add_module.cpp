// InstanceContext::add_module: the second half of loading, once the module's types live in the
// instance's registry.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kdcore/base/function_label.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/base/module/module_context.hpp"
#include "kdinstr/analysis/function_analysis.hpp"
#include "kdinstr/utils/debug_text.hpp"
#include "kdinstr/utils/panic.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace kdcore::base {

using kdcore::utils::KdError;

namespace {

// Whether the mapping would change a reference the verification reads as a wildcard's: only a
// hostile storage names a registry type by such a reference.
bool remaps_wildcards(const kdinstr::modules::TypeRemap& remap) {
    for (const auto& [from, to] : remap)
        if (from.is_wildcard() || to.is_wildcard()) return true;
    return false;
}

}  // namespace

std::expected<ModuleKey, KdError> InstanceContext::add_module(
    const std::shared_ptr<InstanceContext>& instance, kdinstr::modules::Module module) {
    return add_module(instance, std::move(module), kdinstr::modules::TypeRemap{});
}

std::expected<ModuleKey, KdError> InstanceContext::add_module(
    const std::shared_ptr<InstanceContext>& instance, kdinstr::modules::Module module,
    const kdinstr::modules::TypeRemap& remap) {
    if (!instance) kdinstr::utils::panic("add_module called without an instance");
    const InstanceContext& self = *instance;

    // Verification reads no type but the wildcards, so each function's types are remapped just
    // before its type check, while it is at hand, instead of in a walk of the whole module of
    // their own; a mapping that touches wildcards is applied to the whole module first.
    const bool remap_each = !remap.empty() && !remaps_wildcards(remap);
    if (!remap.empty() && !remap_each) module.remap_types(remap);
    if (remap_each) module.remap_external_types(remap);

    self.log(log_sites::ADD_MODULE_VERIFYING);
    if (auto verified = module.verify(); !verified) {
        return std::unexpected(KdError(KdError::Instr{std::move(verified.error())}));
    }

    // Each function is analysed once it passes its type check, while it is at hand; analyses
    // are pure, so those of a module that then fails are simply dropped.
    std::vector<std::string> labels;
    std::vector<kdinstr::analysis::FunctionAnalysis> analyses;
    labels.reserve(module.functions.size());
    analyses.reserve(module.functions.size());
    for (auto& [key, function] : module.functions) {
        if (remap_each) kdinstr::modules::Module::remap_function_types(function, remap);
        std::string label = function_label(*function);
        self.log(log_sites::ADD_MODULE_TYPE_CHECKING, label);
        if (auto checked = function->type_check(self.type_registry_); !checked) {
            self.log(log_sites::ADD_MODULE_TYPE_CHECK_FAILED, label, checked.error().message());
            return std::unexpected(KdError(KdError::Instr{std::move(checked.error())}));
        }
        labels.push_back(std::move(label));
        analyses.push_back(kdinstr::analysis::analyze(function));
    }

    auto context = std::make_unique<module::ModuleContext>();
    context->instance = instance;
    context->uuid = kdinstr::utils::new_v6(self.next_clock_sequence(), self.node_);
    context->module = std::move(module);
    // Nobody else sees the context yet: the shard locks taken here are uncontended.
    std::size_t next = 0;
    for (const auto& [key, function] : context->module.functions) {
        module::FunctionContext function_context{
            .analysis = std::move(analyses[next++]),
            .function = function,
            .uuid = function->uuid,
            .attached = {},
        };
        // Two entries carrying one UUID leave the later one.
        context->functions.insert(function->uuid, std::move(function_context));
    }

    self.log(log_sites::ADD_MODULE_ADDED, context->uuid.to_string(),
             kdinstr::utils::debug_text_list(labels));

    const ModuleKey key = instance->insert_module(std::move(context));
    // Written after the table's lock is released: a logger callable may load into this
    // instance, or let another thread do so, while it receives the line.
    self.log(log_sites::ADD_MODULE_INSERTED, key);
    return key;
}

}  // namespace kdcore::base
