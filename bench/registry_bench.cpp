// Type registry merging, per type of the merged registry.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/bench_registry.hpp"

namespace {

using kdinstr::types::TypeRegistry;

void run_merge(benchmark::State& state, const TypeRegistry& source) {
    for (auto _ : state) {
        TypeRegistry target;
        auto merged = target.merge_with(source);
        if (!merged) state.SkipWithError("merge failed");
        benchmark::DoNotOptimize(merged);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(source.len()));
}

// A compiler's registry into a fresh instance registry.
void BM_RegistryMerge(benchmark::State& state) {
    TypeRegistry source;
    kdbench::fill_mixed(source, static_cast<std::uint32_t>(state.range(0)));
    run_merge(state, source);
}
BENCHMARK(BM_RegistryMerge)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

// Merging the same registry again: every type is found, none is added.
void BM_RegistryMergeAgain(benchmark::State& state) {
    TypeRegistry source, target;
    kdbench::fill_mixed(source, static_cast<std::uint32_t>(state.range(0)));
    if (!target.merge_with(source)) return state.SkipWithError("merge failed");
    for (auto _ : state) benchmark::DoNotOptimize(target.merge_with(source));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RegistryMergeAgain)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Each array waits for an element that sorts after it.
void BM_RegistryMergeReversedChain(benchmark::State& state) {
    TypeRegistry source;
    kdbench::fill_reversed_chain(source, static_cast<std::uint32_t>(state.range(0)));
    run_merge(state, source);
}
BENCHMARK(BM_RegistryMergeReversedChain)
    ->Arg(1'000)
    ->Arg(8'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
