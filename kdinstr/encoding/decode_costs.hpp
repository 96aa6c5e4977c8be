#pragma once
// What the decoders charge to the reader's budget for each record beyond the lists, texts and
// numbers inside it (charged where they are read): the record's own block or map node, and what
// loading later builds beside it (the verification's and the type check's tables, the analysis
// that the engine keeps, the registry's index and the merged copy), so that a body decoded within
// its budget stays in proportion up to the end of the load. Sizes come from the types that hold
// the records; what later stages build is an estimate from measurement, rounded up.
#include <cstddef>
#include <map>
#include <memory>
#include <utility>

#include "kdinstr/analysis/function_analysis.hpp"
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/modules/basic_block.hpp"
#include "kdinstr/modules/external_function.hpp"
#include "kdinstr/modules/function.hpp"
#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::encoding::decode_costs {

// A node of a std::map beside its value: three links and the colour, and the allocator's share.
inline constexpr std::size_t kMapNode = 32 + BorshReader::kAllocationOverhead;

// Per instruction, beyond its record in the block's list: its entry in the destination map, and
// the registers the verification and the type check number (a few words each, per function).
inline constexpr std::size_t kInstruction = sizeof(analysis::DestMap::value_type) + 52;

// Per block: its node in the function's body; its node, index slots and up to three edges in the
// flow graph.
inline constexpr std::size_t kBlock =
    kMapNode + sizeof(std::pair<const modules::Label, modules::BasicBlock>) +
    sizeof(modules::Label) + 24 + 3 * (sizeof(analysis::FlowGraph::Edge) + 12);

// Per function: its shared block and its node in the module; the analysis made of it.
inline constexpr std::size_t kFunction =
    sizeof(modules::Function) + 2 * BorshReader::kAllocationOverhead + kMapNode +
    sizeof(std::pair<const utils::Uuid, std::shared_ptr<const modules::Function>>) +
    sizeof(analysis::FunctionAnalysis) + 8 * BorshReader::kAllocationOverhead;

// Per external function: its node in the module, and its entry in the verification's set of
// callable identifiers (a hash node and its bucket, rounded up).
inline constexpr std::size_t kExternalFunction =
    kMapNode + sizeof(std::pair<const utils::Uuid, modules::ExternalFunction>) + 2 * 64;

// Per registry entry: its node among the decoded types and its place in their order; then, in
// the registry built from them and in the instance's registry it is merged into, a node and an
// index entry each, and its entry in the merge's map (about 550 bytes measured in all).
inline constexpr std::size_t kType =
    4 * (kMapNode + sizeof(std::pair<const types::Typeref, types::AnyType>)) + 4 * 64;

}  // namespace kdinstr::encoding::decode_costs
