// What reading compiled module storage costs against its decode budget, for each *.kdm file of
// the folder that KD_BENCH_STORAGES names (bench/decode_budget.py fills one with every storage
// that the tests and the examples compile and with large generated programs, and runs this):
// its size, its cost (the least budget that decodes it, found by bisection over the decode that
// takes a budget), the cost per byte of storage, and the headroom that the budget of its size
// leaves (that budget over the cost; below 1 the storage would be refused). One iteration each:
// the figures are sizes, not times.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_storage.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"

namespace {

using kdcore::compiler::CompiledModuleStorage;
using Bytes = std::vector<std::uint8_t>;

bool decodes_within(const kdcore::base::InstanceContext& instance, const Bytes& storage,
                    std::size_t budget) {
    return CompiledModuleStorage::decode(instance, storage, budget).has_value();
}

// The least budget that decodes `storage`, to a ten-thousandth; 0 when no budget does.
std::size_t cost_of(const kdcore::base::InstanceContext& instance, const Bytes& storage) {
    std::size_t high = CompiledModuleStorage::decode_budget(storage.size());
    std::size_t low = 0;
    while (!decodes_within(instance, storage, high)) {
        if (high > SIZE_MAX / 4) return 0;
        low = high;
        high *= 2;
    }
    while (high - low > std::max<std::size_t>(1, high / 10'000)) {
        const std::size_t middle = low + (high - low) / 2;
        (decodes_within(instance, storage, middle) ? high : low) = middle;
    }
    return high;
}

void report(benchmark::State& state, const Bytes& storage) {
    const auto inst = kdbench::instance();
    if (!inst) return state.SkipWithError("no instance");
    std::size_t cost = 0;
    for (auto _ : state) cost = cost_of(*inst, storage);
    if (cost == 0) return state.SkipWithError("no budget decodes it");
    const double bytes = static_cast<double>(storage.size());
    state.counters["storage_bytes"] = bytes;
    state.counters["cost"] = static_cast<double>(cost);
    state.counters["cost_per_byte"] = static_cast<double>(cost) / bytes;
    state.counters["headroom"] =
        static_cast<double>(CompiledModuleStorage::decode_budget(storage.size())) /
        static_cast<double>(cost);
}

// The storage of the other storage and load benchmarks: `functions` chains of 100 additions that
// differ only in their identifiers, so that they compress far better than programs do.
void BM_DecodeBudgetChains(benchmark::State& state) {
    const auto inst = kdbench::instance();
    if (!inst) return state.SkipWithError("no instance");
    const auto bytes = CompiledModuleStorage::encode(
        kdbench::storage(static_cast<std::uint32_t>(state.range(0))), *inst);
    if (!bytes) return state.SkipWithError("encode failed");
    report(state, *bytes);
}
BENCHMARK(BM_DecodeBudgetChains)
    ->Arg(2000)
    ->Arg(10'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// One benchmark per file of the folder, registered before the run.
const bool registered_files = [] {
    const char* folder = std::getenv("KD_BENCH_STORAGES");
    if (folder == nullptr) return false;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".kdm") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        benchmark::RegisterBenchmark(("BM_DecodeBudgetFile/" + path.filename().string()).c_str(),
                                     [path](benchmark::State& state) {
                                         std::ifstream in(path, std::ios::binary);
                                         const Bytes storage(std::istreambuf_iterator<char>(in),
                                                             {});
                                         report(state, storage);
                                     })
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
