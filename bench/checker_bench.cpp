// Type checking one large function, per instruction.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/bench_module.hpp"
#include "kdinstr/types/checker.hpp"

namespace {

void BM_TypeCheck(benchmark::State& state) {
    kdinstr::types::TypeRegistry registry;
    const auto f =
        kdbench::add_chain(kdbench::i64_in(registry), 16, static_cast<std::uint32_t>(state.range(0)));
    if (!kdinstr::types::checker::type_check(f, registry)) state.SkipWithError("ill typed");
    for (auto _ : state) benchmark::DoNotOptimize(kdinstr::types::checker::type_check(f, registry));
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_TypeCheck)->Arg(1 << 8)->Arg(1 << 14);

// Many functions of 4 blocks x 4 instructions.
void BM_TypeCheckSmallFunctions(benchmark::State& state) {
    kdinstr::types::TypeRegistry registry;
    const auto m = kdbench::chain_module(kdbench::i64_in(registry),
                                         static_cast<std::uint32_t>(state.range(0)), 4);
    for (auto _ : state)
        for (const auto& [uuid, function] : m.functions)
            benchmark::DoNotOptimize(kdinstr::types::checker::type_check(*function, registry));
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_TypeCheckSmallFunctions)->Arg(4096);

}  // namespace
