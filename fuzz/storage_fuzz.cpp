// Compiled module storage, any bytes, through the whole load path of a fresh instance: header,
// decompression, decoding, registry merge, remap, verification, type check, analysis and the
// insertion into the module table. The decode budget is a small one of the same form: a body
// that inflates would otherwise spend the real one's floor, tens of megabytes, on every run (the
// module body target checks the budget's own edges).
#include <cstddef>
#include <cstdint>
#include <span>

#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/compiler/load_module.hpp"
#include "kdcore/load_time.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kdcore::register_load_time_entries();
    kdcore::base::api::InstanceCreateInfo info;
    info.application_info.application_name = "fuzz";
    auto instance = kdcore::base::api::create_instance(std::move(info));
    if (!instance) return 0;
    constexpr std::size_t kFloor = std::size_t{1} << 20;
    const std::size_t budget =
        kFloor + size * kdcore::compiler::CompiledModuleStorage::kDecodeBudgetFactor;
    auto key =
        kdcore::compiler::load_module(*instance, std::span<const std::uint8_t>(data, size), budget);
    if (!key) (void)key.error().message();
    return 0;
}
