// Loading compiled module storage into a fresh instance (decode, merge, verify, type check,
// analysis, registration), per instruction; add_module alone on a module already decoded and
// remapped (the checks and the analysis); and the remap alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "bench/bench_module.hpp"
#include "bench/bench_storage.hpp"
#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/compiler/load_module.hpp"
#include "kdcore/load_time.hpp"

namespace {

using kdcore::compiler::CompiledModuleStorage;

using kdbench::instance;
using kdbench::storage;

void BM_LoadModule(benchmark::State& state) {
    const auto writer = instance();
    if (!writer) return state.SkipWithError("no instance");
    const auto bytes =
        CompiledModuleStorage::encode(storage(static_cast<std::uint32_t>(state.range(0))), *writer);
    if (!bytes) return state.SkipWithError("encode failed");
    for (auto _ : state) {
        state.PauseTiming();
        auto target = instance();
        state.ResumeTiming();
        auto key = kdcore::compiler::load_module(target, *bytes);
        if (!key) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(key);
        state.PauseTiming();
        target.reset();  // the teardown is not part of the load
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 100);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes->size()));
}
BENCHMARK(BM_LoadModule)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_AddModule(benchmark::State& state) {
    const auto writer = instance();
    if (!writer) return state.SkipWithError("no instance");
    for (auto _ : state) {
        state.PauseTiming();
        auto target = instance();
        auto s = storage(static_cast<std::uint32_t>(state.range(0)));
        auto remap = target->type_registry().merge_with(s.type_registry);
        if (!remap) state.SkipWithError("merge failed");
        s.module.remap_types(*remap);
        state.ResumeTiming();
        auto key = kdcore::base::InstanceContext::add_module(target, std::move(s.module));
        if (!key) state.SkipWithError("add_module failed");
        benchmark::DoNotOptimize(key);
        state.PauseTiming();
        target.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 100);
}
BENCHMARK(BM_AddModule)->Arg(2000)->Unit(benchmark::kMillisecond);

// The remap alone: every function is rewritten into a copy, since a module's functions are
// shared read-only values.
void BM_RemapTypes(benchmark::State& state) {
    std::optional<CompiledModuleStorage> s;
    for (auto _ : state) {
        state.PauseTiming();
        s.emplace(storage(static_cast<std::uint32_t>(state.range(0))));
        kdinstr::types::TypeRegistry target;
        auto remap = target.merge_with(s->type_registry);
        if (!remap) state.SkipWithError("merge failed");
        state.ResumeTiming();
        s->module.remap_types(*remap);
        benchmark::DoNotOptimize(s);
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 100);
}
BENCHMARK(BM_RemapTypes)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
