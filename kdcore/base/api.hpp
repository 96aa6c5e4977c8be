#pragma once
// Configuration records, as the engine receives them from the binding, and the entry point that
// creates an instance from them.
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kdcore/compiler/semver.hpp"
#include "kdcore/utils/kd_error.hpp"
#include "kdcore/utils/opaque.hpp"

namespace kdcore::base {
class InstanceContext;
}

namespace kdcore::base::api {

struct VersionInfo {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t patch = 0;

    bool operator==(const VersionInfo&) const = default;

    // major.minor.patch, without pre-release or build metadata.
    kdcore::compiler::Version to_version() const;
};

struct ApplicationInfo {
    VersionInfo application_version;
    std::string application_name;
    VersionInfo engine_version;  // the caller's declared engine version: shown, never compared
    std::string engine_name;
};

struct InstanceCreateInfo {
    ApplicationInfo application_info;
    std::vector<std::string> enabled_extensions;  // plugin names, in the caller's order
    std::uint32_t node_id = 0;
    kdcore::utils::opaque::OpaqueList ext;  // extension configuration objects
};

// The kind of a compile source; stored as u32.
enum class ModuleSourceType : std::uint32_t { Assembly = 0 };

struct ModuleSourceInfo {
    ModuleSourceType source_type = ModuleSourceType::Assembly;
    std::optional<std::string> filename;
    std::string data;  // the whole source text
    // When set, the source text instead of `data`: text that whoever fills the record keeps
    // alive and unchanged until the compilation returns (the Python binding's str objects), so
    // that a large source is not copied.
    std::optional<std::string_view> borrowed_data;

    std::string_view text() const {
        return borrowed_data ? *borrowed_data : std::string_view(data);
    }
};

// Sources are compiled in list order.
struct ModuleCompileInfo {
    std::vector<ModuleSourceInfo> sources;
};

// Builds an instance (InstanceContext::create), consuming the record.
std::expected<std::shared_ptr<InstanceContext>, kdcore::utils::KdError> create_instance(
    InstanceCreateInfo info);

}  // namespace kdcore::base::api
