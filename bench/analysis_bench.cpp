// Function analysis (flow graph and destination map), per instruction: one large function, and
// a module of many small ones as compiled programs mostly are.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "bench/bench_module.hpp"
#include "kdinstr/analysis/function_analysis.hpp"

namespace {

void BM_Analyze(benchmark::State& state) {
    kdinstr::types::TypeRegistry registry;
    const auto f = std::make_shared<const kdinstr::modules::Function>(kdbench::add_chain(
        kdbench::i64_in(registry), 16, static_cast<std::uint32_t>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(kdinstr::analysis::analyze(f));
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_Analyze)->Arg(1 << 8)->Arg(1 << 14);

// Functions of 4 blocks x 4 instructions.
void BM_AnalyzeSmallFunctions(benchmark::State& state) {
    kdinstr::types::TypeRegistry registry;
    const auto m = kdbench::chain_module(kdbench::i64_in(registry),
                                         static_cast<std::uint32_t>(state.range(0)), 4);
    for (auto _ : state)
        for (const auto& [uuid, function] : m.functions)
            benchmark::DoNotOptimize(kdinstr::analysis::analyze(function));
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_AnalyzeSmallFunctions)->Arg(4096);

}  // namespace
