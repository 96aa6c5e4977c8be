// Module encode and decode through a plain byte vector, per instruction and per byte.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_module.hpp"
#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/encoding/module_codec.hpp"

namespace {

using namespace kdinstr::encoding;

std::vector<std::uint8_t> encoded(const kdinstr::modules::Module& m) {
    std::vector<std::uint8_t> out;
    VectorSink sink(out);
    BorshWriter w(sink);
    if (!encode(w, m)) out.clear();
    return out;
}

void BM_ModuleEncode(benchmark::State& state) {
    kdinstr::types::TypeRegistry registry;
    const auto m = kdbench::chain_module(kdbench::i64_in(registry),
                                         static_cast<std::uint32_t>(state.range(0)), 25);
    const auto size = encoded(m).size();
    for (auto _ : state) benchmark::DoNotOptimize(encoded(m));
    state.SetItemsProcessed(state.iterations() * state.range(0) * 100);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_ModuleEncode)->Arg(20)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_ModuleDecode(benchmark::State& state) {
    kdinstr::types::TypeRegistry registry;
    const auto bytes = encoded(kdbench::chain_module(kdbench::i64_in(registry),
                                                     static_cast<std::uint32_t>(state.range(0)), 25));
    for (auto _ : state) {
        SpanSource source(bytes);
        BorshReader r(source);
        auto m = decode_module(r);
        if (!m) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(m);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 100);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ModuleDecode)->Arg(20)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
