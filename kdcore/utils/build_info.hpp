#pragma once

namespace kdcore::utils {

// The engine's own version, fixed when the system is built.
const char* engine_version();

}  // namespace kdcore::utils
