// InstanceContext::add_module: the second half of loading, once the module's types live in the
// instance's registry.
#include <memory>
#include <utility>

#include "kdcore/base/function_label.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/base/module/module_context.hpp"
#include "kdinstr/analysis/function_analysis.hpp"
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

    // Each function is analysed once it passes its type check, while it is at hand, and goes
    // straight into the context; analyses are pure, so the context of a module that then fails
    // is simply dropped. Nobody else sees the context yet: the shard locks taken here are
    // uncontended.
    auto context = std::make_unique<module::ModuleContext>();
    context->functions.reserve(module.functions.size());
    for (auto& [key, function] : module.functions) {
        if (remap_each) kdinstr::modules::Module::remap_function_types(function, remap);
        // Labels are only made for lines that are shown.
        if (self.log_shown(log_sites::ADD_MODULE_TYPE_CHECKING.level))
            self.log(log_sites::ADD_MODULE_TYPE_CHECKING, function_label(*function));
        if (auto checked = function->type_check(self.type_registry_); !checked) {
            if (self.log_shown(log_sites::ADD_MODULE_TYPE_CHECK_FAILED.level))
                self.log(log_sites::ADD_MODULE_TYPE_CHECK_FAILED, function_label(*function),
                         checked.error().message());
            return std::unexpected(KdError(KdError::Instr{std::move(checked.error())}));
        }
        // Two entries carrying one UUID leave the later one.
        context->functions.insert(function->uuid,
                                  module::FunctionContext{
                                      .analysis = kdinstr::analysis::analyze(function),
                                      .function = function,
                                      .uuid = function->uuid,
                                      .attached = {},
                                  });
    }

    context->instance = instance;
    context->uuid = kdinstr::utils::new_v6(self.next_clock_sequence(), self.node_);
    // The context's entries share the functions, which stay where they are.
    context->module = std::move(module);

    if (self.log_shown(log_sites::ADD_MODULE_ADDED.level))
        self.log(log_sites::ADD_MODULE_ADDED, context->uuid.to_string(),
                 function_labels_text(context->module));

    const ModuleKey key = instance->insert_module(std::move(context));
    // Written after the table's lock is released: a logger callable may load into this
    // instance, or let another thread do so, while it receives the line.
    self.log(log_sites::ADD_MODULE_INSERTED, key);
    return key;
}

}  // namespace kdcore::base
