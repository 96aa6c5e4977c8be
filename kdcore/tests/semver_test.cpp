#include "kdcore/compiler/semver.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kdcore::compiler::Version;
using kdcore::compiler::VersionReq;

std::string parse_req_text(const std::string& input) {
    auto req = VersionReq::parse(input);
    return req ? req->to_string() : "error: " + req.error();
}

std::string repeat_comparators(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += i == 0 ? ">=1" : ", >=1";
    return out;
}

TEST(VersionReq, ParseDisplaysNormalisedTextOrError) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const std::vector<Case> cases{
        // Normalised display.
        {"=0.1.2", "=0.1.2"},
        {" >= 0.1.0 , < 0.2", ">=0.1.0, <0.2"},
        {"0.1", "^0.1"},
        {"1.2.3", "^1.2.3"},
        {"*", "*"},
        {"  x  ", "*"},
        {"X", "*"},
        {"1.*", "1.*"},
        {"1.x.X", "1.*"},
        {"1.2.*", "1.2.*"},
        {">=1.*", ">=1"},
        {"=1.2.x", "=1.2"},
        {"~1", "~1"},
        {"<=1.2.3-alpha.1+build.5", "<=1.2.3-alpha.1"},
        {"=1.2.3+build", "=1.2.3"},
        {"1.2.3-0.a-b.7", "^1.2.3-0.a-b.7"},
        {repeat_comparators(32), repeat_comparators(32)},
        // Errors at every position.
        {"", "error: unexpected end of input while parsing major version number"},
        {"  ", "error: unexpected end of input while parsing major version number"},
        {">=", "error: unexpected end of input while parsing major version number"},
        {"1.", "error: unexpected end of input while parsing minor version number"},
        {"1.2.", "error: unexpected end of input while parsing patch version number"},
        {"1.2.3,", "error: unexpected end of input while parsing major version number"},
        {"01.2.3", "error: invalid leading zero in major version number"},
        {"1.00.3", "error: invalid leading zero in minor version number"},
        {"1.2.03", "error: invalid leading zero in patch version number"},
        {"1.2.3-01", "error: invalid leading zero in pre-release identifier"},
        {"=0.1.2 x", "error: expected comma after patch version number, found 'x'"},
        {"1 2", "error: expected comma after major version number, found '2'"},
        {"1.2-pre", "error: expected comma after minor version number, found '-'"},
        {"1.2.3-a b", "error: expected comma after pre-release identifier, found 'b'"},
        {"1.2.3+b !", "error: expected comma after build metadata, found '!'"},
        {"1.2.3'", "error: expected comma after patch version number, found '\\''"},
        {"1.2.3\t", "error: expected comma after patch version number, found '\\t'"},
        {"1.2.3é", "error: expected comma after patch version number, found 'é'"},
        {"*, 1", "error: wildcard req (*) must be the only comparator in the version req"},
        {">=1, x", "error: wildcard req (x) must be the only comparator in the version req"},
        {">=1, X, <2", "error: wildcard req (X) must be the only comparator in the version req"},
        {"* 1", "error: unexpected character after wildcard in version req"},
        {"0.x.1", "error: unexpected character after wildcard in version req"},
        {"=18446744073709551616.0.0", "error: value of major version number exceeds u64::MAX"},
        {"=1.18446744073709551616", "error: value of minor version number exceeds u64::MAX"},
        {"=1.2.99999999999999999999", "error: value of patch version number exceeds u64::MAX"},
        {"=18446744073709551615.0.0", "=18446744073709551615.0.0"},
        {"=0.1.2-", "error: empty identifier segment in pre-release identifier"},
        {"=0.1.2-a..b", "error: empty identifier segment in pre-release identifier"},
        {"=0.1.2-a.", "error: empty identifier segment in pre-release identifier"},
        {"=0.1.2+", "error: empty identifier segment in build metadata"},
        {"a", "error: unexpected character 'a' while parsing major version number"},
        {"1.a", "error: unexpected character 'a' while parsing minor version number"},
        {"1.2.a", "error: unexpected character 'a' while parsing patch version number"},
        {"=*", "error: unexpected character '*' while parsing major version number"},
        {repeat_comparators(33), "error: excessive number of version comparators"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_req_text(c.input), c.expected) << "input: " << c.input;
    }
}

TEST(VersionReq, Matching) {
    struct Case {
        std::string req;
        std::string version;
        bool matches;
    };
    const std::vector<Case> cases{
        {"*", "0.1.2", true},
        {">=0.1.0", "0.1.2", true},
        {"^0.1", "0.1.2", true},
        {"~0.1", "0.1.2", true},
        {"=0.1.2", "0.1.2", true},
        {"=0.1.3", "0.1.2", false},
        {">0.1.2", "0.1.2", false},
        {"=0.1.2-alpha", "0.1.2", false},
        // Caret.
        {"^0.1", "0.2.0", false},
        {"^1.2.3", "1.9.0", true},
        {"^1.2.3", "2.0.0", false},
        {"^1.2.3", "1.2.2", false},
        {"^0.0.3", "0.0.3", true},
        {"^0.0.3", "0.0.4", false},
        {"^0.2.3", "0.2.9", true},
        {"^0.2.3", "0.3.0", false},
        {"^0", "0.9.9", true},
        {"^1.2", "1.1.9", false},
        {"^0.0", "0.0.7", true},
        {"^0.0", "0.1.0", false},
        // Tilde.
        {"~1.2", "1.2.9", true},
        {"~1.2", "1.3.0", false},
        {"~1", "1.9.0", true},
        {"~1", "2.0.0", false},
        {"~1.2.3", "1.2.4", true},
        {"~1.2.3", "1.2.2", false},
        // Partial versions with the other operators.
        {"=1.2", "1.2.7", true},
        {"=1", "1.3.0", true},
        {">1.2", "1.2.9", false},
        {">1.2", "1.3.0", true},
        {">=1.2", "1.2.0", true},
        {"<1.2", "1.1.9", true},
        {"<1.2", "1.2.0", false},
        {"<=1.2", "1.2.9", true},
        {"<=1", "1.9.9", true},
        {"<=1", "2.0.0", false},
        {"1.*", "1.5.0", true},
        {"1.*", "2.0.0", false},
        {"1.2.*", "1.2.8", true},
        // Several comparators.
        {">=0.1.0, <0.2", "0.1.9", true},
        {">=0.1.0, <0.2", "0.2.0", false},
        // Pre-releases.
        {"*", "0.1.2-alpha", false},
        {">=0.1.0", "0.1.2-alpha", false},
        {">=0.1.2-alpha", "0.1.2-alpha", true},
        {">=0.1.2-alpha", "0.1.2-beta", true},
        {">=0.1.2-alpha", "0.1.2", true},
        {">=0.1.2-alpha", "0.1.3-alpha", false},
        {"<0.1.2", "0.1.2-alpha", false},
        {"=0.1.2-alpha", "0.1.2-alpha", true},
        {"=0.1.2-alpha", "0.1.2-alpha+build", true},
        {">0.1.2-alpha.2", "0.1.2-alpha.10", true},
        {">0.1.2-alpha.10", "0.1.2-alpha.9", false},
        {">0.1.2-alpha", "0.1.2-alpha.1", true},
        {">0.1.2-9", "0.1.2-a", true},
        {">0.1.2-a", "0.1.2-9", false},
        {"^1.2.3-rc.1", "1.2.3-rc.2", true},
        {"^1.2.3-rc.1", "1.2.3-rc.0", false},
        {"~1.2.3-rc.1", "1.2.3", true},
        // Build metadata never matters.
        {"=0.1.2+abc", "0.1.2+def", true},
    };
    for (const auto& c : cases) {
        auto req = VersionReq::parse(c.req);
        auto version = Version::parse(c.version);
        ASSERT_TRUE(req.has_value()) << c.req;
        ASSERT_TRUE(version.has_value()) << c.version;
        EXPECT_EQ(req->matches(*version), c.matches) << c.req << " vs " << c.version;
    }
}

TEST(Version, ParseDisplaysTextOrError) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"0.1.2", "0.1.2"},
        {"1.2.3-alpha.1+build.01", "1.2.3-alpha.1+build.01"},
        {"1.2.3+b", "1.2.3+b"},
        {"", "error: empty string, expected a semver version"},
        {"1", "error: unexpected end of input while parsing major version number"},
        {"1.2", "error: unexpected end of input while parsing minor version number"},
        {"1.2.", "error: unexpected end of input while parsing patch version number"},
        {"1,2.3", "error: unexpected character ',' after major version number"},
        {"1.2.3x", "error: unexpected character 'x' after patch version number"},
        {"1.2.3-a!", "error: unexpected character '!' after pre-release identifier"},
        {"1.2.3+a!", "error: unexpected character '!' after build metadata"},
        {"1.2.3-", "error: empty identifier segment in pre-release identifier"},
        {"1.2.3-00", "error: invalid leading zero in pre-release identifier"},
        {"v1.2.3", "error: unexpected character 'v' while parsing major version number"},
        {" 1.2.3", "error: unexpected character ' ' while parsing major version number"},
    };
    for (const auto& c : cases) {
        auto v = Version::parse(c.input);
        EXPECT_EQ(v ? v->to_string() : "error: " + v.error(), c.expected) << c.input;
    }
}

TEST(VersionReq, ExactLeavesBuildMetadataOut) {
    EXPECT_EQ(VersionReq::exact(*Version::parse("0.1.2")).to_string(), "=0.1.2");
    const Version pre = *Version::parse("1.0.0-rc.1+linux");
    const VersionReq req = VersionReq::exact(pre);
    EXPECT_EQ(req.to_string(), "=1.0.0-rc.1");
    EXPECT_TRUE(req.matches(pre));
    EXPECT_EQ(VersionReq::parse(req.to_string()).value(), req);
}

}  // namespace
