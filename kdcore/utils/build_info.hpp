#pragma once
// The engine's build record: fixed when the system is built, made once on first use.
#include <optional>
#include <string_view>
#include <vector>

#include "kdcore/compiler/semver.hpp"

namespace kdcore::utils {

// Version-control data of the tree the engine was built from.
struct VcsInfo {
    std::string_view short_commit;
    bool dirty = false;
    std::optional<std::string_view> branch;
};

struct BuildInfo {
    kdcore::compiler::Version version;       // the engine's own version
    std::vector<std::string_view> features;  // enabled features, in build order
    std::string_view target;                 // target triple
    std::string_view profile;                // build profile
    std::optional<VcsInfo> vcs;              // absent when the build had none
};

// The process-wide build record.
const BuildInfo& build_info();

// The engine's own version as text, fixed when the system is built.
const char* engine_version();

}  // namespace kdcore::utils
