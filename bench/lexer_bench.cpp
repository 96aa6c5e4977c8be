// The lexer over the generated ~1 M-instruction program: bytes per second, tokens, and the
// token list's bytes per token.
#include <benchmark/benchmark.h>

#include "bench/generated_program.hpp"
#include "kdinstr/modules/parser/lexer.hpp"

namespace {

void BM_LexGeneratedProgram(benchmark::State& state) {
    const std::string& text = kdbench::generated_program();
    std::size_t tokens = 0, bytes = 0;
    for (auto _ : state) {
        auto result = kdinstr::modules::parser::lexer(text);
        if (!result.tokens || !result.errors.empty()) {
            state.SkipWithError("the generated program does not lex");
            return;
        }
        tokens = result.tokens->size();
        bytes = result.tokens->memory_bytes();
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["tokens"] = static_cast<double>(tokens);
    state.counters["list_bytes_per_token"] = static_cast<double>(bytes) / static_cast<double>(tokens);
    state.counters["source_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_LexGeneratedProgram)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
