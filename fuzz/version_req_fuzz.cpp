// Version requirements as compiled module storage carries them: the bytes up to the first NUL
// are the requirement, the bytes after it a version to match. A requirement that parses must
// display as a text that parses to the same requirement and displays the same again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/load_steps.hpp"
#include "kdcore/compiler/semver.hpp"

namespace {

using kdcore::compiler::Version;
using kdcore::compiler::VersionReq;

void check_requirement(const VersionReq& req, const Version& version) {
    const std::string shown = req.to_string();
    auto again = VersionReq::parse(shown);
    if (!again) kdfuzz::finding("the display \"" + shown + "\" does not parse: " + again.error());
    if (!(*again == req))
        kdfuzz::finding("the display \"" + shown + "\" parses to another requirement");
    if (again->to_string() != shown) kdfuzz::finding("the display \"" + shown + "\" is not stable");
    const bool matched = req.matches(version);
    if (req.comparators.size() == 1 && req.comparators[0].matches(version) != matched)
        kdfuzz::finding("a lone comparator and its requirement disagree on " + version.to_string());
}

void check_version(const Version& version) {
    const std::string shown = version.to_string();
    auto again = Version::parse(shown);
    if (!again || !(*again == version))
        kdfuzz::finding("the version \"" + shown + "\" does not read back");
    const VersionReq exact = VersionReq::exact(version);
    if (!exact.matches(version))
        kdfuzz::finding("the exact requirement of " + shown + " does not match it");
    check_requirement(exact, version);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view req_text = input.substr(0, nul);
    const std::string_view version_text =
        nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    Version version{0, 1, 2, {}, {}};
    if (auto parsed = Version::parse(version_text)) {
        version = *parsed;
        check_version(version);
    }
    if (auto req = VersionReq::parse(req_text)) check_requirement(*req, version);
    return 0;
}
