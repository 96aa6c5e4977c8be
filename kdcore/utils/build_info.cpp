#include "kdcore/utils/build_info.hpp"

namespace kdcore::utils {

const char* engine_version() { return KD_ENGINE_VERSION; }

}  // namespace kdcore::utils
