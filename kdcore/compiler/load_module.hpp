#pragma once
// Loading compiled module storage into an instance.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>

#include "kdcore/base/module_key.hpp"
#include "kdcore/utils/kd_error.hpp"

namespace kdcore::base {
class InstanceContext;
}

namespace kdcore::compiler {

// Decodes `bytes`, merges the stored type registry into the instance's, rewrites the module's
// types through the merge and hands the module to InstanceContext::add_module, whose key it
// returns. A storage that cannot be read returns the reader's error; a stored registry that
// cannot be merged returns KdError::Unknown with the merge error's text, before anything is
// added to the module table (types merged until then stay in the instance's registry).
std::expected<kdcore::base::ModuleKey, kdcore::utils::KdError> load_module(
    const std::shared_ptr<kdcore::base::InstanceContext>& instance,
    std::span<const std::uint8_t> bytes);
// The same, decoding within `budget` bytes of cost instead of the storage size's
// (CompiledModuleStorage::decode with a budget).
std::expected<kdcore::base::ModuleKey, kdcore::utils::KdError> load_module(
    const std::shared_ptr<kdcore::base::InstanceContext>& instance,
    std::span<const std::uint8_t> bytes, std::size_t budget);

}  // namespace kdcore::compiler
