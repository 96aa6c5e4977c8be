// The member entry points of the IR's checks; the checks themselves live beside their rules.
#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/modules/ssa.hpp"
#include "kdinstr/modules/verify.hpp"
#include "kdinstr/types/checker.hpp"

namespace kdinstr::modules {

std::expected<void, utils::Error> Function::verify() const { return modules::verify(*this); }

std::expected<void, utils::Error> Function::normalize_ssa() {
    return modules::normalize_ssa(*this);
}

bool Function::should_be_meta_function() const { return modules::should_be_meta_function(*this); }

std::set<std::uint16_t> Function::generate_wildcard_types() const {
    return modules::generate_wildcard_types(*this);
}

std::expected<void, utils::Error> Function::type_check(types::TypeRegistry& registry) const {
    return types::checker::type_check(*this, registry);
}

std::expected<void, utils::Error> Module::verify() const { return verify_module(*this); }

std::expected<void, utils::Error> Module::verify_func(const Function& function) const {
    return modules::verify_func(*this, function);
}

}  // namespace kdinstr::modules
