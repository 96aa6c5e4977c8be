#pragma once
// The engine's load-time registrations, in their fixed order. Static initialisation order
// across translation units is unspecified, so the host calls this once from one static
// constructor (the Python module passes its opaque-object loader registration as `between`);
// tests call it with nothing between. Repeated calls register nothing twice.
namespace kdcore {

// Registers the derivation strategies, then runs `between` (if any), then registers the
// plugins.
void register_load_time_entries(void (*between)() = nullptr);

}  // namespace kdcore
