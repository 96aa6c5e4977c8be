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

std::expected<ModuleKey, KdError> InstanceContext::add_module(
    const std::shared_ptr<InstanceContext>& instance, kdinstr::modules::Module module) {
    if (!instance) kdinstr::utils::panic("add_module called without an instance");
    const InstanceContext& self = *instance;

    self.log(log_sites::ADD_MODULE_VERIFYING);
    if (auto verified = module.verify(); !verified) {
        return std::unexpected(KdError(KdError::Instr{std::move(verified.error())}));
    }

    std::vector<std::string> labels;
    labels.reserve(module.functions.size());
    for (const auto& [key, function] : module.functions) {
        std::string label = function_label(*function);
        self.log(log_sites::ADD_MODULE_TYPE_CHECKING, label);
        if (auto checked = function->type_check(self.type_registry_); !checked) {
            self.log(log_sites::ADD_MODULE_TYPE_CHECK_FAILED, label, checked.error().message());
            return std::unexpected(KdError(KdError::Instr{std::move(checked.error())}));
        }
        labels.push_back(std::move(label));
    }

    auto context = std::make_unique<module::ModuleContext>();
    context->instance = instance;
    context->uuid = kdinstr::utils::new_v6(self.next_clock_sequence(), self.node_);
    context->module = std::move(module);
    // Nobody else sees the context yet: the shard locks taken here are uncontended.
    for (const auto& [key, function] : context->module.functions) {
        module::FunctionContext function_context{
            .analysis = kdinstr::analysis::analyze(function),
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
