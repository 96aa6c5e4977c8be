// The instruction builder on valid lines, per instruction: it runs once for every instruction
// line of a parsed text, so it must stay a small fraction of the parser's time per line.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/modules/parser/instruction_build.hpp"
#include "kdinstr/modules/parser/state.hpp"
#include "kdinstr/tests/ir_builder.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/registry.hpp"

namespace {

namespace parser = kdinstr::modules::parser;
using kdinstr::modules::KdInstrOp;
using kdinstr::modules::Label;
using kdinstr::modules::Name;
using kdinstr::modules::Operand;
using kdinstr::tests::imm_int;
using kdinstr::types::Typeref;

// Register names as a source text would hold them; views into these stay valid for the run.
const std::vector<std::string>& register_names(std::size_t count) {
    static std::vector<std::string> names;
    while (names.size() < count) names.push_back("r" + std::to_string(names.size()));
    return names;
}

// A mix of the common lines: additions, comparisons, loads with an ordering, stores, address
// computations and phis, each defining a new register from the previous ones.
std::vector<parser::ParsedInstruction> lines(std::size_t count, Typeref i64, Typeref ptr) {
    const auto& names = register_names(count + 1);
    std::vector<parser::ParsedInstruction> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        parser::ParsedInstruction p;
        const Operand prev(Name{static_cast<std::uint32_t>(i)});
        switch (i % 6) {
            case 0:
                p.opcode = KdInstrOp::IAdd;
                p.variant_parts = {"wrap"};
                p.operand_form.value = parser::OperandForm::Operands{{prev, imm_int(1)}};
                break;
            case 1:
                p.opcode = KdInstrOp::ICmp;
                p.variant_parts = {"slt"};
                p.operand_form.value = parser::OperandForm::Operands{{prev, prev}};
                break;
            case 2:
                p.opcode = KdInstrOp::MLoad;
                p.variant_parts = {"acquire"};
                p.operand_form.value = parser::OperandForm::Operands{{prev}};
                p.alignment = 8;
                break;
            case 3:
                p.opcode = KdInstrOp::MStore;
                p.operand_form.value = parser::OperandForm::Operands{{prev, prev}};
                break;
            case 4:
                p.opcode = KdInstrOp::MGetElementPtr;
                p.extra_type = i64;
                p.operand_form.value =
                    parser::OperandForm::Operands{{prev, imm_int(0), imm_int(2)}};
                break;
            case 5:
                p.opcode = KdInstrOp::Phi;
                p.operand_form.value =
                    parser::OperandForm::PhiEntries{{{prev, Label{0}}, {imm_int(0), Label{1}}}};
                break;
        }
        if (p.opcode != KdInstrOp::MStore)
            p.destination.emplace(names[i + 1], i % 6 == 4 ? ptr : i64);
        out.push_back(std::move(p));
    }
    return out;
}

// `names_known`: every destination is numbered before the clock runs, so that the figure leaves
// out the State's insertions and shows the builder's own work.
void build_lines(benchmark::State& state, bool names_known) {
    kdinstr::types::TypeRegistry registry;
    const Typeref i64 = registry.search_or_insert(kdinstr::types::primary::IType{64});
    const Typeref ptr = registry.search_or_insert(kdinstr::types::primary::Ptr{});
    const auto count = static_cast<std::size_t>(state.range(0));
    const auto original = lines(count, i64, ptr);
    auto resolver = std::make_shared<parser::Resolver>(
        [](std::string_view, bool) { return std::optional<kdinstr::utils::Uuid>(); });
    auto ids = std::make_shared<parser::IdGenerator>([] { return kdinstr::utils::Uuid(); });
    std::vector<std::string> errors;
    std::vector<kdinstr::modules::KdInstr> built;
    built.reserve(count);
    std::vector<parser::ParsedInstruction> batch;
    parser::State parse_state(registry, resolver, ids);
    for (auto _ : state) {
        // Copies and frees stay out of the measurement.
        state.PauseTiming();
        batch = original;
        built.clear();
        parse_state.clear();
        if (names_known)
            for (const auto& p : batch)
                if (p.destination) parse_state.get_register(p.destination->first);
        state.ResumeTiming();
        for (auto& p : batch)
            built.push_back(parser::build_instruction(std::move(p), parse_state, errors));
        benchmark::DoNotOptimize(built.data());
    }
    if (!errors.empty()) state.SkipWithError(errors.front().c_str());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
void BM_BuildInstruction(benchmark::State& state) { build_lines(state, false); }
BENCHMARK(BM_BuildInstruction)->Arg(1 << 12)->Arg(1 << 16);

void BM_BuildInstructionNamesKnown(benchmark::State& state) { build_lines(state, true); }
BENCHMARK(BM_BuildInstructionNamesKnown)->Arg(1 << 12)->Arg(1 << 16);

}  // namespace
