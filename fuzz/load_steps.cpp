#include "fuzz/load_steps.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/load_time.hpp"
#include "kdinstr/analysis/function_analysis.hpp"
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"

namespace kdfuzz {

using kdinstr::encoding::BorshReader;
using kdinstr::encoding::BorshWriter;
using kdinstr::encoding::IoResult;

void finding(std::string_view what) {
    std::fprintf(stderr, "finding: %.*s\n", static_cast<int>(what.size()), what.data());
    std::fflush(stderr);
    std::abort();
}

IoResult<Body> decode_body(std::span<const std::uint8_t> bytes) {
    kdinstr::encoding::DecodeBudget unlimited;
    return decode_body(bytes, unlimited);
}

IoResult<Body> decode_body(std::span<const std::uint8_t> bytes,
                           kdinstr::encoding::DecodeBudget& budget) {
    kdinstr::encoding::SpanSource source(bytes);
    BorshReader reader(source, budget);
    return Body::read_body(reader);
}

void check_budget_edge(std::span<const std::uint8_t> bytes, std::size_t cost) {
    static constexpr const char* kExhausted = "decode budget exhausted";
    kdinstr::encoding::DecodeBudget short_by_one(cost - 1, kExhausted);
    auto body = decode_body(bytes, short_by_one);
    if (body) finding("a body decodes within less than it cost before");
    if (body.error().to_string() != kExhausted)
        finding("a body one byte over its budget fails otherwise: " + body.error().to_string());
}

std::vector<std::uint8_t> encode_body(const Body& body) {
    std::vector<std::uint8_t> out;
    kdinstr::encoding::VectorSink sink(out);
    BorshWriter writer(sink);
    if (auto written = Body::write_body(writer, body); !written)
        finding("a decoded body cannot be written again: " + written.error().to_string());
    return out;
}

namespace {

bool same_functions(const kdinstr::modules::Module& a, const kdinstr::modules::Module& b) {
    if (a.functions.size() != b.functions.size()) return false;
    for (auto ia = a.functions.begin(), ib = b.functions.begin(); ia != a.functions.end();
         ++ia, ++ib) {
        if (ia->first != ib->first || !ia->second || !ib->second) return false;
        if (!(*ia->second == *ib->second)) return false;
    }
    return true;
}

}  // namespace

void check_round_trip(const Body& body) {
    const std::vector<std::uint8_t> bytes = encode_body(body);
    auto again = decode_body(bytes);
    if (!again) finding("a written body does not read back: " + again.error().to_string());
    if (again->source_names != body.source_names) finding("file names differ after a round trip");
    if (!same_functions(again->module, body.module)) finding("functions differ after a round trip");
    if (again->module.external_functions != body.module.external_functions)
        finding("external functions differ after a round trip");
    if (again->type_registry.read().types() != body.type_registry.read().types())
        finding("registry types differ after a round trip");
}

void check_written_storage_reads(const Body& body) {
    static const auto instance = [] {
        kdcore::register_load_time_entries();
        kdcore::base::api::InstanceCreateInfo info;
        info.application_info.application_name = "fuzz";
        auto created = kdcore::base::api::create_instance(std::move(info));
        if (!created) finding("no instance: " + created.error().message());
        return *created;
    }();
    // Refused only when no storage of it would read: nothing to check then.
    auto bytes = Body::encode(body, *instance);
    if (!bytes) return;
    auto read = Body::decode(*instance, *bytes);
    if (!read) finding("a storage as written does not read: " + read.error().message());
}

LoadOutcome run_load_steps(kdinstr::modules::Module module,
                           const kdinstr::types::TypeRegistry& stored) {
    using Reached = LoadOutcome::Reached;
    kdinstr::types::TypeRegistry registry;
    auto map = registry.merge_with(stored);
    if (!map) return {Reached::MergeFailed, map.error().message()};
    module.remap_types(*map);
    if (auto verified = module.verify(); !verified)
        return {Reached::VerifyFailed, verified.error().message()};
    for (const auto& [uuid, function] : module.functions) {
        if (auto checked = function->type_check(registry); !checked) {
            return {Reached::CheckFailed, fmt::format("Type check failed for function '{}': {}",
                                                      uuid.to_string(), checked.error().message())};
        }
    }
    for (const auto& [uuid, function] : module.functions) kdinstr::analysis::analyze(function);
    return {Reached::Analysed, {}};
}

}  // namespace kdfuzz
