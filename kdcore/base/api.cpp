#include "kdcore/base/api.hpp"

#include "kdcore/base/instance_context.hpp"

namespace kdcore::base::api {

kdcore::compiler::Version VersionInfo::to_version() const {
    return kdcore::compiler::Version{
        .major = major, .minor = minor, .patch = patch, .pre = {}, .build = {}};
}

std::expected<std::shared_ptr<InstanceContext>, kdcore::utils::KdError> create_instance(
    InstanceCreateInfo info) {
    return InstanceContext::create(std::move(info));
}

}  // namespace kdcore::base::api
