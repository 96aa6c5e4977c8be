#pragma once
// The compiler: IR assembly sources to compiled module storage.
#include <cstdint>
#include <expected>
#include <vector>

#include "kdcore/base/api.hpp"
#include "kdcore/utils/kd_error.hpp"

namespace kdcore::base {
class InstanceContext;
}

namespace kdcore::compiler {

// Parses every source in order into one fresh module with a fresh type registry (a source may
// call functions of earlier sources, not of later ones), verifies the module, type-checks each
// function in UUID order and returns the encoded storage. The instance only receives the log
// lines. A parse, verification or type-check failure is logged at Error level and returned as
// KdError::Instr (later sources are never read); an encoding failure as the writer's
// KdError::Unknown.
std::expected<std::vector<std::uint8_t>, kdcore::utils::KdError> compile_sources(
    const kdcore::base::InstanceContext& instance, kdcore::base::api::ModuleCompileInfo info);

}  // namespace kdcore::compiler
