// The parser on the generated ~1 M-instruction program: the whole call (lex, parse, renumber,
// resolve, verify), the grammar alone over a lexed text, a text that fails on its last line
// (the cost of finding the exact error), and name resolution over a chain of 10 000 functions
// that each call the one before. `max_rss_MB` is the process's peak resident memory so far.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <memory>
#include <optional>
#include <string>

#include "bench/generated_program.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/modules/parser/driver.hpp"
#include "kdinstr/modules/parser/lexer.hpp"
#include "kdinstr/modules/parser/module_grammar.hpp"
#include "kdinstr/modules/parser/state.hpp"
#include "kdinstr/types/registry.hpp"

namespace {

namespace parser = kdinstr::modules::parser;
using kdinstr::modules::Module;
using kdinstr::types::TypeRegistry;

double max_rss_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void count_program(benchmark::State& state, const std::string& text) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["source_MB"] = static_cast<double>(text.size()) / 1e6;
    state.counters["max_rss_MB"] = max_rss_mb();
}

void BM_ExtendModuleGeneratedProgram(benchmark::State& state) {
    const std::string& text = kdbench::generated_program();
    std::size_t functions = 0;
    for (auto _ : state) {
        auto module = std::make_unique<Module>();
        TypeRegistry registry;
        if (!parser::extend_module_from_string(*module, registry, text)) {
            state.SkipWithError("the generated program does not parse and verify");
            return;
        }
        functions = module->functions.size();
        // The caller keeps the module: releasing it is not part of the call.
        state.PauseTiming();
        module.reset();
        state.ResumeTiming();
    }
    count_program(state, text);
    state.counters["functions"] = static_cast<double>(functions);
}
BENCHMARK(BM_ExtendModuleGeneratedProgram)->Unit(benchmark::kMillisecond)->MinTime(3.0);
// One call in a process that has not parsed before (run it alone, e.g. under /usr/bin/time -v,
// for the cold time and the peak memory of one compile).
BENCHMARK(BM_ExtendModuleGeneratedProgram)
    ->Name("BM_ExtendModuleGeneratedProgramOnce")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The token grammar alone (items built, nothing renumbered, resolved or verified).
void BM_ParseModuleGeneratedProgram(benchmark::State& state) {
    const std::string& text = kdbench::generated_program();
    const auto lexed = parser::lexer(text);
    if (!lexed.tokens) {
        state.SkipWithError("the generated program does not lex");
        return;
    }
    for (auto _ : state) {
        TypeRegistry registry;
        parser::State parse_state(
            registry, std::make_shared<parser::Resolver>([](std::string_view, bool) {
                return std::optional<kdinstr::utils::Uuid>(kdinstr::utils::Uuid{});
            }),
            std::make_shared<parser::IdGenerator>([] { return kdinstr::utils::Uuid{}; }));
        auto parsed =
            std::make_unique<parser::ModuleParse>(parser::parse_module(*lexed.tokens, parse_state));
        if (parsed->failure || !parsed->emitted.empty()) {
            state.SkipWithError("the generated program does not parse");
            return;
        }
        state.PauseTiming();
        parsed.reset();
        state.ResumeTiming();
    }
    count_program(state, text);
}
BENCHMARK(BM_ParseModuleGeneratedProgram)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The generated program with a stray token after its last definition: the fast run fails at the
// end and the tracked run starts again only at the last item.
void BM_ExtendModuleFailingAtTheEnd(benchmark::State& state) {
    const std::string text = kdbench::generated_program() + "\n}\n";
    for (auto _ : state) {
        Module module;
        TypeRegistry registry;
        auto result = parser::extend_module_from_string(module, registry, text);
        if (result) {
            state.SkipWithError("the broken program was accepted");
            return;
        }
        benchmark::DoNotOptimize(result);
    }
    count_program(state, text);
}
BENCHMARK(BM_ExtendModuleFailingAtTheEnd)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Function f{i} returns a pointer to f{i-1}: every name is resolved after the text is read.
std::string call_chain(std::size_t count) {
    std::string text;
    text += "define ptr f0() {\nentry: ret ptr f0\n}\n";
    for (std::size_t i = 1; i < count; ++i)
        text += "define ptr f" + std::to_string(i) +
                "() {\nentry:\n  %p: ptr = select i1 1, ptr f" + std::to_string(i - 1) + ", ptr f" +
                std::to_string(i) + "\n  ret %p\n}\n";
    return text;
}

void BM_ExtendModuleCallChain(benchmark::State& state) {
    const std::string text = call_chain(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        Module module;
        TypeRegistry registry;
        if (!parser::extend_module_from_string(module, registry, text)) {
            state.SkipWithError("the chain does not parse and verify");
            return;
        }
        benchmark::DoNotOptimize(module);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExtendModuleCallChain)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
