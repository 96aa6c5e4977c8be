#include "kdcore/utils/build_info.hpp"

#include "kdinstr/utils/panic.hpp"

namespace kdcore::utils {

const char* engine_version() { return KD_ENGINE_VERSION; }

const BuildInfo& build_info() {
    static const BuildInfo record = [] {
        auto version = kdcore::compiler::Version::parse(KD_ENGINE_VERSION);
        if (!version)
            kdinstr::utils::panic("Invalid engine version in build record: {}", KD_ENGINE_VERSION);
        return BuildInfo{
            .version = *version,
            .features = {"default", "ext_all", "ext_kdlog", "pyo3"},
            .target = "aarch64-unknown-linux-gnu",
            .profile = "release",
            .vcs = std::nullopt,
        };
    }();
    return record;
}

}  // namespace kdcore::utils
