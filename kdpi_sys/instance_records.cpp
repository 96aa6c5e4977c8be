#include "kdpi_sys/instance_records.hpp"

#include "kdpi_sys/opaque_loaders.hpp"
#include "kdpi_sys/record_reading.hpp"

namespace kdpi_sys {

namespace {

using kdcore::base::api::ApplicationInfo;
using kdcore::base::api::InstanceCreateInfo;
using kdcore::base::api::VersionInfo;
using kdcore::utils::opaque::OpaqueList;
using kdcore::utils::opaque::OwnedOpaqueObject;

constexpr const char* invalid_instance_create_info_text = "Invalid InstanceCreateInfo: ";

std::optional<std::vector<std::string>> read_texts(PyObject* value) {
    return read_sequence(value, read_text);
}

std::optional<OpaqueList> read_opaque_list(PyObject* value) {
    auto objects = read_sequence(value, [](PyObject* item) -> std::optional<OwnedOpaqueObject> {
        OwnedOpaqueObject object = load_opaque_object(item);
        if (!object) return std::nullopt;
        return object;
    });
    if (!objects) return std::nullopt;
    return OpaqueList{std::move(*objects)};
}

}  // namespace

std::optional<VersionInfo> read_version_info(PyObject* object) {
    constexpr std::string_view record = "VersionInfo";
    const auto major = read_field(object, record, "major", read_integer<std::uint16_t>);
    if (!major) return std::nullopt;
    const auto minor = read_field(object, record, "minor", read_integer<std::uint16_t>);
    if (!minor) return std::nullopt;
    const auto patch = read_field(object, record, "patch", read_integer<std::uint16_t>);
    if (!patch) return std::nullopt;
    return VersionInfo{.major = *major, .minor = *minor, .patch = *patch};
}

std::optional<ApplicationInfo> read_application_info(PyObject* object) {
    constexpr std::string_view record = "ApplicationInfo";
    auto application_version = read_field(object, record, "application_version", read_version_info);
    if (!application_version) return std::nullopt;
    auto application_name = read_field(object, record, "application_name", read_text);
    if (!application_name) return std::nullopt;
    auto engine_version = read_field(object, record, "engine_version", read_version_info);
    if (!engine_version) return std::nullopt;
    auto engine_name = read_field(object, record, "engine_name", read_text);
    if (!engine_name) return std::nullopt;
    return ApplicationInfo{.application_version = *application_version,
                           .application_name = std::move(*application_name),
                           .engine_version = *engine_version,
                           .engine_name = std::move(*engine_name)};
}

std::optional<InstanceCreateInfo> read_instance_create_info(PyObject* object) {
    constexpr std::string_view record = "InstanceCreateInfo";
    auto application_info = read_field(object, record, "application_info", read_application_info);
    if (!application_info) return std::nullopt;
    auto enabled_extensions = read_field(object, record, "enabled_extensions", read_texts);
    if (!enabled_extensions) return std::nullopt;
    const auto node_id = read_field(object, record, "node_id", read_integer<std::uint32_t>);
    if (!node_id) return std::nullopt;
    auto ext = read_field(object, record, "ext", read_opaque_list);
    if (!ext) return std::nullopt;
    return InstanceCreateInfo{.application_info = std::move(*application_info),
                              .enabled_extensions = std::move(*enabled_extensions),
                              .node_id = *node_id,
                              .ext = std::move(*ext)};
}

std::optional<InstanceCreateInfo> read_instance_create_info_argument(PyObject* object) {
    auto info = read_instance_create_info(object);
    if (!info) raise_invalid_record(invalid_instance_create_info_text);
    return info;
}

}  // namespace kdpi_sys
