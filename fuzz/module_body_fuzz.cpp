// The body of compiled module storage without its compression, so that mutations reach deep
// structure at once: decoded, written and read back, then taken through the loader's steps.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "fuzz/load_steps.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto body = kdfuzz::decode_body(std::span<const std::uint8_t>(data, size));
    if (!body) return 0;
    kdfuzz::check_round_trip(*body);
    // Refused as the storage reader refuses it, the body's size standing for the storage's.
    if (kdfuzz::Body::type_text_refusal(*body, kdfuzz::Body::type_text_budget(size))) return 0;
    kdfuzz::run_load_steps(std::move(body->module), body->type_registry);
    return 0;
}
