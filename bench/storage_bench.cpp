// Compiled module storage encode and decode (compression included), per instruction.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <utility>

#include "bench/bench_module.hpp"
#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/load_time.hpp"

namespace {

using kdcore::compiler::CompiledModuleStorage;

std::shared_ptr<kdcore::base::InstanceContext> instance() {
    kdcore::register_load_time_entries();
    kdcore::base::api::InstanceCreateInfo info;
    info.application_info.application_name = "bench";
    info.application_info.engine_name = "bench";
    info.application_info.engine_version = {1, 0, 0};
    auto created = kdcore::base::api::create_instance(std::move(info));
    return created ? *created : nullptr;
}

CompiledModuleStorage storage(std::uint32_t functions) {
    CompiledModuleStorage s;
    s.source_names = {"bench.kd"};
    s.module = kdbench::chain_module(kdbench::i64_in(s.type_registry), functions, 25);
    return s;
}

void BM_StorageEncode(benchmark::State& state) {
    const auto inst = instance();
    if (!inst) return state.SkipWithError("no instance");
    const auto s = storage(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(CompiledModuleStorage::encode(s, *inst));
    state.SetItemsProcessed(state.iterations() * state.range(0) * 100);
}
BENCHMARK(BM_StorageEncode)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_StorageDecode(benchmark::State& state) {
    const auto inst = instance();
    if (!inst) return state.SkipWithError("no instance");
    const auto bytes =
        CompiledModuleStorage::encode(storage(static_cast<std::uint32_t>(state.range(0))), *inst);
    if (!bytes) return state.SkipWithError("encode failed");
    for (auto _ : state) {
        auto s = CompiledModuleStorage::decode(*inst, *bytes);
        if (!s) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 100);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes->size()));
}
BENCHMARK(BM_StorageDecode)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
