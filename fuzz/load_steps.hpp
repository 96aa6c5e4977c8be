#pragma once
// What the fuzz targets share: the body of compiled module storage read and written without
// compression, the loader's steps after decoding, and the way a target reports a broken
// property (an abort, which libFuzzer records as a crash with the input that caused it).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/encoding/decode_budget.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdfuzz {

// The decompressed body of compiled module storage: the storage's contents without its header.
using Body = kdcore::compiler::CompiledModuleStorage;

// The storage reader's own read of a body (CompiledModuleStorage::read_body), with every charge
// it makes; trailing bytes are ignored as it ignores them. A failure yields the decoder's error
// text. What it costs is charged to `budget`, one that refuses nothing when none is given.
kdinstr::encoding::IoResult<Body> decode_body(std::span<const std::uint8_t> bytes);
kdinstr::encoding::IoResult<Body> decode_body(std::span<const std::uint8_t> bytes,
                                              kdinstr::encoding::DecodeBudget& budget);

// Decoding within one byte less than what a decode of `bytes` cost (`cost`, at least one byte)
// must fail with the budget's text, at whichever charge that falls: anything else is a finding.
void check_budget_edge(std::span<const std::uint8_t> bytes, std::size_t cost);
std::vector<std::uint8_t> encode_body(const Body& body);

// Writing a decoded body and reading it back must give the same names, functions, external
// functions and types; anything else is a finding.
void check_round_trip(const Body& body);

// A storage that the writer returns for `body` must be read by the reader of the same engine,
// within the decode budget of its own size; anything else is a finding.
void check_written_storage_reads(const Body& body);

// The loader's steps after decoding, against a fresh registry standing in for the instance's:
// merge the stored registry, remap the module's types, verify, type-check every function, and
// analyse every function. Each step runs only when the one before succeeded; error texts are
// formatted as the caller would show them.
struct LoadOutcome {
    enum class Reached { MergeFailed, VerifyFailed, CheckFailed, Analysed } reached;
    // The failed step's error text; empty once analysed.
    std::string error;
};
LoadOutcome run_load_steps(kdinstr::modules::Module module,
                           const kdinstr::types::TypeRegistry& stored);

// Prints "finding: " and `what`, then aborts.
[[noreturn]] void finding(std::string_view what);

}  // namespace kdfuzz
