// Compiled module storage encode and decode (compression included), per instruction.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_module.hpp"
#include "bench/bench_storage.hpp"
#include "bench/bench_registry.hpp"
#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/base/log_sites.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/load_time.hpp"
#include "kdcore/tests/inflated_storages.hpp"
#include "kdcore/utils/kd_error.hpp"

namespace {

using kdcore::compiler::CompiledModuleStorage;

using kdbench::instance;
using kdbench::storage;

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
// 2 000 functions hold 200 000 instructions, 10 000 a million.
BENCHMARK(BM_StorageDecode)->Arg(2000)->Arg(10'000)->Unit(benchmark::kMillisecond);

// An empty module beside a registry of that many types, per type.
void BM_StorageDecodeRegistry(benchmark::State& state) {
    const auto inst = instance();
    if (!inst) return state.SkipWithError("no instance");
    CompiledModuleStorage s;
    kdbench::fill_mixed(s.type_registry, static_cast<std::uint32_t>(state.range(0)));
    const auto bytes = CompiledModuleStorage::encode(s, *inst);
    if (!bytes) return state.SkipWithError("encode failed");
    for (auto _ : state) {
        auto decoded = CompiledModuleStorage::decode(*inst, *bytes);
        if (!decoded) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(decoded);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StorageDecodeRegistry)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

// Hostile input: a few tens of kilobytes whose body is a count of 2^32-1 over compressed zeros
// (`kind` 0: empty functions; 1: one file name that long; 2: registry entries with one key). The
// reader stops once the body costs more than the decode budget of the storage's size (before the
// body passes its size limit): time and memory stay bounded by that. Any other outcome (a header
// this build refuses, another error) is reported as the benchmark's error.
void BM_StorageDecodeZeros(benchmark::State& state) {
    const auto inst = instance();
    if (!inst) return state.SkipWithError("no instance");
    using namespace kdtest::inflated;
    Bytes prefix;
    switch (state.range(0)) {
        case 0:
            prefix = cat({u32(0), kAllOnes});
            break;
        case 1:
            prefix = cat({u32(1), kAllOnes});
            break;
        default:
            prefix = cat({u32(0), u32(0), u32(0), kAllOnes, kAllOnes});
    }
    const auto stored = storage_of(prefix, Bytes(16, 0), 1101);
    if (!stored) return state.SkipWithError("compress failed");
    const Bytes& bytes = *stored;
    const std::string refused =
        kdcore::utils::KdError(
            kdcore::utils::KdError::Unknown{
                fmt::format(fmt::runtime(kdcore::base::log_sites::STORAGE_READ_HEADER_FAILED.text),
                            CompiledModuleStorage::Messages::kBudgetExceeded)})
            .message();
    for (auto _ : state) {
        auto decoded = CompiledModuleStorage::decode(*inst, bytes);
        if (decoded) {
            state.SkipWithError("decoded");
        } else if (const std::string error = decoded.error().message(); error != refused) {
            state.SkipWithError(error.c_str());
        }
        benchmark::DoNotOptimize(decoded);
    }
    state.counters["storage_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_StorageDecodeZeros)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
