// The body of compiled module storage without its compression, so that mutations reach deep
// structure at once: decoded, written and read back, then taken through the loader's steps. Its
// decode is repeated one byte short of what it cost, which must stop at that charge, and what it
// cost for its size stays within what the storage writer allows for.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "fuzz/load_steps.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    kdinstr::encoding::DecodeBudget budget;
    auto body = kdfuzz::decode_body(bytes, budget);
    if (budget.spent() > 0) kdfuzz::check_budget_edge(bytes, budget.spent());
    if (!body) return 0;
    // The storage writer counts on it to know a storage within its budget without reading it
    // (the byte's own charge, which decompression makes, is not made here).
    if (budget.spent() > (kdfuzz::Body::kMostCostPerBodyByte - 1) * size)
        kdfuzz::finding("a body that reads costs more for its size than the writer allows for");
    kdfuzz::check_round_trip(*body);
    // Refused as the storage reader refuses it, the body's size standing for the storage's.
    if (kdfuzz::Body::type_text_refusal(*body, kdfuzz::Body::type_text_budget(size), size))
        return 0;
    kdfuzz::run_load_steps(std::move(body->module), body->type_registry);
    return 0;
}
