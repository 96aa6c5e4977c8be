// Compiled module storage, any bytes, through the whole load path of a fresh instance: header,
// decompression, decoding, registry merge, remap, verification, type check, analysis and the
// insertion into the module table.
#include <cstddef>
#include <cstdint>
#include <span>

#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/compiler/load_module.hpp"
#include "kdcore/load_time.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kdcore::register_load_time_entries();
    kdcore::base::api::InstanceCreateInfo info;
    info.application_info.application_name = "fuzz";
    auto instance = kdcore::base::api::create_instance(std::move(info));
    if (!instance) return 0;
    auto key = kdcore::compiler::load_module(*instance, std::span<const std::uint8_t>(data, size));
    if (!key) (void)key.error().message();
    return 0;
}
