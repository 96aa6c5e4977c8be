#pragma once
// An instance to encode and load with, and compiled module storage of a given size, for the
// storage and load benchmarks.
#include <cstdint>
#include <memory>
#include <utility>

#include "bench/bench_module.hpp"
#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/load_time.hpp"

namespace kdbench {

// Null when the instance cannot be made; the benchmark then reports an error.
inline std::shared_ptr<kdcore::base::InstanceContext> instance() {
    kdcore::register_load_time_entries();
    kdcore::base::api::InstanceCreateInfo info;
    info.application_info.application_name = "bench";
    info.application_info.engine_name = "bench";
    info.application_info.engine_version = {1, 0, 0};
    auto created = kdcore::base::api::create_instance(std::move(info));
    return created ? *created : nullptr;
}

// `functions` chains of 4 blocks of 25 additions over i64 (100 instructions each).
inline kdcore::compiler::CompiledModuleStorage storage(std::uint32_t functions) {
    kdcore::compiler::CompiledModuleStorage s;
    s.source_names = {"bench.kd"};
    s.module = chain_module(i64_in(s.type_registry), functions, 25);
    return s;
}

}  // namespace kdbench
