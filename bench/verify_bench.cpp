// Verification and SSA renumbering over one large function, per instruction.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_module.hpp"
#include "kdinstr/modules/ssa.hpp"
#include "kdinstr/modules/verify.hpp"
#include "kdinstr/tests/ir_builder.hpp"

namespace {

using namespace kdinstr::tests;

// A chain of additions, `blocks` blocks of `per_block` instructions, each using the last.
kdinstr::modules::Function chain(std::uint32_t blocks, std::uint32_t per_block,
                                 std::uint32_t stride) {
    FunctionBuilder b;
    b.name("chain").param(0, ty(1));
    std::uint32_t n = 0;
    for (std::uint32_t l = 0; l < blocks; ++l) {
        std::vector<kdinstr::modules::KdInstr> body;
        body.reserve(per_block);
        for (std::uint32_t i = 0; i < per_block; ++i, ++n)
            body.push_back(iadd((n + 1) * stride, ty(1), reg(n * stride), imm_int(1)));
        b.block(l, std::move(body), l + 1 < blocks ? jump(l + 1) : ret(reg(n * stride)));
    }
    return b.build();
}

void BM_Verify(benchmark::State& state) {
    const auto f = chain(16, static_cast<std::uint32_t>(state.range(0)), 1);
    for (auto _ : state) benchmark::DoNotOptimize(kdinstr::modules::verify(f));
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_Verify)->Arg(1 << 10)->Arg(1 << 16);

// Register numbers far apart, as a hand-written or decoded function may have them.
void BM_VerifySparseNames(benchmark::State& state) {
    const auto f = chain(16, static_cast<std::uint32_t>(state.range(0)), 4099);
    for (auto _ : state) benchmark::DoNotOptimize(kdinstr::modules::verify(f));
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_VerifySparseNames)->Arg(1 << 10)->Arg(1 << 14);

void BM_NormalizeSsa(benchmark::State& state) {
    const auto original = chain(16, static_cast<std::uint32_t>(state.range(0)), 3);
    for (auto _ : state) {
        state.PauseTiming();
        auto f = original;
        state.ResumeTiming();
        benchmark::DoNotOptimize(kdinstr::modules::normalize_ssa(f));
    }
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_NormalizeSsa)->Arg(1 << 10)->Arg(1 << 16);

// A module of many functions of 4 blocks x 4 instructions: the per-function costs show.
void BM_VerifySmallFunctions(benchmark::State& state) {
    kdinstr::types::TypeRegistry registry;
    const auto m = kdbench::chain_module(kdbench::i64_in(registry),
                                         static_cast<std::uint32_t>(state.range(0)), 4);
    for (auto _ : state) benchmark::DoNotOptimize(kdinstr::modules::verify_module(m));
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_VerifySmallFunctions)->Arg(4096);

void BM_NormalizeSsaSmallFunctions(benchmark::State& state) {
    kdinstr::types::TypeRegistry registry;
    std::vector<kdinstr::modules::Function> originals;
    for (std::uint32_t i = 0; i < state.range(0); ++i)
        originals.push_back(kdbench::add_chain(kdbench::i64_in(registry), 4, 4, i + 1));
    for (auto _ : state) {
        state.PauseTiming();
        auto fs = originals;
        state.ResumeTiming();
        for (auto& f : fs) benchmark::DoNotOptimize(kdinstr::modules::normalize_ssa(f));
    }
    state.SetItemsProcessed(state.iterations() * 16 * state.range(0));
}
BENCHMARK(BM_NormalizeSsaSmallFunctions)->Arg(4096);

}  // namespace
